// Version calls: the same cases against Windows (under Wine) and against the stand-in.
// Requests are built from the numbers GetVersionExA reports, so that every case holds
// on any host.
#include <cstring>
#include <fstream>
#include <string>

#include "TestHelpers.h"
#include "compat/win32.h"

namespace {

OSVERSIONINFOEXA Reported() {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
    return info;
}

TEST(OsVersionCompat, RecordSizesDecideWhatIsFilled) {
    struct Case {
        DWORD size;
        BOOL result;
        bool extended; // fields past the 148-byte record written
    } const cases[] = {{156, TRUE, true},
                       {148, TRUE, false},
                       {0, FALSE, false},
                       {284, FALSE, false},
                       {152, FALSE, false}};
    FOR_EACH_CASE(c, cases) {
        OSVERSIONINFOEXA info;
        std::memset(&info, 0xA5, sizeof(info));
        info.dwOSVersionInfoSize = c.size;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
        if (!c.result) {
            EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        }
        EXPECT_EQ(c.result != 0, info.dwMajorVersion != 0xA5A5A5A5);
        EXPECT_EQ(c.extended, info.wProductType != 0xA5);
    }
}

TEST(OsVersionCompat, ReportsTheHostItRunsOn) {
    OSVERSIONINFOEXA info = Reported();
#ifdef _WIN32
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
#else
    // Never Windows NT natively, and the kernel release's numbers.
    EXPECT_NE(DWORD(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    std::string release;
    std::getline(std::ifstream("/proc/sys/kernel/osrelease"), release);
    std::string expected =
        std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + ".";
    EXPECT_EQ(expected, release.substr(0, expected.size()));
#endif
    EXPECT_NE(0u, info.dwMajorVersion);
}

TEST(OsVersionCompat, ConditionMaskSlots) {
    struct Case {
        ULONGLONG mask;
        DWORD typeBits;
        BYTE condition;
        ULONGLONG expected;
    } const cases[] = {
        {0, VER_MINORVERSION, VER_EQUAL, 1},
        {0, VER_MAJORVERSION, VER_GREATER_EQUAL, 3 << 3},
        {0, VER_PLATFORMID, VER_EQUAL, 1 << 9},
        {0, VER_SERVICEPACKMAJOR, VER_LESS, 4 << 15},
        {0, VER_PRODUCT_TYPE, VER_OR, 7 << 21},
        {5, VER_MAJORVERSION, VER_EQUAL, 5 | 8},                // adds to what is there
        {0, VER_MAJORVERSION | VER_MINORVERSION, VER_EQUAL, 8}, // the higher bit only
        {0, VER_MAJORVERSION, 9, 8},                            // three bits of condition
        {5, VER_MAJORVERSION, 0, 5},                            // no condition, no change
        {5, 0, VER_EQUAL, 5},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, VerSetConditionMask(c.mask, c.typeBits, c.condition));
    }
}

TEST(OsVersionCompat, VerifyComparesMajorMinorServicePackAsOneVersion) {
    const OSVERSIONINFOEXA host = Reported();
    struct Case {
        int major, minor, servicePack; // offsets from the host's numbers
        DWORD typeMask;
        BYTE majorCondition, minorCondition, servicePackCondition;
        BOOL expected;
    } const cases[] = {
        // Greater-or-equal on all three: the first differing field decides.
        {0, 0, 0, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, TRUE},
        {-1, 9, 9, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, TRUE},
        {0, -1, 9, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, TRUE},
        {0, 0, 1, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, FALSE},
        {0, 1, -9, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, FALSE},
        {1, -9, 0, 0x23, VER_GREATER_EQUAL, VER_GREATER_EQUAL, VER_GREATER_EQUAL, FALSE},
        // Equal major hands over to minor's own condition.
        {0, 1, 0, 0x03, VER_EQUAL, VER_LESS, 0, TRUE},
        {0, -1, 0, 0x03, VER_EQUAL, VER_LESS, 0, FALSE},
        {-1, 1, 0, 0x03, VER_EQUAL, VER_LESS, 0, FALSE},
        // Single fields.
        {0, 0, 0, 0x02, VER_EQUAL, 0, 0, TRUE},
        {1, 0, 0, 0x02, VER_LESS, 0, 0, TRUE},
        {0, 0, 0, 0x02, VER_GREATER, 0, 0, FALSE},
        {0, 1, 0, 0x01, 0, VER_LESS_EQUAL, 0, TRUE},
        {0, -1, 0, 0x01, 0, VER_LESS_EQUAL, 0, FALSE},
        // A selected field without a condition passes when its values are equal.
        {0, 0, 0, 0x03, VER_EQUAL, 0, 0, TRUE},
    };
    FOR_EACH_CASE(c, cases) {
        ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, c.majorCondition);
        mask = VerSetConditionMask(mask, VER_MINORVERSION, c.minorCondition);
        mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, c.servicePackCondition);
        OSVERSIONINFOEXA a;
        std::memset(&a, 0, sizeof(a));
        a.dwOSVersionInfoSize = sizeof(a);
        a.dwMajorVersion = host.dwMajorVersion + c.major;
        a.dwMinorVersion = host.dwMinorVersion + c.minor;
        a.wServicePackMajor = static_cast<WORD>(host.wServicePackMajor + c.servicePack);
        OSVERSIONINFOEXW w;
        std::memset(&w, 0, sizeof(w));
        w.dwOSVersionInfoSize = sizeof(w);
        w.dwMajorVersion = a.dwMajorVersion;
        w.dwMinorVersion = a.dwMinorVersion;
        w.wServicePackMajor = a.wServicePackMajor;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.expected, VerifyVersionInfoA(&a, c.typeMask, mask));
        EXPECT_EQ(c.expected ? 0xdeadbeef : DWORD(ERROR_OLD_WIN_VERSION), GetLastError());
        EXPECT_EQ(c.expected, VerifyVersionInfoW(&w, c.typeMask, mask));
    }
}

TEST(OsVersionCompat, VerifyOtherFieldsAndRefusals) {
    const OSVERSIONINFOEXA host = Reported();
    struct Case {
        DWORD typeMask;
        BYTE condition;
        DWORD platform, buildOffset;
        BYTE productType;
        WORD suiteMask;
        BOOL expected;
        DWORD error;
    } const cases[] = {
        {VER_PLATFORMID, VER_EQUAL, host.dwPlatformId, 0, 0, 0, TRUE, 0},
        {VER_PLATFORMID, VER_EQUAL, host.dwPlatformId + 1, 0, 0, 0, FALSE, ERROR_OLD_WIN_VERSION},
        {VER_BUILDNUMBER, VER_GREATER_EQUAL, 0, 0, 0, 0, TRUE, 0},
        {VER_BUILDNUMBER, VER_GREATER_EQUAL, 0, 1, 0, 0, FALSE, ERROR_OLD_WIN_VERSION},
        {VER_BUILDNUMBER, VER_AND, 0, 0, 0, 0, FALSE, ERROR_OLD_WIN_VERSION},
        {VER_PRODUCT_TYPE, VER_EQUAL, 0, 0, host.wProductType, 0, TRUE, 0},
        {VER_SUITENAME, VER_AND, 0, 0, 0, 0, TRUE, 0},
        {VER_SUITENAME, VER_OR, 0, 0, 0, 0x8000, FALSE, ERROR_OLD_WIN_VERSION},
        {0, VER_EQUAL, 0, 0, 0, 0, FALSE, ERROR_BAD_ARGUMENTS},        // nothing selected
        {VER_MAJORVERSION, 0, 0, 0, 0, 0, FALSE, ERROR_BAD_ARGUMENTS}, // no condition at all
    };
    FOR_EACH_CASE(c, cases) {
        OSVERSIONINFOEXA a = host;
        a.dwPlatformId = c.platform;
        a.dwBuildNumber = host.dwBuildNumber + c.buildOffset;
        a.wProductType = c.productType;
        a.wSuiteMask = c.suiteMask;
        DWORD bit = c.typeMask ? c.typeMask : VER_MAJORVERSION;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.expected,
                  VerifyVersionInfoA(&a, c.typeMask, VerSetConditionMask(0, bit, c.condition)));
        EXPECT_EQ(c.expected ? 0xdeadbeef : c.error, GetLastError());
    }
}

} // namespace

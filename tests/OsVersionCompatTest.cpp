// Version calls: the same cases against Windows (under Wine) and against the stand-in (the
// wide form is checked through IsOsVersionAtLeast).
// Requests are built from the numbers GetVersionExA reports, so that they hold on any host.
#include <cstring>
#include <fstream>
#include <string>

#include "TestHelpers.h"
#include "compat/win32.h"

namespace {

OSVERSIONINFOEXA Reported(DWORD size = sizeof(OSVERSIONINFOEXA), BOOL expected = TRUE) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0xA5, sizeof(info));
    info.dwOSVersionInfoSize = size;
    EXPECT_EQ(expected, GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
    return info;
}

TEST(OsVersionCompat, ReportsTheHostInRecordsOfWindowsSizes) {
    EXPECT_EQ(0xA5, Reported(148).wProductType); // the short record ends before it
    SetLastError(0);
    EXPECT_EQ(0xA5A5A5A5u, Reported(152, FALSE).dwMajorVersion);
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    OSVERSIONINFOEXA info = Reported();
    EXPECT_NE(0u, info.dwMajorVersion);
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
}

TEST(OsVersionCompat, ConditionMaskSlots) {
    struct Case {
        ULONGLONG mask;
        DWORD typeBits;
        BYTE condition;
        ULONGLONG expected;
    } const cases[] = {
        {0, VER_MINORVERSION, VER_EQUAL, 1},
        {0, VER_SERVICEPACKMAJOR, VER_LESS, 4 << 15},
        {0, VER_PRODUCT_TYPE, VER_OR, 7 << 21},
        {5, VER_MAJORVERSION, VER_EQUAL, 5 | 8},
        {0, VER_MAJORVERSION | VER_MINORVERSION, VER_EQUAL, 8}, // the higher bit only
        {5, VER_MAJORVERSION, 0, 5},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, VerSetConditionMask(c.mask, c.typeBits, c.condition));
    }
}

TEST(OsVersionCompat, VerifyComparesMajorMinorServicePackAsOneVersion) {
    const OSVERSIONINFOEXA host = Reported();
    const BYTE ge = VER_GREATER_EQUAL;
    struct Case {
        int major, minor, servicePack; // offsets from the host's numbers
        DWORD typeMask;
        BYTE majorCondition, minorCondition, servicePackCondition;
        BOOL expected;
    } const cases[] = {
        // Greater-or-equal on all three: the first differing field decides.
        {0, 0, 0, 0x23, ge, ge, ge, TRUE},
        {-1, 9, 9, 0x23, ge, ge, ge, TRUE},
        {0, -1, 9, 0x23, ge, ge, ge, TRUE},
        {0, 0, 1, 0x23, ge, ge, ge, FALSE},
        {0, 1, -9, 0x23, ge, ge, ge, FALSE},
        {1, -9, 0, 0x23, ge, ge, ge, FALSE},
        // Equal major hands over to minor's own condition.
        {0, 1, 0, 0x03, VER_EQUAL, VER_LESS, 0, TRUE},
        {-1, 1, 0, 0x03, VER_EQUAL, VER_LESS, 0, FALSE},
        {0, 0, 0, 0x02, VER_GREATER, 0, 0, FALSE},
    };
    FOR_EACH_CASE(c, cases) {
        ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, c.majorCondition);
        mask = VerSetConditionMask(mask, VER_MINORVERSION, c.minorCondition);
        mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, c.servicePackCondition);
        OSVERSIONINFOEXA a = host;
        a.dwMajorVersion += c.major;
        a.dwMinorVersion += c.minor;
        a.wServicePackMajor = static_cast<WORD>(a.wServicePackMajor + c.servicePack);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.expected, VerifyVersionInfoA(&a, c.typeMask, mask));
        EXPECT_EQ(c.expected ? 0xdeadbeef : DWORD(ERROR_OLD_WIN_VERSION), GetLastError());
    }
}

TEST(OsVersionCompat, VerifyPlatformBuildAndRefusals) {
    const OSVERSIONINFOEXA host = Reported();
    struct Case {
        DWORD typeMask;
        BYTE condition;
        DWORD platformOffset, buildOffset;
        DWORD error; // 0: holds
    } const cases[] = {
        {VER_PLATFORMID, VER_EQUAL, 0, 0, 0},
        {VER_PLATFORMID, VER_EQUAL, 1, 0, ERROR_OLD_WIN_VERSION},
        {VER_BUILDNUMBER, VER_GREATER_EQUAL, 0, 1, ERROR_OLD_WIN_VERSION},
        {0, VER_EQUAL, 0, 0, ERROR_BAD_ARGUMENTS},        // nothing selected
        {VER_MAJORVERSION, 0, 0, 0, ERROR_BAD_ARGUMENTS}, // no condition at all
    };
    FOR_EACH_CASE(c, cases) {
        OSVERSIONINFOEXA a = host;
        a.dwPlatformId += c.platformOffset;
        a.dwBuildNumber += c.buildOffset;
        ULONGLONG mask = VerSetConditionMask(0, c.typeMask ? c.typeMask : 1, c.condition);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.error == 0, VerifyVersionInfoA(&a, c.typeMask, mask) != 0);
        EXPECT_EQ(c.error ? c.error : 0xdeadbeef, GetLastError());
    }
}

} // namespace

// OS identification: the refinement steps against a stand-in system through the seam of
// OsInfoCalls (both builds), and the real system of each build (under Wine, each Windows
// version the test run switches a prefix to).
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"
#include "src/os/win32/OsInfoCalls.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// A system to answer the seam's questions. Registry values absent from `registry` read
// as a missing value (status 2); "throw:short" data raises what short DWORD data raises.
struct FakeSystem {
    DWORD major = 6, minor = 2, build = 9200;
    BYTE productType = VER_NT_WORKSTATION;
    std::map<std::string, kiv::RegistryValue> registry;
    bool shortDword = false;            // reading CurrentMajorVersionNumber raises invalid_argument
    int fileVersion = 0;                // 0: MS/LS below, 1: library missing, 2: a call fails
    DWORD fileMS = 0, fileLS = 0;       // kernel32.dll's file version words
    DWORD realMajor = 0, realMinor = 0; // what VerifyVersionInfoA confirms
    int probes = 0;
};

FakeSystem* fake = nullptr;

BOOL fakeGetVersionEx(OSVERSIONINFOEXA* info) {
    EXPECT_EQ(156u, info->dwOSVersionInfoSize);
    info->dwMajorVersion = fake->major;
    info->dwMinorVersion = fake->minor;
    info->dwBuildNumber = fake->build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->wProductType = fake->productType;
    return TRUE;
}

kiv::RegistryValue fakeReadValue(const char* name) {
    if (fake->shortDword && std::string(name) == "CurrentMajorVersionNumber")
        throw std::invalid_argument("Buffer too small for a DWORD");
    auto found = fake->registry.find(name);
    if (found == fake->registry.end())
        kiv::raiseAt(kiv::RegistryOsError(std::string("Unable to read value '") + name + "'", 2),
                     "src/os/win32/registry", 1, "kiv::RegistryKey::readValue");
    return found->second;
}

BOOL fakeFileVersion(DWORD* mostSignificant, DWORD* leastSignificant) {
    if (fake->fileVersion == 1) {
        SetLastError(126);
        kiv::raiseAt(kiv::SharedLibError(), "src/os/win32/SharedLib", 1, "kiv::SharedLib::open");
    }
    if (fake->fileVersion == 2)
        return FALSE;
    *mostSignificant = fake->fileMS;
    *leastSignificant = fake->fileLS;
    return TRUE;
}

// Compares each selected field on its own with its condition, as the probe's questions
// need.
bool holds(DWORD have, DWORD want, DWORDLONG condition) {
    switch (condition) {
    case VER_EQUAL:
        return have == want;
    case VER_GREATER_EQUAL:
        return have >= want;
    default:
        ADD_FAILURE() << "unexpected condition " << condition;
        return false;
    }
}

BOOL fakeVerify(OSVERSIONINFOEXA* info, DWORD typeMask, DWORDLONG conditions) {
    ++fake->probes;
    EXPECT_EQ(156u, info->dwOSVersionInfoSize);
    EXPECT_TRUE(typeMask & VER_PLATFORMID);
    EXPECT_TRUE(typeMask & VER_MAJORVERSION);
    bool ok = holds(VER_PLATFORM_WIN32_NT, info->dwPlatformId, (conditions >> 9) & 7) &&
              holds(fake->realMajor, info->dwMajorVersion, (conditions >> 3) & 7);
    if (typeMask & VER_MINORVERSION)
        ok = ok && holds(fake->realMinor, info->dwMinorVersion, conditions & 7);
    return ok ? TRUE : FALSE;
}

kiv::RegistryValue dword(DWORD number) {
    kiv::RegistryValue value;
    value.type = kiv::RegistryValue::TYPE_DWORD;
    value.number = number;
    return value;
}

kiv::RegistryValue text(const char* t) {
    kiv::RegistryValue value;
    value.type = kiv::RegistryValue::TYPE_STRING;
    value.strings = {t};
    return value;
}

std::map<std::string, kiv::RegistryValue>
registry(kiv::RegistryValue major, kiv::RegistryValue minor, kiv::RegistryValue build) {
    return {{"CurrentMajorVersionNumber", major},
            {"CurrentMinorVersionNumber", minor},
            {"CurrentBuildNumber", build}};
}

class OsInfoSeam : public testing::Test {
protected:
    void SetUp() override {
        fake = &system;
        kiv::osInfoCalls = {fakeGetVersionEx, fakeReadValue, fakeFileVersion, fakeVerify};
    }
    void TearDown() override {
        kiv::osInfoCalls = kiv::kSystemOsInfoCalls;
        fake = nullptr;
    }
    FakeSystem system;
};

std::string printed(const kiv::OsInfo& info) {
    std::ostringstream out;
    out << info;
    return out.str();
}

} // namespace

TEST_F(OsInfoSeam, RefinementSteps) {
    struct Case {
        DWORD major, minor, build;
        BYTE productType;
        std::map<std::string, kiv::RegistryValue> registry;
        bool shortDword;
        int fileVersion;
        DWORD fileMS, fileLS;
        DWORD realMajor, realMinor;
        const char* version;
        int edition;
        const char* text;
    };
    const auto r10 = registry(dword(10), dword(0), text("19045"));
    const Case cases[] = {
        // The registry decides.
        {6, 2, 9200, 1, r10, false, 0, 0, 0, 0, 0, "10.0.19045", 9, "Microsoft Windows 10"},
        {6, 3, 9600, 3, r10, false, 0, 0, 0, 0, 0, "10.0.19045", 9, "Microsoft Windows 10"},
        {7, 0, 1, 1, r10, false, 0, 0, 0, 0, 0, "10.0.19045", 9, "Microsoft Windows 10"},
        {6, 2, 9200, 1, registry(dword(10), dword(0), text("22621.1 (ni)")), false, 0, 0, 0, 0, 0,
         "10.0.22621", 9, "Microsoft Windows 10"},
        {6, 2, 9200, 3, registry(dword(6), dword(3), text("no digits")), false, 0, 0, 0, 0, 0,
         "6.3.0", 8, "Microsoft Windows Server 2012 R2"},
        {6, 2, 9200, 1, registry(dword(10), dword(0), text("99999999999")), false, 0, 0, 0, 0, 0,
         "10.0.999999999", 9, "Microsoft Windows 10"},
        // Not refined below 6.2, whatever the registry holds.
        {6, 1, 7601, 1, r10, false, 0, 0, 0, 0, 0, "6.1.7601", 6, "Microsoft Windows 7"},
        {6, 1, 7601, 3, r10, false, 0, 0, 0, 0, 0, "6.1.7601", 6,
         "Microsoft Windows Server 2008 R2"},
        {5, 2, 3790, 1, r10, false, 0, 0, 0, 0, 0, "5.2.3790", 4, "Microsoft Windows XP 64bit"},
        // No registry values (or unusable ones): the file version decides.
        {6,
         2,
         9200,
         1,
         {},
         false,
         0,
         0x00060003,
         0x25800000,
         0,
         0,
         "6.3.9600",
         8,
         "Microsoft Windows 8.1"},
        {6, 2, 9200, 1, registry(text("10"), dword(0), text("1")), false, 0, 0x000A0000, 0x47BA0001,
         0, 0, "10.0.18362", 9, "Microsoft Windows 10"},
        {6, 2, 9200, 1, registry(dword(10), dword(0), dword(19045)), false, 0, 0x00060002,
         0x23F00000, 0, 0, "6.2.9200", 7, "Microsoft Windows 8"},
        {6, 2, 9200, 1, r10, true, 0, 0x00060003, 0x25800000, 0, 0, "6.3.9600", 8,
         "Microsoft Windows 8.1"},
        // Neither: the probe walks major, then minor upwards; the build is unknown.
        {6, 2, 9200, 1, {}, false, 1, 0, 0, 10, 0, "10.0.0", 9, "Microsoft Windows 10"},
        {6, 2, 9200, 3, {}, false, 2, 0, 0, 6, 3, "6.3.0", 8, "Microsoft Windows Server 2012 R2"},
        {6, 2, 9200, 1, {}, false, 2, 0, 0, 6, 2, "6.2.0", 7, "Microsoft Windows 8"},
        // A major number read before the registry step failed stays, and the probe starts
        // from it: the system does not confirm 10, nor any minor number with major 10.
        {6,
         2,
         9200,
         1,
         {{"CurrentMajorVersionNumber", dword(10)}},
         false,
         1,
         0,
         0,
         6,
         3,
         "10.2.0",
         10,
         "Microsoft Windows (unknown)"},
    };
    FOR_EACH_CASE(c, cases) {
        system = FakeSystem();
        system.major = c.major;
        system.minor = c.minor;
        system.build = c.build;
        system.productType = c.productType;
        system.registry = c.registry;
        system.shortDword = c.shortDword;
        system.fileVersion = c.fileVersion;
        system.fileMS = c.fileMS;
        system.fileLS = c.fileLS;
        system.realMajor = c.realMajor;
        system.realMinor = c.realMinor;
        kiv::OsInfo info;
        EXPECT_EQ(c.version, info.versionString());
        EXPECT_EQ(c.edition, info.edition().code);
        EXPECT_EQ(c.text, printed(info));
        kiv::OsVersion v = info.version();
        std::ostringstream parts;
        parts << v.major << '.' << v.minor;
        EXPECT_EQ(parts.str(), info.shortVersionString());
        EXPECT_EQ(kiv::OsVersion::ABSENT, info.shortVersion().build);
        EXPECT_EQ(c.realMajor != 0, system.probes > 0) << "probed only as the last resort";
    }
}

TEST_F(OsInfoSeam, EditionPerVersionAndProductType) {
    struct Case {
        DWORD major, minor;
        int edition;
        const char* workstation;
        const char* server;
    };
    const Case cases[] = {
        {3, 51, 10, "(unknown)", "(unknown)"},
        {4, 0, 1, "NT4", "NT4"},
        {4, 9, 1, "NT4", "NT4"},
        {5, 0, 2, "2000", "2000"},
        {5, 1, 3, "XP", "XP"},
        {5, 2, 4, "XP 64bit", "Server 2003"},
        {5, 3, 10, "(unknown)", "(unknown)"},
        {6, 0, 5, "Vista", "Server 2008"},
        {6, 1, 6, "7", "Server 2008 R2"},
        {6, 2, 7, "8", "Server 2012"},
        {6, 3, 8, "8.1", "Server 2012 R2"},
        {6, 4, 10, "(unknown)", "(unknown)"},
        {10, 0, 9, "10", "10"},
        {10, 1, 10, "(unknown)", "(unknown)"},
        {11, 0, 10, "(unknown)", "(unknown)"},
    };
    FOR_EACH_CASE(c, cases) {
        for (BYTE productType : {VER_NT_WORKSTATION, VER_NT_DOMAIN_CONTROLLER, VER_NT_SERVER}) {
            // Numbers from 6.2 on come from the registry, the rest as reported.
            system = FakeSystem();
            system.major = c.major;
            system.minor = c.minor;
            system.productType = productType;
            system.registry = registry(dword(c.major), dword(c.minor), text("1"));
            kiv::OsInfo info;
            bool server = productType != VER_NT_WORKSTATION;
            EXPECT_EQ(server, info.isServer());
            EXPECT_EQ(!server, info.isWorkstation());
            EXPECT_EQ(c.edition, info.edition().code);
            EXPECT_EQ(server ? c.server : c.workstation, info.editionName()) << int(productType);
            EXPECT_EQ(std::string("Microsoft Windows ") + info.editionName(), printed(info));
        }
    }
    EXPECT_EQ(1, kiv::OsInfo().family().code);
    EXPECT_EQ("Microsoft", kiv::OsInfo().vendor());
}

TEST(OsInfoTexts, CodesAndVersions) {
    const std::pair<int, const char*> editions[] = {
        {0, "(none)"},
        {1, "NT4"},
        {2, "2000"},
        {3, "XP"},
        {4, "Server 2003"},
        {5, "Vista"},
        {6, "7"},
        {7, "8"},
        {8, "8.1"},
        {9, "10"},
        {10, "(unknown)"},
        {11, "(invalid 11)"},
        {12, "(invalid 12)"},
        {-1, "(invalid -1)"},
    };
    FOR_EACH_CASE(c, editions) {
        std::ostringstream out;
        out << kiv::OsEdition{c.first};
        EXPECT_EQ(c.second, out.str());
    }
    const std::pair<int, const char*> families[] = {
        {0, "Linux"}, {1, "Windows"},   {2, "Mac OS X"},   {3, "Android"},
        {4, "iOS"},   {5, "(unknown)"}, {-1, "(unknown)"},
    };
    FOR_EACH_CASE(c, families) {
        std::ostringstream out;
        out << kiv::OsFamily{c.first};
        EXPECT_EQ(c.second, out.str());
    }
    const DWORD absent = kiv::OsVersion::ABSENT;
    const std::pair<kiv::OsVersion, const char*> versions[] = {
        {{absent, absent, absent}, ""},
        {{10, 0, 19045}, "10.0.19045"},
        {{6, 1, absent}, "6.1"},
        {{6, 1, 0}, "6.1.0"},
        {{absent, 1, 2}, "4294967295.1.2"},
        {{absent, absent, 0}, "4294967295.4294967295.0"},
    };
    FOR_EACH_CASE(c, versions) {
        std::ostringstream out;
        out << c.first;
        EXPECT_EQ(c.second, out.str());
    }
}

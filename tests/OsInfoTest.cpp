// OS identification: the refinement steps against a stand-in system through the seam of
// OsInfoCalls (both builds), and the real system of each build (under Wine, each Windows
// version the test run switches a prefix to).
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"
#include "src/os/win32/OsInfoCalls.h"

#include <cstdlib>
#include <map>
#include <sstream>

namespace {

// A system to answer the seam's questions, described by one text:
// "MAJOR.MINOR.BUILD TYPE [reg=VALUE,VALUE,VALUE] [file=MAJOR.MINOR.BUILD|missing|fails]
// [probe=MAJOR.MINOR]", TYPE being ws or server and each registry VALUE "dN" (a DWORD),
// "sTEXT" (a string), "short" (DWORD data too short) or "-" (missing), in the order major,
// minor, build. Without reg= the values are missing; without file= the library is.
struct FakeSystem {
    DWORD major = 0, minor = 0, build = 0;
    BYTE productType = VER_NT_WORKSTATION;
    std::map<std::string, std::string> registry;
    std::string file = "missing";
    DWORD realMajor = 0, realMinor = 0; // what VerifyVersionInfoA confirms
    int probes = 0;

    explicit FakeSystem(const std::string& description) {
        std::istringstream words(description);
        std::string word;
        char dot;
        words >> major >> dot >> minor >> dot >> build >> word;
        productType = word == "ws" ? VER_NT_WORKSTATION : VER_NT_SERVER;
        while (words >> word) {
            std::string value = word.substr(word.find('=') + 1);
            if (word.rfind("reg=", 0) == 0) {
                std::istringstream values(value);
                for (const char* name : {"CurrentMajorVersionNumber", "CurrentMinorVersionNumber",
                                         "CurrentBuildNumber"})
                    if (std::getline(values, word, ',') && word != "-")
                        registry[name] = word;
            } else if (word.rfind("file=", 0) == 0) {
                file = value;
            } else {
                std::istringstream(value) >> realMajor >> dot >> realMinor;
            }
        }
    }
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
    auto found = fake->registry.find(name);
    if (found == fake->registry.end())
        kiv::raiseAt(kiv::RegistryOsError(std::string("Unable to read value '") + name + "'", 2),
                     "src/os/win32/registry", 1, "kiv::RegistryKey::readValue");
    if (found->second == "short")
        throw std::invalid_argument("Buffer too small for a DWORD");
    kiv::RegistryValue value;
    value.type =
        found->second[0] == 'd' ? kiv::RegistryValue::TYPE_DWORD : kiv::RegistryValue::TYPE_STRING;
    value.number = std::strtoul(found->second.c_str() + 1, nullptr, 10);
    value.strings = {found->second.substr(1)};
    return value;
}

BOOL fakeFileVersion(DWORD* mostSignificant, DWORD* leastSignificant) {
    if (fake->file == "missing") {
        SetLastError(126);
        kiv::raiseAt(kiv::SharedLibError(), "src/os/win32/SharedLib", 1, "kiv::SharedLib::open");
    }
    DWORD major = 0, minor = 0, build = 0;
    char dot;
    if (!(std::istringstream(fake->file) >> major >> dot >> minor >> dot >> build))
        return FALSE;
    *mostSignificant = major << 16 | minor;
    *leastSignificant = build << 16 | 0x1234;
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

class OsInfoSeam : public testing::Test {
protected:
    void SetUp() override {
        fake = nullptr;
        kiv::osInfoCalls = {fakeGetVersionEx, fakeReadValue, fakeFileVersion, fakeVerify};
    }
    void TearDown() override {
        kiv::osInfoCalls = kiv::kSystemOsInfoCalls;
        fake = nullptr;
    }
};

std::string printed(const kiv::OsInfo& info) {
    std::ostringstream out;
    out << info;
    return out.str();
}

} // namespace

TEST_F(OsInfoSeam, RefinementSteps) {
    struct Case {
        const char* system;
        const char* version;
        int edition;
        const char* text;
    };
    const Case cases[] = {
        // The registry decides.
        {"6.2.9200 ws reg=d10,d0,s19045", "10.0.19045", 9, "Microsoft Windows 10"},
        {"6.3.9600 server reg=d10,d0,s20348", "10.0.20348", 9, "Microsoft Windows 10"},
        {"7.0.1 ws reg=d10,d0,s19045", "10.0.19045", 9, "Microsoft Windows 10"},
        {"6.2.9200 ws reg=d10,d0,s22621.1(ni)", "10.0.22621", 9, "Microsoft Windows 10"},
        {"6.2.9200 server reg=d6,d3,sabc", "6.3.0", 8, "Microsoft Windows Server 2012 R2"},
        {"6.2.9200 ws reg=d10,d0,s99999999999", "10.0.999999999", 9, "Microsoft Windows 10"},
        // Not refined below 6.2, whatever the registry holds.
        {"6.1.7601 ws reg=d10,d0,s19045", "6.1.7601", 6, "Microsoft Windows 7"},
        {"6.1.7601 server reg=d10,d0,s19045", "6.1.7601", 6, "Microsoft Windows Server 2008 R2"},
        {"5.2.3790 ws reg=d10,d0,s19045", "5.2.3790", 4, "Microsoft Windows XP 64bit"},
        // No registry values, or unusable ones: the file version decides.
        {"6.2.9200 ws file=6.3.9600", "6.3.9600", 8, "Microsoft Windows 8.1"},
        {"6.2.9200 ws reg=s10,d0,s1 file=10.0.18362", "10.0.18362", 9, "Microsoft Windows 10"},
        {"6.2.9200 ws reg=d10,d0,d19045 file=6.2.9200", "6.2.9200", 7, "Microsoft Windows 8"},
        {"6.2.9200 ws reg=short,d0,s1 file=6.3.9600", "6.3.9600", 8, "Microsoft Windows 8.1"},
        // Neither: the probe walks major, then minor upwards; the build is unknown.
        {"6.2.9200 ws probe=10.0", "10.0.0", 9, "Microsoft Windows 10"},
        {"6.2.9200 server file=fails probe=6.3", "6.3.0", 8, "Microsoft Windows Server 2012 R2"},
        {"6.2.9200 ws file=fails probe=6.2", "6.2.0", 7, "Microsoft Windows 8"},
        // A major number read before the registry step failed stays, and the probe starts
        // from it: the system confirms neither 10 nor any minor number with major 10.
        {"6.2.9200 ws reg=d10,-,s1 probe=6.3", "10.2.0", 10, "Microsoft Windows (unknown)"},
    };
    FOR_EACH_CASE(c, cases) {
        FakeSystem system(c.system);
        fake = &system;
        kiv::OsInfo info;
        EXPECT_EQ(c.version, info.versionString());
        EXPECT_EQ(c.edition, info.edition().code);
        EXPECT_EQ(c.text, printed(info));
        std::string version = c.version;
        EXPECT_EQ(version.substr(0, version.rfind('.')), info.shortVersionString());
        EXPECT_EQ(system.realMajor != 0, system.probes > 0) << "probed only as the last resort";
    }
}

TEST_F(OsInfoSeam, EditionPerVersionAndProductType) {
    struct Case {
        const char* version;
        int edition;
        const char* workstation;
        const char* server;
    };
    const Case cases[] = {
        {"3.51", 10, "(unknown)", "(unknown)"},
        {"4.0", 1, "NT4", "NT4"},
        {"4.9", 1, "NT4", "NT4"},
        {"5.0", 2, "2000", "2000"},
        {"5.1", 3, "XP", "XP"},
        {"5.2", 4, "XP 64bit", "Server 2003"},
        {"5.3", 10, "(unknown)", "(unknown)"},
        {"6.0", 5, "Vista", "Server 2008"},
        {"6.1", 6, "7", "Server 2008 R2"},
        {"6.2", 7, "8", "Server 2012"},
        {"6.3", 8, "8.1", "Server 2012 R2"},
        {"6.4", 10, "(unknown)", "(unknown)"},
        {"10.0", 9, "10", "10"},
        {"10.1", 10, "(unknown)", "(unknown)"},
        {"11.0", 10, "(unknown)", "(unknown)"},
    };
    FOR_EACH_CASE(c, cases) {
        for (const char* type : {"ws", "server"}) {
            // Numbers from 6.2 on come from the registry, the rest as reported.
            std::string version = c.version;
            std::string major = version.substr(0, version.find('.'));
            std::string minor = version.substr(version.find('.') + 1);
            FakeSystem system(version + ".1 " + type + " reg=d" + major + ",d" + minor + ",s1");
            fake = &system;
            kiv::OsInfo info;
            bool server = std::string(type) == "server";
            EXPECT_EQ(server, info.isServer());
            EXPECT_EQ(!server, info.isWorkstation());
            EXPECT_EQ(c.edition, info.edition().code);
            EXPECT_EQ(server ? c.server : c.workstation, info.editionName()) << type;
            EXPECT_EQ(std::string("Microsoft Windows ") + info.editionName(), printed(info));
        }
    }
}

TEST(OsInfoTexts, CodesAndVersions) {
    const std::pair<int, const char*> editions[] = {
        {0, "(none)"},        {1, "NT4"},          {2, "2000"},       {3, "XP"},
        {4, "Server 2003"},   {5, "Vista"},        {6, "7"},          {7, "8"},
        {8, "8.1"},           {9, "10"},           {10, "(unknown)"}, {11, "(invalid 11)"},
        {12, "(invalid 12)"}, {-1, "(invalid -1)"}};
    FOR_EACH_CASE(c, editions) {
        std::ostringstream out;
        out << kiv::OsEdition{c.first};
        EXPECT_EQ(c.second, out.str());
    }
    const std::pair<int, const char*> families[] = {
        {0, "Linux"}, {1, "Windows"},   {2, "Mac OS X"},  {3, "Android"},
        {4, "iOS"},   {5, "(unknown)"}, {-1, "(unknown)"}};
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
        {{absent, absent, 0}, "4294967295.4294967295.0"}};
    FOR_EACH_CASE(c, versions) {
        std::ostringstream out;
        out << c.first;
        EXPECT_EQ(c.second, out.str());
    }
}

// OS identification: the refinement steps against a stand-in system through the seam of
// OsInfoCalls (both builds).
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"
#include "src/os/win32/OsInfoCalls.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <tuple>

namespace {

// A system to answer the seam's questions. The registry's CurrentMajorVersionNumber,
// CurrentMinorVersionNumber and CurrentBuildNumber are "dN" (DWORD), "sTEXT" (string),
// "short" (DWORD data too short) or "" (missing); file is kernel32.dll's version "M.N.B",
// "fails" or null (no library); probe is what VerifyVersionInfoA confirms.
struct FakeSystem {
    DWORD major, minor, build;
    bool server;
    std::string registry[4]; // the last one answers for unknown names
    const char* file = nullptr;
    DWORD realMajor = 0, realMinor = 0;
    int probes = 0;
};

FakeSystem* fake = nullptr;

BOOL fakeGetVersionEx(OSVERSIONINFOEXA* info) {
    EXPECT_EQ(156u, info->dwOSVersionInfoSize);
    info->dwMajorVersion = fake->major;
    info->dwMinorVersion = fake->minor;
    info->dwBuildNumber = fake->build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->wProductType = fake->server ? VER_NT_SERVER : VER_NT_WORKSTATION;
    return TRUE;
}

kiv::RegistryValue fakeReadValue(const char* name) {
    static const std::string names[] = {"CurrentMajorVersionNumber", "CurrentMinorVersionNumber",
                                        "CurrentBuildNumber"};
    const std::string& found = fake->registry[std::find(names, names + 3, name) - names];
    if (found.empty())
        kiv::raiseAt(kiv::RegistryOsError(std::string("Unable to read value '") + name + "'", 2),
                     "src/os/win32/registry", 1, "kiv::RegistryKey::readValue");
    if (found == "short")
        throw std::invalid_argument("Buffer too small for a DWORD");
    kiv::RegistryValue value;
    value.type = found[0] == 'd' ? kiv::RegistryValue::TYPE_DWORD : kiv::RegistryValue::TYPE_STRING;
    value.number = std::strtoul(found.c_str() + 1, nullptr, 10);
    value.strings = {found.substr(1)};
    return value;
}

BOOL fakeFileVersion(DWORD* mostSignificant, DWORD* leastSignificant) {
    if (fake->file == nullptr) {
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

// Each selected field is compared on its own with its condition, as the probe's questions
// need.
bool holds(DWORD have, DWORD want, DWORDLONG condition) {
    EXPECT_TRUE(condition == VER_EQUAL || condition == VER_GREATER_EQUAL) << condition;
    return condition == VER_EQUAL ? have == want : have >= want;
}

BOOL fakeVerify(OSVERSIONINFOEXA* info, DWORD typeMask, DWORDLONG conditions) {
    ++fake->probes;
    EXPECT_EQ(156u, info->dwOSVersionInfoSize);
    EXPECT_TRUE((typeMask & VER_PLATFORMID) && (typeMask & VER_MAJORVERSION));
    bool ok = holds(VER_PLATFORM_WIN32_NT, info->dwPlatformId, (conditions >> 9) & 7) &&
              holds(fake->realMajor, info->dwMajorVersion, (conditions >> 3) & 7);
    if (typeMask & VER_MINORVERSION)
        ok = ok && holds(fake->realMinor, info->dwMinorVersion, conditions & 7);
    return ok ? TRUE : FALSE;
}

class OsInfoSeam : public testing::Test {
protected:
    void SetUp() override {
        kiv::osInfoCalls = {fakeGetVersionEx, fakeReadValue, fakeFileVersion, fakeVerify};
    }
    void TearDown() override { kiv::osInfoCalls = kiv::kSystemOsInfoCalls; }
};

template <class T>
std::string printed(const T& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace

TEST_F(OsInfoSeam, RefinementSteps) {
    const struct {
        FakeSystem system;
        const char* version;
        int edition;
    } cases[] = {
        // The registry decides.
        {{6, 2, 9200, false, {"d10", "d0", "s19045"}}, "10.0.19045", 9},
        {{7, 0, 1, false, {"d10", "d0", "s22621.1(ni)"}}, "10.0.22621", 9},
        {{6, 2, 9200, true, {"d6", "d3", "sabc"}}, "6.3.0", 8},
        // A build number 32 bits cannot hold is absent, as is the absent marker itself.
        {{6, 2, 1, false, {"d10", "d0", "s4294967296"}}, "10.0", 9},
        {{6, 2, 1, false, {"d10", "d0", "s4294967295"}}, "10.0", 9},
        {{6, 2, 1, false, {"d10", "d0", "s04294967294 "}}, "10.0.4294967294", 9},
        // Not refined below 6.2, whatever the registry holds.
        {{6, 1, 7601, true, {"d10", "d0", "s19045"}}, "6.1.7601", 6},
        {{5, 2, 3790, false, {"d10", "d0", "s19045"}}, "5.2.3790", 4},
        // No registry values, or unusable ones: the file version decides.
        {{6, 2, 9200, false, {}, "6.3.9600"}, "6.3.9600", 8},
        {{6, 2, 1, false, {"s10", "d0", "s1"}, "10.0.18362"}, "10.0.18362", 9},
        {{6, 2, 1, false, {"d10", "d0", "d19045"}, "6.2.9200"}, "6.2.9200", 7},
        {{6, 2, 1, false, {"short", "d0", "s1"}, "6.3.9600"}, "6.3.9600", 8},
        // Neither: the probe walks major, then minor upwards; the build is unknown.
        {{6, 2, 9200, false, {}, nullptr, 10, 0}, "10.0.0", 9},
        {{6, 2, 1, true, {}, "fails", 6, 3}, "6.3.0", 8},
        {{6, 2, 1, false, {}, "fails", 6, 2}, "6.2.0", 7},
        // Systems that confirm every number: each walk ends after 1000 questions.
        {{6, 2, 1, false, {}, nullptr, 0xFFFFFFFF, 0}, "1005.2.0", 10},
        {{6, 2, 1, false, {}, nullptr, 6, 0xFFFFFFFF}, "6.999.0", 10},
        // The probe starts from the reported major number, not from one a failing registry
        // step stored (Wine's win10 without CurrentMinorVersionNumber and the version
        // library).
        {{6, 2, 1, false, {"d10", "", "s1"}, nullptr, 6, 2}, "6.2.0", 7},
    };
    FOR_EACH_CASE(c, cases) {
        FakeSystem system = c.system;
        fake = &system;
        kiv::OsInfo info;
        const std::string version = c.version;
        EXPECT_EQ(version + " " + std::to_string(c.edition) + (c.system.server ? " server" : ""),
                  info.versionString() + " " + std::to_string(info.edition().code) +
                      (info.isServer() ? " server" : ""));
        EXPECT_EQ(kiv::OsEdition{c.edition}.name(c.system.server), info.editionName());
        EXPECT_EQ("Microsoft Windows " + info.editionName(), printed(info));
        EXPECT_EQ(version.substr(0, version.find('.', version.find('.') + 1)),
                  info.shortVersionString());
        EXPECT_EQ(system.realMajor != 0, system.probes > 0) << "probed only as the last resort";
    }
}

TEST(OsInfoTexts, EditionsFamiliesAndVersions) {
    // major, minor, "edition workstation-name/server-name"
    const std::tuple<DWORD, DWORD, const char*> cases[] = {
        {4, 0, "1 NT4/NT4"},
        {5, 2, "4 XP 64bit/Server 2003"},
        {5, 3, "10 (unknown)/(unknown)"},
        {6, 0, "5 Vista/Server 2008"},
        {6, 1, "6 7/Server 2008 R2"},
        {6, 2, "7 8/Server 2012"},
        {6, 3, "8 8.1/Server 2012 R2"},
        {6, 4, "10 (unknown)/(unknown)"},
        {10, 0, "9 10/10"},
        {10, 1, "10 (unknown)/(unknown)"},
    };
    FOR_EACH_CASE(c, cases) {
        kiv::OsEdition edition = kiv::OsEdition::fromVersion(std::get<0>(c), std::get<1>(c));
        EXPECT_EQ(std::get<2>(c), std::to_string(edition.code) + " " + edition.name(false) + "/" +
                                      edition.name(true));
    }
    std::string editions, families;
    for (int code = -1; code < 12; ++code)
        editions += printed(kiv::OsEdition{code}) + "|";
    for (int code = -1; code < 6; ++code)
        families += printed(kiv::OsFamily{code}) + "|";
    EXPECT_EQ(
        "(invalid -1)|(none)|NT4|2000|XP|Server 2003|Vista|7|8|8.1|10|(unknown)|(invalid 11)|",
        editions);
    EXPECT_EQ("(unknown)|Linux|Windows|Mac OS X|Android|iOS|(unknown)|", families);
    const DWORD absent = kiv::OsVersion::ABSENT;
    const std::pair<kiv::OsVersion, const char*> versions[] = {
        {{absent, absent, absent}, ""},
        {{6, 1, absent}, "6.1"},
        {{6, 1, 0}, "6.1.0"},
        {{absent, absent, 0}, "4294967295.4294967295.0"}};
    FOR_EACH_CASE(c, versions) {
        EXPECT_EQ(c.second, printed(c.first));
    }
}

// OsInfo on the real system of each build, followed from what the system offers by other
// roads (`reg query`, the kernel's release file). Under Wine the test
// run switches prefixes to several Windows versions and names the one in KIV_WINE_VERSION;
// each run prints one line "os-prefix ..." with what it saw.
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {

struct Numbers {
    bool present = false;
    DWORD major = 0, minor = 0, build = 0;
    std::string show() const {
        return present ? std::to_string(major) + "." + std::to_string(minor) + "." +
                             std::to_string(build)
                       : "none";
    }
};

// CurrentVersion's values as `reg query` prints them: "    NAME    REG_TYPE    DATA".
Numbers registryByRegQuery() {
    std::map<std::string, std::string> values;
    FILE* pipe =
        popen("reg query \"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\" 2>NUL", "r");
    char line[1024];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string name, type, data;
        if (fields >> name >> type >> data)
            values[name] = data;
    }
    if (pipe != nullptr)
        pclose(pipe);
    Numbers n;
    n.present = values.count("CurrentMajorVersionNumber") &&
                values.count("CurrentMinorVersionNumber") && values.count("CurrentBuildNumber");
    n.major = std::strtoul(values["CurrentMajorVersionNumber"].c_str(), nullptr, 16);
    n.minor = std::strtoul(values["CurrentMinorVersionNumber"].c_str(), nullptr, 16);
    n.build = std::strtoul(values["CurrentBuildNumber"].c_str(), nullptr, 10);
    return n;
}

std::string printed(const kiv::OsInfo& info) {
    std::ostringstream out;
    out << info;
    return out.str();
}

} // namespace

TEST(OsInfoHost, FollowsWhatTheSystemOffers) {
    OSVERSIONINFOEXA reported;
    std::memset(&reported, 0, sizeof reported);
    reported.dwOSVersionInfoSize = sizeof reported;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&reported)));
    kiv::OsInfo info;

    if (reported.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        // The native build describes its host: the kernel's release numbers, no Windows.
        std::ifstream release("/proc/sys/kernel/osrelease");
        Numbers kernel{true};
        char dot = 0;
        ASSERT_TRUE(release >> kernel.major >> dot >> kernel.minor >> dot >> kernel.build);
        EXPECT_EQ(0, info.family().code);
        EXPECT_EQ("", info.vendor());
        EXPECT_EQ("Linux", info.name());
        EXPECT_EQ(0, info.edition().code);
        EXPECT_EQ("Linux (none)", printed(info));
        EXPECT_EQ(kernel.show(), info.versionString());
        return;
    }

    Numbers fromReport{true, reported.dwMajorVersion, reported.dwMinorVersion,
                       reported.dwBuildNumber};
    Numbers registry = registryByRegQuery();
    bool refined = (fromReport.major == 6 && fromReport.minor >= 2) || fromReport.major >= 7;
    std::string step = !refined ? "GetVersionExA" : registry.present ? "registry" : "a later step";
    const char* prefix = std::getenv("KIV_WINE_VERSION");
    std::string version = prefix ? prefix : "";
    std::printf("os-prefix %s: GetVersionExA %s, registry %s; decided by %s: version %s, "
                "edition %d \"%s\"\n",
                prefix ? prefix : "(default)", fromReport.show().c_str(), registry.show().c_str(),
                step.c_str(), info.versionString().c_str(), info.edition().code,
                printed(info).c_str());
    kiv::OsEdition edition =
        kiv::OsEdition::fromVersion(info.version().major, info.version().minor);
    EXPECT_EQ(edition.code, info.edition().code);
    EXPECT_EQ("Microsoft Windows " + edition.name(reported.wProductType != VER_NT_WORKSTATION),
              printed(info));
    if (step != "a later step") {
        EXPECT_EQ((refined ? registry : fromReport).show(), info.versionString());
    } else { // kernel32.dll's file version or the probe
        EXPECT_LE(fromReport.major, info.version().major);
    }
    const struct {
        const char* prefix;
        std::string step;
        int edition;
        bool buildKnown;
    } perPrefix[] = {
        {"win7", "GetVersionExA", 6, true},
        {"win10", "registry", 9, true},
        {"win81", "", 8, true}, // 8.1 reports 6.2 without a manifest
        {"win81-file", "a later step", -1, true},
        {"win81-probe", "a later step", 7, false},
    };
    for (const auto& want : perPrefix) {
        if (version != want.prefix)
            continue;
        EXPECT_TRUE(want.step.empty() ? refined : want.step == step) << step;
        EXPECT_TRUE(want.edition < 0 || want.edition == info.edition().code);
        EXPECT_EQ(want.buildKnown, info.version().build != 0) << info.versionString();
    }
}

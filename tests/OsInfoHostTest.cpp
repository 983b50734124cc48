// OsInfo on the real system of each build, against what the system offers by other roads
// (the registry read directly, the kernel's release file). Under Wine the test run switches
// prefixes to several Windows versions, named in KIV_WINE_VERSION; each run prints one line
// "os-prefix ..." with what it saw.
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>

namespace {

std::string printed(const kiv::OsInfo& info) {
    std::ostringstream out;
    out << info;
    return out.str();
}

// CurrentVersion's numbers "M.N.B" read straight from the registry, or "none".
std::string registryNumbers() {
    const char key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    std::string numbers;
    for (const char* name : {"CurrentMajorVersionNumber", "CurrentMinorVersionNumber"}) {
        DWORD number = 0, size = sizeof number;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &number,
                         &size) != ERROR_SUCCESS)
            return "none";
        numbers += std::to_string(number) + ".";
    }
    char build[64] = "";
    DWORD size = sizeof build;
    return RegGetValueA(HKEY_LOCAL_MACHINE, key, "CurrentBuildNumber", RRF_RT_REG_SZ, nullptr,
                        build, &size) == ERROR_SUCCESS
               ? numbers + build
               : "none";
}

} // namespace

TEST(OsInfoHost, FollowsWhatTheSystemOffers) {
    OSVERSIONINFOEXA reported = {};
    reported.dwOSVersionInfoSize = sizeof reported;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&reported)));
    kiv::OsInfo info;
    if (reported.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        // The native build describes its host: the kernel's release numbers, no Windows.
        std::ifstream release("/proc/sys/kernel/osrelease");
        unsigned major = 0, minor = 0, build = 0;
        char dot = 0;
        ASSERT_TRUE(release >> major >> dot >> minor >> dot >> build);
        EXPECT_EQ("Linux (none) 0 " + std::to_string(major) + "." + std::to_string(minor) + "." +
                      std::to_string(build),
                  printed(info) + " " + std::to_string(info.family().code) + " " +
                      info.versionString());
        return;
    }
    const std::string fromReport = std::to_string(reported.dwMajorVersion) + "." +
                                   std::to_string(reported.dwMinorVersion) + "." +
                                   std::to_string(reported.dwBuildNumber);
    const std::string registry = registryNumbers();
    const bool refined = (reported.dwMajorVersion == 6 && reported.dwMinorVersion >= 2) ||
                         reported.dwMajorVersion >= 7;
    const std::string step = !refined             ? "GetVersionExA"
                             : registry != "none" ? "registry"
                                                  : "a later step";
    const char* prefix = std::getenv("KIV_WINE_VERSION");
    std::printf("os-prefix %s: GetVersionExA %s, registry %s; decided by %s: version %s, "
                "edition %d \"%s\"\n",
                prefix ? prefix : "(default)", fromReport.c_str(), registry.c_str(), step.c_str(),
                info.versionString().c_str(), info.edition().code, printed(info).c_str());
    kiv::OsEdition edition =
        kiv::OsEdition::fromVersion(info.version().major, info.version().minor);
    EXPECT_EQ(edition.code, info.edition().code);
    EXPECT_EQ("Microsoft Windows " + edition.name(reported.wProductType != VER_NT_WORKSTATION),
              printed(info));
    if (step != "a later step") // else kernel32.dll's file version or the probe decides
        EXPECT_EQ(refined ? registry : fromReport, info.versionString());
    else
        EXPECT_LE(reported.dwMajorVersion, info.version().major);
    // Per prefix: the deciding step (empty: any refining one), the edition (-1: any), and
    // whether the build number is known.
    const std::tuple<std::string, std::string, int, bool> perPrefix[] = {
        {"win7", "GetVersionExA", 6, true},
        {"win10", "registry", 9, true},
        {"win81", "", 8, true}, // 8.1 reports 6.2 without a manifest
        {"win81-file", "a later step", -1, true},
        {"win81-probe", "a later step", 7, false},
        // The registry gave 10 before it missed the minor number; the probe starts from 6.
        {"win10-probe", "a later step", 7, false},
    };
    for (const auto& [name, wantStep, wantEdition, buildKnown] : perPrefix)
        if (prefix != nullptr && name == prefix) {
            EXPECT_TRUE(wantStep.empty() ? refined : wantStep == step) << step;
            EXPECT_TRUE(wantEdition < 0 || wantEdition == info.edition().code);
            EXPECT_EQ(buildKnown, info.version().build != 0) << info.versionString();
        }
}

// OsInfo on the real system of each build. The test reads what the system offers by other
// roads (`reg query`, the version library, the kernel's release file) and follows the
// refinement from those inputs. Under Wine the test run switches prefixes to several
// Windows versions and names the one in KIV_WINE_VERSION; each run prints one line
// "os-prefix ..." with what it saw.
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/OsInfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace {

struct Numbers {
    bool present = false;
    DWORD major = 0, minor = 0, build = 0;
};

std::string show(const Numbers& n) {
    if (!n.present)
        return "none";
    return std::to_string(n.major) + "." + std::to_string(n.minor) + "." + std::to_string(n.build);
}

// CurrentVersion's values as `reg query` prints them: "    NAME    REG_TYPE    DATA".
Numbers registryByRegQuery() {
    std::map<std::string, std::string> values;
    FILE* pipe =
        popen("reg query \"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\" 2>NUL", "r");
    if (pipe == nullptr)
        return {};
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string name, type, data;
        if (fields >> name >> type >> data)
            values[name] = data;
    }
    pclose(pipe);
    Numbers n;
    auto major = values.find("CurrentMajorVersionNumber");
    auto minor = values.find("CurrentMinorVersionNumber");
    auto build = values.find("CurrentBuildNumber");
    if (major == values.end() || minor == values.end() || build == values.end())
        return n;
    n.present = true;
    n.major = static_cast<DWORD>(std::strtoul(major->second.c_str(), nullptr, 16));
    n.minor = static_cast<DWORD>(std::strtoul(minor->second.c_str(), nullptr, 16));
    n.build = static_cast<DWORD>(std::strtoul(build->second.c_str(), nullptr, 10));
    return n;
}

typedef DWORD(WINAPI* SizeFn)(LPCSTR file, DWORD* handle);
typedef BOOL(WINAPI* InfoFn)(LPCSTR file, DWORD handle, DWORD size, LPVOID data);
typedef BOOL(WINAPI* QueryFn)(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length);

void* symbol(HMODULE library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

// kernel32.dll's file version through the 8-bit functions of the version library, loaded
// at run time: the test program must start when that library is switched off.
Numbers kernel32FileVersion() {
    Numbers n;
    HMODULE library = LoadLibraryA("version.dll");
    if (library == nullptr)
        return n;
    auto size = reinterpret_cast<SizeFn>(symbol(library, "GetFileVersionInfoSizeA"));
    auto info = reinterpret_cast<InfoFn>(symbol(library, "GetFileVersionInfoA"));
    auto query = reinterpret_cast<QueryFn>(symbol(library, "VerQueryValueA"));
    DWORD handle = 0;
    DWORD bytes = size && info && query ? size("kernel32.dll", &handle) : 0;
    std::vector<BYTE> block(bytes);
    LPVOID fixed = nullptr;
    UINT length = 0;
    if (bytes != 0 && info("kernel32.dll", 0, bytes, block.data()) &&
        query(block.data(), "\\", &fixed, &length) && fixed != nullptr) {
        const VS_FIXEDFILEINFO* version = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        n.present = true;
        n.major = version->dwFileVersionMS >> 16;
        n.minor = version->dwFileVersionMS & 0xFFFF;
        n.build = version->dwFileVersionLS >> 16;
    }
    FreeLibrary(library);
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
        unsigned major = 0, minor = 0, build = 0;
        char dot = 0;
        ASSERT_TRUE(release >> major >> dot >> minor >> dot >> build);
        EXPECT_EQ(0, info.family().code);
        EXPECT_EQ("", info.vendor());
        EXPECT_EQ("Linux", info.name());
        EXPECT_EQ(0, info.edition().code);
        EXPECT_EQ("Linux (none)", printed(info));
        std::string expected =
            std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build);
        EXPECT_EQ(expected, info.versionString());
        std::printf("os-host: kernel %s, OsInfo \"%s\" %s\n", expected.c_str(),
                    printed(info).c_str(), info.versionString().c_str());
        return;
    }

    Numbers fromReport{true, reported.dwMajorVersion, reported.dwMinorVersion,
                       reported.dwBuildNumber};
    Numbers registry = registryByRegQuery();
    Numbers file = kernel32FileVersion();
    bool refined = (fromReport.major == 6 && fromReport.minor >= 2) || fromReport.major >= 7;
    Numbers expected = fromReport;
    std::string step = "GetVersionExA";
    if (refined && registry.present) {
        expected = registry;
        step = "registry";
    } else if (refined && file.present) {
        expected = file;
        step = "kernel32.dll file version";
    } else if (refined) {
        step = "VerifyVersionInfoA probe";
    }
    const char* prefix = std::getenv("KIV_WINE_VERSION");
    std::printf("os-prefix %s: GetVersionExA %s, registry %s, kernel32.dll %s; decided by %s: "
                "version %s, edition %d \"%s\", \"%s\"\n",
                prefix ? prefix : "(default)", show(fromReport).c_str(), show(registry).c_str(),
                show(file).c_str(), step.c_str(), info.versionString().c_str(), info.edition().code,
                info.editionName().c_str(), printed(info).c_str());

    std::string version = prefix ? prefix : "";
    if (step == "VerifyVersionInfoA probe") {
        // Only the probe's bounds can be checked from outside; Wine's VerifyVersionInfoA
        // agrees with its GetVersionExA.
        EXPECT_LE(fromReport.major, info.version().major);
        EXPECT_EQ(0u, info.version().build);
        if (version == "win81-probe") {
            EXPECT_EQ("6.2.0", info.versionString());
        }
        return;
    }
    EXPECT_EQ(show(expected), show(Numbers{true, info.version().major, info.version().minor,
                                           info.version().build}));
    kiv::OsEdition edition = kiv::OsEdition::fromVersion(expected.major, expected.minor);
    EXPECT_EQ(edition.code, info.edition().code);
    bool server = reported.wProductType != VER_NT_WORKSTATION;
    EXPECT_EQ(edition.name(server), info.editionName());
    EXPECT_EQ("Microsoft Windows " + edition.name(server), printed(info));

    if (version == "win7") {
        EXPECT_EQ("GetVersionExA", step);
        EXPECT_EQ("6.1.7601", info.versionString());
        EXPECT_EQ(6, info.edition().code);
    } else if (version == "win10") {
        EXPECT_EQ("registry", step);
        EXPECT_EQ(9, info.edition().code);
        EXPECT_EQ("Microsoft Windows 10", printed(info));
    } else if (version == "win81") {
        EXPECT_TRUE(refined) << "8.1 reports 6.2 without a compatibility manifest";
        EXPECT_EQ(8, info.edition().code);
    } else if (version == "win81-file") {
        EXPECT_EQ("kernel32.dll file version", step);
    }
}

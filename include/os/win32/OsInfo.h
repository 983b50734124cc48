// What operating system the library runs on: family, vendor, edition and the real version
// numbers. Nothing is cached; every query asks the system again.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace kiv {

// Major, minor and build; ABSENT (0xFFFFFFFF) marks a field that is not there.
struct OsVersion {
    static constexpr std::uint32_t ABSENT = 0xFFFFFFFFu;

    std::uint32_t major = ABSENT;
    std::uint32_t minor = ABSENT;
    std::uint32_t build = ABSENT;
};

// Nothing when all three fields are absent; else "major.minor", then ".build" when the
// build is there.
std::ostream& operator<<(std::ostream& out, const OsVersion& version);

struct OsFamily {
    enum Code : std::int32_t {
        FAMILY_LINUX = 0,
        FAMILY_WINDOWS = 1,
        FAMILY_MAC_OS_X = 2,
        FAMILY_ANDROID = 3,
        FAMILY_IOS = 4,
    };

    std::int32_t code;

    // "Linux", "Windows", "Mac OS X", "Android", "iOS"; "(unknown)" for any other code.
    const char* text() const;
};

std::ostream& operator<<(std::ostream& out, OsFamily family);

struct OsEdition {
    enum Code : std::int32_t {
        EDITION_NONE = 0,
        EDITION_NT4 = 1,
        EDITION_2000 = 2,
        EDITION_XP = 3,
        EDITION_SERVER_2003 = 4,
        EDITION_VISTA = 5,
        EDITION_7 = 6,
        EDITION_8 = 7,
        EDITION_8_1 = 8,
        EDITION_10 = 9,
        EDITION_UNKNOWN = 10,
    };

    std::int32_t code;

    // The code as printed: "(none)", "NT4", ... "10", "(unknown)", and "(invalid N)" for a
    // code outside 0-10.
    std::string text() const;
    // The release's name on a workstation or a server ("XP 64bit" and "Server 2003" share
    // code 4, "7" and "Server 2008 R2" code 6).
    std::string name(bool server) const;

    // The edition of a Windows version.
    static OsEdition fromVersion(std::uint32_t major, std::uint32_t minor);
};

// Prints text().
std::ostream& operator<<(std::ostream& out, OsEdition edition);

// Answers about the running system. On Windows the numbers that GetVersionExA reports
// (6.2 for every later release, to programs without a compatibility manifest) are refined
// from the registry, from kernel32.dll's file version or by probing with
// VerifyVersionInfoA, in that order. A host that is not Windows (the native build) is
// described as it is: family Linux, no vendor, edition (none), the kernel's release
// numbers as version.
class OsInfo {
public:
    OsFamily family() const;
    std::string familyName() const;
    // "Microsoft" on Windows, empty elsewhere.
    std::string vendor() const;
    // Vendor and family text ("Microsoft Windows"), or the family text without a vendor.
    std::string name() const;
    OsEdition edition() const;
    std::string editionName() const;
    bool isWorkstation() const;
    bool isServer() const;
    OsVersion version() const;
    std::string versionString() const;
    // Major and minor only; the build is absent.
    OsVersion shortVersion() const;
    std::string shortVersionString() const;
};

// name(), a blank and editionName(): "Microsoft Windows 7".
std::ostream& operator<<(std::ostream& out, const OsInfo& info);

} // namespace kiv

#include "os/win32/OsInfo.h"

#include "OsInfoCalls.h"
#include "os/win32/Exception.h"
#include "os/win32/SharedLib.h"

#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace kiv {

namespace {

const char kCurrentVersionPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The probe walks upwards one number per question; a system that says yes to every
// question must not keep it walking for ever.
const std::uint32_t kMaxProbeSteps = 1000;

BOOL systemGetVersionEx(OSVERSIONINFOEXA* info) {
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(info));
}

RegistryValue systemReadCurrentVersionValue(const char* name) {
    return RegistryKey::readValue(HKEY_LOCAL_MACHINE, kCurrentVersionPath, name);
}

typedef DWORD(WINAPI* GetFileVersionInfoSizeWFn)(LPCWSTR file, DWORD* handle);
typedef BOOL(WINAPI* GetFileVersionInfoWFn)(LPCWSTR file, DWORD handle, DWORD size, LPVOID data);
typedef BOOL(WINAPI* VerQueryValueWFn)(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer,
                                       PUINT length);

// A wide text of ASCII characters, as the W functions take it.
std::basic_string<WCHAR> wide(const char* ascii) {
    std::basic_string<WCHAR> text;
    for (; *ascii != '\0'; ++ascii)
        text += static_cast<WCHAR>(*ascii);
    return text;
}

BOOL systemKernel32FileVersion(DWORD* mostSignificant, DWORD* leastSignificant) {
    SharedLib library;
    library.open("version");
    auto getSize =
        reinterpret_cast<GetFileVersionInfoSizeWFn>(library.symbol("GetFileVersionInfoSizeW"));
    auto getInfo = reinterpret_cast<GetFileVersionInfoWFn>(library.symbol("GetFileVersionInfoW"));
    auto query = reinterpret_cast<VerQueryValueWFn>(library.symbol("VerQueryValueW"));
    std::basic_string<WCHAR> file = wide("kernel32.dll");
    DWORD handle = 0;
    DWORD size = getSize(file.c_str(), &handle);
    if (size == 0)
        return FALSE;
    std::vector<BYTE> block(size);
    if (!getInfo(file.c_str(), 0, size, block.data()))
        return FALSE;
    LPVOID fixed = nullptr;
    UINT length = 0;
    if (!query(block.data(), wide("\\").c_str(), &fixed, &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return FALSE;
    *mostSignificant = static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwFileVersionMS;
    *leastSignificant = static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwFileVersionLS;
    return TRUE;
}

// Platform ids 0-2 are Windows' own (Win32s, 9x, NT); the only other one we meet is the
// POSIX host of the native build. A failed GetVersionExA leaves 0, still Windows.
bool isWindowsPlatform(DWORD platformId) {
    return platformId <= VER_PLATFORM_WIN32_NT;
}

OSVERSIONINFOEXA reportedVersion() {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    osInfoCalls.getVersionEx(&info);
    return info;
}

// The value of the leading decimal digits; no digits give 0.
// Choice where the conversion's range is not settled: a number that 32 bits cannot hold
// gives an absent build (OsVersion::ABSENT), as 4294967295 itself reads: cutting or
// wrapping it would report a build the system never had.
DWORD leadingNumber(const std::string& text) {
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
        if (number > 0xFFFFFFFFu)
            return OsVersion::ABSENT;
    }
    return static_cast<DWORD>(number);
}

// Numbers stored before a read fails stay stored. Short DWORD data (std::invalid_argument
// from the value's conversion) ends the step like a registry error: the queries do not
// fail.
bool refineFromRegistry(OSVERSIONINFOEXA& info) {
    try {
        info.dwMajorVersion =
            osInfoCalls.readCurrentVersionValue("CurrentMajorVersionNumber").toDWord();
        info.dwMinorVersion =
            osInfoCalls.readCurrentVersionValue("CurrentMinorVersionNumber").toDWord();
        info.dwBuildNumber =
            leadingNumber(osInfoCalls.readCurrentVersionValue("CurrentBuildNumber").toString());
        return true;
    } catch (const RegistryError&) {
        return false;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

bool refineFromFileVersion(OSVERSIONINFOEXA& info) {
    DWORD mostSignificant = 0;
    DWORD leastSignificant = 0;
    try {
        if (!osInfoCalls.kernel32FileVersion(&mostSignificant, &leastSignificant))
            return false;
    } catch (const SharedLibError&) {
        return false;
    }
    info.dwMajorVersion = mostSignificant >> 16;
    info.dwMinorVersion = mostSignificant & 0xFFFF;
    info.dwBuildNumber = leastSignificant >> 16;
    return true;
}

bool systemSatisfies(DWORD major, DWORD minor, DWORD platformId, DWORD typeMask,
                     DWORDLONG conditions) {
    OSVERSIONINFOEXA wanted;
    std::memset(&wanted, 0, sizeof wanted);
    wanted.dwOSVersionInfoSize = sizeof wanted;
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.dwPlatformId = platformId;
    return osInfoCalls.verifyVersionInfo(&wanted, typeMask, conditions) != FALSE;
}

// Walks the major number up from the one GetVersionExA reported (not one a failed
// registry step left in the record), then the minor number up from 0, as far as the system
// confirms them; the build is unknown and set to 0. A number the system does not confirm
// at all leaves the record's as it was.
// Departure: each walk stops after kMaxProbeSteps questions, since a system that confirms
// every number would otherwise keep it asking for ever.
void refineByProbing(OSVERSIONINFOEXA& info, DWORD reportedMajor) {
    info.dwBuildNumber = 0;
    const DWORD platformId = info.dwPlatformId;
    DWORDLONG majorConditions = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    majorConditions = VerSetConditionMask(majorConditions, VER_PLATFORMID, VER_EQUAL);
    DWORD major = reportedMajor;
    for (std::uint32_t step = 0; step < kMaxProbeSteps; ++step, ++major) {
        if (!systemSatisfies(major, 0, platformId, VER_MAJORVERSION | VER_PLATFORMID,
                             majorConditions))
            break;
        info.dwMajorVersion = major;
        if (major == 0xFFFFFFFFu)
            break;
    }
    DWORDLONG minorConditions = VerSetConditionMask(0, VER_MINORVERSION, VER_GREATER_EQUAL);
    minorConditions = VerSetConditionMask(minorConditions, VER_MAJORVERSION, VER_EQUAL);
    minorConditions = VerSetConditionMask(minorConditions, VER_PLATFORMID, VER_EQUAL);
    DWORD minor = 0;
    for (std::uint32_t step = 0; step < kMaxProbeSteps; ++step, ++minor) {
        if (!systemSatisfies(info.dwMajorVersion, minor, platformId,
                             VER_MINORVERSION | VER_MAJORVERSION | VER_PLATFORMID, minorConditions))
            break;
        info.dwMinorVersion = minor;
        if (minor == 0xFFFFFFFFu)
            break;
    }
}

// GetVersionExA's record with its numbers refined where Windows reports 6.2 or later.
OSVERSIONINFOEXA refinedVersion() {
    OSVERSIONINFOEXA info = reportedVersion();
    if (!isWindowsPlatform(info.dwPlatformId))
        return info;
    const DWORD reportedMajor = info.dwMajorVersion;
    bool refine = (reportedMajor == 6 && info.dwMinorVersion >= 2) || reportedMajor >= 7;
    if (refine && !refineFromRegistry(info) && !refineFromFileVersion(info))
        refineByProbing(info, reportedMajor);
    return info;
}

const char* const kEditionTexts[] = {"(none)", "NT4", "2000", "XP", "Server 2003", "Vista",
                                     "7",      "8",   "8.1",  "10", "(unknown)"};

} // namespace

const OsInfoCalls kSystemOsInfoCalls = {systemGetVersionEx, systemReadCurrentVersionValue,
                                        systemKernel32FileVersion, VerifyVersionInfoA};
OsInfoCalls osInfoCalls = kSystemOsInfoCalls;

std::ostream& operator<<(std::ostream& out, const OsVersion& version) {
    if (version.major == OsVersion::ABSENT && version.minor == OsVersion::ABSENT &&
        version.build == OsVersion::ABSENT)
        return out;
    out << version.major << '.' << version.minor;
    if (version.build != OsVersion::ABSENT)
        out << '.' << version.build;
    return out;
}

const char* OsFamily::text() const {
    switch (code) {
    case FAMILY_LINUX:
        return "Linux";
    case FAMILY_WINDOWS:
        return "Windows";
    case FAMILY_MAC_OS_X:
        return "Mac OS X";
    case FAMILY_ANDROID:
        return "Android";
    case FAMILY_IOS:
        return "iOS";
    default:
        return "(unknown)";
    }
}

std::ostream& operator<<(std::ostream& out, OsFamily family) {
    return out << family.text();
}

std::string OsEdition::text() const {
    if (code < EDITION_NONE || code > EDITION_UNKNOWN)
        return "(invalid " + std::to_string(code) + ")";
    return kEditionTexts[code];
}

std::string OsEdition::name(bool server) const {
    switch (code) {
    case EDITION_SERVER_2003:
        return server ? "Server 2003" : "XP 64bit";
    case EDITION_VISTA:
        return server ? "Server 2008" : "Vista";
    case EDITION_7:
        return server ? "Server 2008 R2" : "7";
    case EDITION_8:
        return server ? "Server 2012" : "8";
    case EDITION_8_1:
        return server ? "Server 2012 R2" : "8.1";
    default:
        return text();
    }
}

OsEdition OsEdition::fromVersion(std::uint32_t major, std::uint32_t minor) {
    if (major == 4)
        return {EDITION_NT4};
    if (major == 5 && minor <= 2)
        return {static_cast<std::int32_t>(EDITION_2000 + minor)};
    if (major == 6 && minor <= 3)
        return {static_cast<std::int32_t>(EDITION_VISTA + minor)};
    if (major == 10 && minor == 0)
        return {EDITION_10};
    return {EDITION_UNKNOWN};
}

std::ostream& operator<<(std::ostream& out, OsEdition edition) {
    return out << edition.text();
}

OsFamily OsInfo::family() const {
    return {isWindowsPlatform(reportedVersion().dwPlatformId) ? OsFamily::FAMILY_WINDOWS
                                                              : OsFamily::FAMILY_LINUX};
}

std::string OsInfo::familyName() const {
    return family().text();
}

std::string OsInfo::vendor() const {
    return family().code == OsFamily::FAMILY_WINDOWS ? "Microsoft" : "";
}

std::string OsInfo::name() const {
    std::string vendorText = vendor();
    std::string familyText = familyName();
    return vendorText.empty() ? familyText : vendorText + " " + familyText;
}

OsEdition OsInfo::edition() const {
    OSVERSIONINFOEXA info = refinedVersion();
    if (!isWindowsPlatform(info.dwPlatformId))
        return {OsEdition::EDITION_NONE};
    return OsEdition::fromVersion(info.dwMajorVersion, info.dwMinorVersion);
}

std::string OsInfo::editionName() const {
    OsEdition code = edition();
    if (code.code == OsEdition::EDITION_SERVER_2003)
        return code.name(isServer());
    return code.name(!isWorkstation());
}

bool OsInfo::isWorkstation() const {
    return reportedVersion().wProductType == VER_NT_WORKSTATION;
}

bool OsInfo::isServer() const {
    return !isWorkstation();
}

OsVersion OsInfo::version() const {
    OSVERSIONINFOEXA info = refinedVersion();
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

std::string OsInfo::versionString() const {
    std::ostringstream text;
    text << version();
    return text.str();
}

OsVersion OsInfo::shortVersion() const {
    OSVERSIONINFOEXA info = refinedVersion();
    return {info.dwMajorVersion, info.dwMinorVersion, OsVersion::ABSENT};
}

std::string OsInfo::shortVersionString() const {
    std::ostringstream text;
    text << shortVersion();
    return text.str();
}

std::ostream& operator<<(std::ostream& out, const OsInfo& info) {
    return out << info.name() << ' ' << info.editionName();
}

} // namespace kiv

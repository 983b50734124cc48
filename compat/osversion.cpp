#include "compat/osversion.h"

#include <sys/utsname.h>

#include <cstring>

#include "compat/winerror.h"

namespace {

// The host's version in the shape of the extended record: the kernel release's first
// three numbers ("6.8.0-45-generic" gives 6, 8, 0); a missing number reads 0.
struct HostVersion {
    DWORD major = 0, minor = 0, build = 0;
};

HostVersion QueryHostVersion() {
    HostVersion version;
    struct utsname names;
    if (uname(&names) != 0)
        return version;
    DWORD* fields[] = {&version.major, &version.minor, &version.build};
    const char* p = names.release;
    for (DWORD* field : fields) {
        DWORD value = 0;
        while (*p >= '0' && *p <= '9') {
            // A kernel number never comes near the limit; stop growing rather than wrap.
            if (value < 100000000)
                value = value * 10 + static_cast<DWORD>(*p - '0');
            ++p;
        }
        *field = value;
        if (*p != '.')
            break;
        ++p;
    }
    return version;
}

// The condition stored for one type-mask bit: slot i of three bits for bit i.
unsigned ConditionFor(DWORDLONG conditionMask, DWORD typeBit) {
    unsigned slot = 0;
    while ((typeBit >> slot) > 1)
        ++slot;
    return static_cast<unsigned>(conditionMask >> (slot * VER_NUM_BITS_PER_CONDITION_MASK)) &
           VER_CONDITION_MASK;
}

// Relational comparison of the host's value with the requested one. A field selected
// without a condition holds only for equal values; VER_AND and VER_OR mean nothing for
// numbers and fail.
bool Compare(DWORD host, DWORD requested, unsigned condition) {
    switch (condition) {
    case 0:
    case VER_EQUAL:
        return host == requested;
    case VER_GREATER:
        return host > requested;
    case VER_GREATER_EQUAL:
        return host >= requested;
    case VER_LESS:
        return host < requested;
    case VER_LESS_EQUAL:
        return host <= requested;
    default:
        return false;
    }
}

// The fields of both record forms that VerifyVersionInfo looks at.
struct Requested {
    DWORD major, minor, build, platform;
    WORD servicePackMajor, servicePackMinor, suiteMask;
    BYTE productType;
};

BOOL Verify(const Requested& requested, DWORD typeMask, DWORDLONG conditionMask) {
    if (typeMask == 0 || conditionMask == 0) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return FALSE;
    }
    HostVersion host = QueryHostVersion();
    bool ok = true;

    // The version fields form one number: the first selected field whose values differ
    // decides with its own condition; equal values hand over to the next one.
    struct {
        DWORD bit, host, requested;
    } const version[] = {
        {VER_MAJORVERSION, host.major, requested.major},
        {VER_MINORVERSION, host.minor, requested.minor},
        {VER_SERVICEPACKMAJOR, 0, requested.servicePackMajor},
        {VER_SERVICEPACKMINOR, 0, requested.servicePackMinor},
    };
    for (const auto& field : version) {
        if (!(typeMask & field.bit))
            continue;
        unsigned condition = ConditionFor(conditionMask, field.bit);
        ok = Compare(field.host, field.requested, condition);
        if (field.host != field.requested || condition < VER_EQUAL || condition > VER_LESS_EQUAL)
            break;
    }

    if (ok && (typeMask & VER_BUILDNUMBER))
        ok = Compare(host.build, requested.build, ConditionFor(conditionMask, VER_BUILDNUMBER));
    if (ok && (typeMask & VER_PLATFORMID))
        ok = Compare(VER_PLATFORM_POSIX, requested.platform,
                     ConditionFor(conditionMask, VER_PLATFORMID));
    if (ok && (typeMask & VER_PRODUCT_TYPE))
        ok = Compare(VER_NT_WORKSTATION, requested.productType,
                     ConditionFor(conditionMask, VER_PRODUCT_TYPE));
    if (ok && (typeMask & VER_SUITENAME)) {
        // The host has no suites: VER_AND holds only for an empty request, VER_OR never.
        unsigned condition = ConditionFor(conditionMask, VER_SUITENAME);
        if (condition == VER_AND)
            ok = requested.suiteMask == 0;
        else if (condition == VER_OR)
            ok = false;
        else
            ok = Compare(0, requested.suiteMask, condition);
    }
    if (!ok) {
        SetLastError(ERROR_OLD_WIN_VERSION);
        return FALSE;
    }
    return TRUE;
}

template <typename Record>
Requested FieldsOf(const Record* record) {
    return {record->dwMajorVersion, record->dwMinorVersion,    record->dwBuildNumber,
            record->dwPlatformId,   record->wServicePackMajor, record->wServicePackMinor,
            record->wSuiteMask,     record->wProductType};
}

} // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA versionInformation) {
    DWORD size = versionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    HostVersion host = QueryHostVersion();
    versionInformation->dwMajorVersion = host.major;
    versionInformation->dwMinorVersion = host.minor;
    versionInformation->dwBuildNumber = host.build;
    versionInformation->dwPlatformId = VER_PLATFORM_POSIX;
    std::memset(versionInformation->szCSDVersion, 0, sizeof(versionInformation->szCSDVersion));
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXA>(versionInformation);
        extended->wServicePackMajor = 0;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = 0;
        extended->wProductType = VER_NT_WORKSTATION;
        extended->wReserved = 0;
    }
    return TRUE;
}

BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA versionInformation, DWORD typeMask,
                        DWORDLONG conditionMask) {
    return Verify(FieldsOf(versionInformation), typeMask, conditionMask);
}

BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW versionInformation, DWORD typeMask,
                        DWORDLONG conditionMask) {
    return Verify(FieldsOf(versionInformation), typeMask, conditionMask);
}

ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeBitMask, BYTE condition) {
    condition &= VER_CONDITION_MASK;
    if (typeBitMask == 0 || condition == 0)
        return conditionMask;
    // Only the most significant bit of the type mask takes the condition.
    unsigned slot = 0;
    for (unsigned bit = 7;; --bit) {
        if (typeBitMask & (1u << bit)) {
            slot = bit;
            break;
        }
        if (bit == 0)
            return conditionMask;
    }
    return conditionMask |
           (static_cast<ULONGLONG>(condition) << (slot * VER_NUM_BITS_PER_CONDITION_MASK));
}

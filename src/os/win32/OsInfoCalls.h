// The system operations that kiv::OsInfo reads, reached through one table so that tests
// can answer for a system they cannot produce at will (other Windows releases, missing
// registry values, a missing version library). Production never changes it.
#pragma once

#include "compat/win32.h"
#include "os/win32/Registry.h"

namespace kiv {

struct OsInfoCalls {
    // GetVersionExA on the extended record; the caller has set its size field.
    BOOL (*getVersionEx)(OSVERSIONINFOEXA* info);
    // One value of HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion, read
    // for reading through kiv::RegistryKey; raises what RegistryKey raises.
    RegistryValue (*readCurrentVersionValue)(const char* name);
    // kernel32.dll's fixed file version words (dwFileVersionMS, dwFileVersionLS), through
    // the version library loaded by name. FALSE when one of its calls fails; raises
    // kiv::SharedLibError when the library or one of its functions is missing.
    BOOL (*kernel32FileVersion)(DWORD* mostSignificant, DWORD* leastSignificant);
    // VerifyVersionInfoA.
    BOOL (*verifyVersionInfo)(OSVERSIONINFOEXA* info, DWORD typeMask, DWORDLONG conditionMask);
};

// The system's operations.
extern const OsInfoCalls kSystemOsInfoCalls;
// What OsInfo calls; starts as kSystemOsInfoCalls.
extern OsInfoCalls osInfoCalls;

} // namespace kiv

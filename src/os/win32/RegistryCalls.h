// The registry calls of kiv::RegistryKey, reached through one table so that tests can put
// their own functions in front of the system's (to count calls, or to give answers the
// registry cannot be made to give). Production never changes it.
#pragma once

#include "compat/win32.h"

namespace kiv {

struct RegistryCalls {
    decltype(&::RegOpenKeyExA) openKeyEx;
    decltype(&::RegCreateKeyExA) createKeyEx;
    decltype(&::RegCreateKeyA) createKey;
    decltype(&::RegCloseKey) closeKey;
    decltype(&::RegDeleteKeyA) deleteKey;
    decltype(&::RegDeleteTreeA) deleteTree;
    decltype(&::RegDeleteValueA) deleteValue;
    decltype(&::RegQueryInfoKeyA) queryInfoKey;
    decltype(&::RegEnumKeyA) enumKey;
    decltype(&::RegEnumValueA) enumValue;
    decltype(&::RegGetValueA) getValue;
    decltype(&::RegSetKeyValueA) setKeyValue;
};

// The system's functions.
extern const RegistryCalls kSystemRegistryCalls;
// What RegistryKey calls; starts as kSystemRegistryCalls.
extern RegistryCalls registryCalls;

} // namespace kiv

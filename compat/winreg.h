// The registry for builds without Windows: a process-local tree held in memory, empty at
// start, offering the advapi32 calls our code makes with Windows' behaviour:
// - Predefined roots HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS
//   and HKEY_CURRENT_CONFIG are separate empty trees; closing one succeeds and does nothing.
//   HKEY_PERFORMANCE_DATA and other handles that were never opened give 6.
// - Names are compared ignoring ASCII case and kept as first written. Sub-keys are
//   enumerated sorted by their upper-case names (the hive's order), values in the order
//   they were created. Empty path components are skipped; a leading backslash gives 161.
// - Handles carry the access they were opened with: reading values and listing need
//   KEY_QUERY_VALUE, enumerating sub-keys KEY_ENUMERATE_SUB_KEYS, writing and deleting values
//   KEY_SET_VALUE (5 otherwise). Creating, opening and deleting below a handle need no
//   access of that handle, as on Windows, where the key's security decides.
// - A deleted key's open handles give 1018 for everything but RegCloseKey.
// - KEY_WOW64_32KEY and KEY_WOW64_64KEY are accepted and ignored: there is one view.
// - RegQueryInfoKeyA reports the longest names in characters and the longest data in bytes
//   of the stored form, in which the string types take two bytes per character.
// - A lock inside makes every call atomic, so the calls may come from any thread.
// What it does not do: security descriptors, classes and last-write times (reported as
// none), volatile keys, links, the 255-character limit on key names, code-page conversion
// (texts are kept as the bytes given), and high-water longest lengths (Windows keeps a
// longest length until the key's list empties; here it is always that of the current list).
#pragma once

#include <cstdint>

#include "compat/winerror.h"
#include "compat/wintypes.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef void* PVOID;
// Only passed through as null here; whoever needs their fields defines them.
struct _SECURITY_ATTRIBUTES;
struct _FILETIME;

// Predefined roots: 32-bit numbers sign-extended into the handle, as on 64-bit Windows.
#define KIV_PREDEFINED_HKEY(n) ((HKEY)(std::intptr_t)(std::int32_t)(std::uint32_t)(n))
#define HKEY_CLASSES_ROOT KIV_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER KIV_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE KIV_PREDEFINED_HKEY(0x80000002u)
#define HKEY_USERS KIV_PREDEFINED_HKEY(0x80000003u)
#define HKEY_PERFORMANCE_DATA KIV_PREDEFINED_HKEY(0x80000004u)
#define HKEY_CURRENT_CONFIG KIV_PREDEFINED_HKEY(0x80000005u)
#define HKEY_DYN_DATA KIV_PREDEFINED_HKEY(0x80000006u)

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define MAXIMUM_ALLOWED 0x02000000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_EXECUTE KEY_READ
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_DATATYPE_MISMATCH
#define ERROR_DATATYPE_MISMATCH 1629L
#endif

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                        REGSAM access, const _SECURITY_ATTRIBUTES* security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved,
                         LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                         LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                         LPDWORD securityDescriptorLength, _FILETIME* lastWriteTime);
LSTATUS RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameLength);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLength);
LSTATUS RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD flags, LPDWORD type,
                     PVOID data, LPDWORD dataLength);
LSTATUS RegSetKeyValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, const void* data,
                        DWORD dataLength);

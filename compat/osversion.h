// Operating-system version calls for builds without Windows.
//
// The records keep Windows' layouts and sizes (148 and 156 bytes for the 8-bit forms,
// 276 and 284 for the wide ones), so that code filling in the size field works unchanged.
// The numbers are the host's own: major, minor and build are the first three numbers of
// the kernel release (uname), and the platform id is VER_PLATFORM_POSIX, which no Windows
// reports, so that code asking for Windows NT (platform id 2) never takes that road here.
// The host has no service pack, suite or product type: those fields read 0, except the
// product type, which reads VER_NT_WORKSTATION.
#pragma once

#include "compat/wintypes.h"

typedef char CHAR;
typedef unsigned char UCHAR;
// Windows' wide characters are UTF-16 units; the wide records must keep their size.
typedef char16_t WCHAR;
typedef std::uint64_t ULONGLONG;
typedef std::uint64_t DWORDLONG;

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize; // 148 or 156, set by the caller
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128]; // service-pack text; empty here
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType; // VER_NT_WORKSTATION, VER_NT_DOMAIN_CONTROLLER or VER_NT_SERVER
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156,
              "8-bit version records keep Windows' sizes");
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284,
              "wide version records keep Windows' sizes");

// Platform ids. Windows NT reports 2; the stand-in reports VER_PLATFORM_POSIX, a value
// outside Windows' set.
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_PLATFORM_POSIX 0x100

// Product types.
#define VER_NT_WORKSTATION 1
#define VER_NT_DOMAIN_CONTROLLER 2
#define VER_NT_SERVER 3

// Conditions for VerSetConditionMask.
#define VER_EQUAL 1
#define VER_GREATER 2
#define VER_GREATER_EQUAL 3
#define VER_LESS 4
#define VER_LESS_EQUAL 5
#define VER_AND 6
#define VER_OR 7
#define VER_CONDITION_MASK 7
#define VER_NUM_BITS_PER_CONDITION_MASK 3

// Failures of VerifyVersionInfo.
#define ERROR_BAD_ARGUMENTS 160L
#define ERROR_OLD_WIN_VERSION 1150L

// Type-mask bits: which fields VerifyVersionInfo compares.
#define VER_MINORVERSION 0x0000001
#define VER_MAJORVERSION 0x0000002
#define VER_BUILDNUMBER 0x0000004
#define VER_PLATFORMID 0x0000008
#define VER_SERVICEPACKMINOR 0x0000010
#define VER_SERVICEPACKMAJOR 0x0000020
#define VER_SUITENAME 0x0000040
#define VER_PRODUCT_TYPE 0x0000080

// Fills the record with the host's version. Fails with ERROR_INSUFFICIENT_BUFFER unless
// the size field is 148 or 156; the extended fields are written only for 156.
BOOL GetVersionExA(LPOSVERSIONINFOA versionInformation);

// Compares the host's version with the record, field by field as selected by typeMask,
// each with its condition from conditionMask. Major, minor, service-pack major and minor
// are compared together as one version, most significant first: a field decides unless
// the two values are equal, when the next selected field decides. FALSE with
// ERROR_OLD_WIN_VERSION when a comparison fails, with ERROR_BAD_ARGUMENTS when typeMask
// is 0 or a selected field has no condition.
BOOL VerifyVersionInfoA(LPOSVERSIONINFOEXA versionInformation, DWORD typeMask,
                        DWORDLONG conditionMask);
BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW versionInformation, DWORD typeMask,
                        DWORDLONG conditionMask);

// Stores condition for the one field named by typeBitMask (when it names several, the
// most significant bit wins, as on Windows) into the 3-bit slot of that field.
ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeBitMask, BYTE condition);

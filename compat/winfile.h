// Files, directories, module path and times for builds without Windows.
//
// Where the code depends on it, Windows' observable behaviour is reproduced:
// - Paths take `\` as well as `/` as separator: every backslash becomes a slash before the
//   call reaches the system, as Windows treats both alike. A Linux name that contains a
//   backslash is therefore out of reach through these calls.
// - FindFirstFileA matches names with Windows' wildcards, ignoring ASCII case: `*` any
//   run, `?` exactly one character, and dots and stars left over at the end of the pattern
//   once the name is used up match nothing, so `*.*` matches every name (dotted or not)
//   and `name.*` matches `name`. A listing holds `.` and `..` where the pattern matches
//   them, first, then the other names in case-blind order, as NTFS lists them. Names
//   beginning with a dot carry the hidden attribute.
// - A symbolic link is a reparse point, as Windows lists one: its attributes carry
//   FILE_ATTRIBUTE_REPARSE_POINT beside those of what it points to (a link to a directory
//   is also a directory), and a dangling link is listed as a file. RemoveDirectoryA removes
//   a link to a directory and DeleteFileA a link to a file, never what they point to;
//   DeleteFileA refuses a link to a directory with 5, as Windows does.
// - Failures report Windows' error numbers through SetLastError: 2 for a missing name in
//   an existing directory, 3 when the directory itself is missing, 183 for a directory
//   that already exists, 145 for one that is not empty, 267 for a file removed as
//   a directory, 18 at the end of a listing, 122 for a buffer too small.
// - GetTempPathA reports TMPDIR (or /tmp) with a trailing `/`; GetModuleFileNameA the
//   executable's path from /proc/self/exe, or a loaded library's path.
#pragma once

#include "compat/winerror.h"
#include "compat/winlib.h"
#include "compat/wintypes.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

// Paths of this platform separate their parts with a slash; code that joins paths uses
// this character where Windows writes a backslash.
#define KIV_PATH_SEPARATOR '/'

typedef char CHAR;
typedef int errno_t;

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define ERROR_NO_MORE_FILES 18L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L

// 100-nanosecond ticks since 1601-01-01 (UTC), in two 32-bit halves.
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

// A broken-down date and time; day of week 0 is Sunday.
typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime; // the status-change time: Linux keeps no creation time here
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh; // 0 for directories, as Windows lists them
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14]; // no short names here: always empty
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// Starts a listing of the names in the pattern's directory that match its last part, and
// fills data with the first. The names are read at once; FindNextFileA hands out the rest.
// INVALID_HANDLE_VALUE with 2 when nothing matches, 3 when the directory is missing.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData);
// The next name of the listing; FALSE with 18 after the last one.
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData);
// Ends a listing; FALSE with 6 for anything that is not an open listing.
BOOL FindClose(HANDLE findFile);

// A null module is the running executable. The path is cut to size - 1 characters and
// terminated when it does not fit; the result is then size, with 122.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
// Length of the temporary directory's path (ending in `/`) without terminator, or, when
// the buffer is too small, the size needed with the terminator (the buffer is untouched).
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);

// The attributes FindFirstFileA would list for the name; INVALID_FILE_ATTRIBUTES with 2 or
// 3 when there is nothing at the path.
DWORD GetFileAttributesA(LPCSTR fileName);

// The security attributes are not looked at (pass null); the directory gets the
// process's default permissions.
BOOL CreateDirectoryA(LPCSTR pathName, void* securityAttributes);
BOOL RemoveDirectoryA(LPCSTR pathName);
BOOL DeleteFileA(LPCSTR fileName);

// The C runtime's temporary-name function: the trailing "XXXXXX" of the template (size
// counts the terminator) become six letters and digits that no file uses yet. EINVAL for
// a template without them, EEXIST when no free name was found.
errno_t _mktemp_s(char* nameTemplate, std::size_t size);

// The C runtime's file status and file times with 64-bit values, under the names of
// Windows' runtime, so that code reading or setting them is written once. Paths take `\`
// as well as `/`, as the calls above do, and links are followed. The status is the system's
// record (st_mode, st_size, st_atime, st_mtime). Times before 1970 are taken as the file
// system holds them; Wine's runtime takes them too, while Microsoft's refuses times before
// 1970 and after 3000.
struct _stat64 : public stat {};
int _stat64(const char* path, struct _stat64* status);
struct __utimbuf64 {
    std::int64_t actime;  // seconds since 1970
    std::int64_t modtime; // seconds since 1970
};
// 0 when the access and the modification time were set, else -1 with errno.
int _utime64(const char* path, struct __utimbuf64* times);

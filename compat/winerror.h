// The calling thread's last error number and the system message texts, for builds without
// Windows. Only the numbers that our code can meet have texts; every other number fails
// the lookup, as a number without a message does on Windows.
#pragma once

#include "compat/wintypes.h"

#include <cstdarg>

typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HLOCAL;

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_BADKEY 1010L
#define ERROR_KEY_DELETED 1018L
#define ERROR_UNSUPPORTED_TYPE 1630L
#define ERROR_RESOURCE_LANG_NOT_FOUND 15100L

// Codes of the process, synchronisation, mapping and security stand-ins.
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_NOT_OWNER 288L
#define ERROR_TOO_MANY_POSTS 298L
#define ERROR_FILE_INVALID 1006L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_INVALID_ACL 1336L
#define ERROR_INVALID_SID 1337L
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define MAKELANGID(primary, sub) ((((WORD)(sub)) << 10) | (WORD)(primary))

// The calling thread's last error number; each thread has its own, starting at 0.
DWORD GetLastError();
void SetLastError(DWORD code);

// Only system messages (FORMAT_MESSAGE_FROM_SYSTEM), with inserts left as they are, in the
// neutral, default or US English language. With FORMAT_MESSAGE_ALLOCATE_BUFFER `buffer` is
// really a char** that receives a block to release with LocalFree; otherwise the text goes
// into `buffer` of `size` bytes (122 when it does not fit). Returns the characters stored
// (CR LF included, terminator not); 0 with 317 for a number without a text.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, va_list* arguments);

// Releases a block that FormatMessageA allocated; null on success, as on Windows.
HLOCAL LocalFree(HLOCAL memory);

// The calling thread's last-error code for builds without Windows. The stand-ins under
// compat/ set it with Windows' error numbers when they fail, so that code reading it
// sees the same codes as on Windows.
#pragma once

#include "compat/wintypes.h"

// Windows error numbers the stand-ins report.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BUFFER_OVERFLOW 111L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_ARGUMENTS 160L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L
#define ERROR_OLD_WIN_VERSION 1150L

// The code the last failing call of this thread stored (0 at thread start).
DWORD GetLastError();
void SetLastError(DWORD errorCode);

// The Windows error number closest to a POSIX errno value (ERROR_ACCESS_DENIED for
// anything without a better match). Not a Win32 call: the stand-ins share it.
DWORD CompatErrorFromErrno(int errnoValue);

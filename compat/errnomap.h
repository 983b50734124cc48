// The Windows error code for a POSIX cause (inside compat/ only).
#pragma once

#include "compat/winerror.h"

namespace compat {
// ERROR_ACCESS_DENIED for EACCES, ERROR_FILE_NOT_FOUND for ENOENT, ...;
// ERROR_INVALID_PARAMETER for causes without a closer code.
DWORD ErrorFromErrno(int error);
} // namespace compat

// Whether the running system is of the Windows NT family (inside osutil/ only).
#pragma once

#include "compat/win32.h"

// True when the OS version can be read, the platform id is 2 (NT) and the major version
// is at least `minimumMajor`.
bool IsNtPlatform(DWORD minimumMajor);

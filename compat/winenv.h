// The process environment for builds without Windows, over the C library's environment.
#pragma once

#include "compat/winerror.h"

typedef char* LPCH;

// A copy of the whole environment: "name=value" entries, each ended by a zero byte, the
// block ended by one more. Release it with FreeEnvironmentStringsA.
LPCH GetEnvironmentStringsA();
BOOL FreeEnvironmentStringsA(LPCH block);
// With room for the value and its terminator: copies it and returns its length. Without:
// returns the size needed, terminator included, and leaves `buffer` alone. An unset
// variable returns 0 with 203.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
// Sets the variable, or removes it when `value` is null (removing an unset one succeeds).
// A name that is empty or holds "=" fails with 87.
BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// The calls LoadLibraryWithError makes, reached through one table so that tests can put
// their own functions in front of the system's (a load failing with a chosen code, a
// system text too long for the shared buffer). Production never changes it; the header
// is not installed with the public ones.
#pragma once

#include "compat/win32.h"

struct OsLoaderCalls {
    decltype(&LoadLibraryA) loadLibrary;
    decltype(&FormatMessageA) formatMessage;
};

// The system's functions.
extern const OsLoaderCalls kSystemLoaderCalls;
// What LoadLibraryWithError calls; starts as kSystemLoaderCalls.
extern OsLoaderCalls osLoaderCalls;

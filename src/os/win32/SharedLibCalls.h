// The loader calls of kiv::SharedLib, reached through one table so that tests can put their
// own functions in front of the system's (an unload that fails cannot be had at will).
// Production never changes it.
#pragma once

#include "compat/win32.h"

namespace kiv {

struct SharedLibCalls {
    decltype(&::LoadLibraryA) loadLibrary;
    decltype(&::GetProcAddress) getProcAddress;
    decltype(&::FreeLibrary) freeLibrary;
};

// The system's functions.
extern const SharedLibCalls kSystemSharedLibCalls;
// What SharedLib calls; starts as kSystemSharedLibCalls.
extern SharedLibCalls sharedLibCalls;

} // namespace kiv

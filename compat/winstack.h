// Return addresses of the calling thread's stack, for builds without Windows.
#pragma once

#include "compat/wintypes.h"

typedef void* PVOID;
typedef DWORD* PDWORD;

// Stores at most `count` return addresses, innermost first, after skipping `skip` frames
// (frame 0 is the caller's own); returns how many were stored. `hash`, when given, gets 0.
WORD RtlCaptureStackBackTrace(DWORD skip, DWORD count, PVOID* frames, PDWORD hash);

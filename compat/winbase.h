// Kernel services for builds without Windows: the sleep and the millisecond tick counter.
#pragma once

#include "compat/wintypes.h"

// Suspends the calling thread for at least `milliseconds`.
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, from a monotonic clock; wraps around after
// about 49.7 days, as on Windows.
DWORD GetTickCount();

// Kernel services for builds without Windows: the sleep, the millisecond tick counter,
// and threads with a chosen stack size.
#pragma once

#include "compat/winhandle.h"
#include "compat/wintypes.h"

#include <cstddef>

// Suspends the calling thread for at least `milliseconds`.
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, from a monotonic clock; wraps around after
// about 49.7 days, as on Windows.
DWORD GetTickCount();

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

// Starts `start(parameter)` on a new thread and returns its handle, null on failure.
// `stackSize` is the thread's stack (0: the default size; small sizes are raised to the
// system's minimum), whether or not STACK_SIZE_PARAM_IS_A_RESERVATION is given; other
// flags (a suspended start among them) and security attributes are refused. *threadId,
// when asked for, is a number no other thread of the process has been given.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId);
// A thread's handle lives in the one handle table of compat/winhandle.h: it is signalled
// once the thread has ended, a wait on it alone blocks on the thread's end (no polling,
// so that joining a short-lived thread costs no more than its exit), and closing it lets
// the thread run on.

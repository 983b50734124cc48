// Kernel services for builds without Windows: the sleep, the millisecond tick counter,
// and threads with a chosen stack size.
#pragma once

#include "compat/wintypes.h"

#include <cstddef>

// Suspends the calling thread for at least `milliseconds`.
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, from a monotonic clock; wraps around after
// about 49.7 days, as on Windows.
DWORD GetTickCount();

#define WINAPI
typedef void* LPVOID;
typedef std::size_t SIZE_T;
typedef DWORD* LPDWORD;
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);
struct _SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000
#define WAIT_TIMEOUT 0x00000102
#define WAIT_FAILED 0xFFFFFFFF

// Starts `start(parameter)` on a new thread and returns its handle, null on failure.
// `stackSize` is the thread's stack (0: the default size; small sizes are raised to the
// system's minimum), whether or not STACK_SIZE_PARAM_IS_A_RESERVATION is given; other
// flags (a suspended start among them) and security attributes are refused. *threadId,
// when asked for, is a number no other thread of the process has been given.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId);
// For thread handles: WAIT_OBJECT_0 once the thread has ended (at once for one that has
// ended before), WAIT_TIMEOUT when it runs on after `milliseconds` (INFINITE: no limit),
// WAIT_FAILED for a null handle. Waits of several threads on one handle are served one
// after another.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Releases a thread handle; the thread itself runs on. FALSE for a null handle.
BOOL CloseHandle(HANDLE handle);

// Events, mutexes and semaphores for builds without Windows.
//
// An object's state is a few atomic words; a named object keeps them in its entry file
// (see compat/objectnamespace.h), mapped by every process that holds a handle, so that
// objects of one name are one object across processes, and the name disappears with its
// last handle. Events, mutexes and semaphores share one namespace: creating or opening
// a name that belongs to another kind fails with ERROR_INVALID_HANDLE, creating an
// existing one hands back a handle to it with ERROR_ALREADY_EXISTS. A mutex belongs to a
// thread and counts its recursive takes; when its owner thread (or process) has ended
// without releasing it, the next wait takes it with WAIT_ABANDONED. Access masks are not
// checked; the entry is readable by every local user only when security attributes are
// given.
#pragma once

#include "compat/winhandle.h"
#include "compat/wintypes.h"

#define EVENT_ALL_ACCESS 0x1F0003
#define MUTEX_ALL_ACCESS 0x1F0001
#define SEMAPHORE_ALL_ACCESS 0x1F0003
#define EVENT_MODIFY_STATE 0x0002
#define MUTEX_MODIFY_STATE 0x0001
#define SEMAPHORE_MODIFY_STATE 0x0002

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
HANDLE OpenEventA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                        LPCSTR name);
HANDLE OpenSemaphoreA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

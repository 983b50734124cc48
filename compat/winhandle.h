// Kernel object handles for builds without Windows: closing and waiting.
//
// Every waitable object of the stand-in (processes, threads, events, mutexes, semaphores,
// files, file mappings) lives behind a HANDLE from one process-wide table. Handle values
// are multiples of 4 from 0x10000 upwards and never reused, so they never collide with
// file descriptors or SOCKET values, and a stale handle is refused with
// ERROR_INVALID_HANDLE instead of reaching another object.
//
// Waits poll the objects' states (every 2 ms at most, sooner at first) rather than
// blocking on one primitive, so that one wait can cover objects of every kind and of
// other processes. Results are Windows': WAIT_OBJECT_0 + index, WAIT_ABANDONED_0 + index
// for a mutex whose owner ended without releasing it, WAIT_TIMEOUT (258), WAIT_FAILED with
// the last error set.
#pragma once

#include "compat/winerror.h"
#include "compat/wintypes.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_ABANDONED WAIT_ABANDONED_0
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define MAXIMUM_WAIT_OBJECTS 64

#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* PSECURITY_ATTRIBUTES;

BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Named events, mutexes and semaphores visible to every logged-on user, and waits on
// them. Results are 1 for success and 0 for failure; a failed create or open stores a
// null handle.
#pragma once

#include "compat/win32.h"

// Size of the buffer GlobalObjectName writes into.
constexpr size_t kObjectNameSize = 128;
// Names this long or longer are used as they are.
constexpr size_t kObjectNameLimit = 120;

// Flag of the create functions: the object is open to every user
// (OpenToEveryoneAttributes).
constexpr DWORD kNamedObjectOpenToEveryone = 0x1;

// The name under which a named object is created or opened. A non-empty name shorter
// than 120 characters is written into `buffer` (128 bytes): as "Global\<name>" on an NT
// system of major version 5 or later (the namespace shared by all sessions), unchanged
// otherwise; `buffer` is then returned. Longer names, empty names and null are returned
// as they are.
const char* GlobalObjectName(const char* name, char* buffer);

// An auto-reset event, initially not signalled. 1 when a handle came back, also when the
// event existed already (GetLastError tells ERROR_ALREADY_EXISTS then).
int CreateNamedEvent(HANDLE* handle, const char* name, DWORD flags);
// Opens an existing event with all access, not inheritable.
int OpenNamedEvent(HANDLE* handle, const char* name);

// A mutex, not initially owned; 1 when a handle came back.
int CreateNamedMutex(HANDLE* handle, const char* name, DWORD flags);
int OpenNamedMutex(HANDLE* handle, const char* name);

// A semaphore with the given initial count and a maximum count of 1.
int CreateNamedSemaphore(HANDLE* handle, const char* name, LONG initialCount, DWORD flags);
int OpenNamedSemaphore(HANDLE* handle, const char* name);

// Waits for the object: 1 with the wait result (WAIT_OBJECT_0, WAIT_ABANDONED,
// WAIT_TIMEOUT) in `code`, or 0 with GetLastError in `code` when the wait failed.
int WaitObject(HANDLE handle, DWORD timeoutMs, DWORD* code);
// The same for several handles (for all of them or for any of them).
int WaitObjects(const HANDLE* handles, DWORD count, BOOL waitAll, DWORD timeoutMs, DWORD* code);

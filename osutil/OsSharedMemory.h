// Named shared memory: a file mapping, of a backing file or of the paging file, visible
// to every logged-on user under its name.
#pragma once

#include "compat/win32.h"

// One mapped region.
struct SharedMemory {
    HANDLE file;     // the backing file, or INVALID_HANDLE_VALUE for the paging file
    HANDLE mapping;  // the file mapping
    DWORD size;      // bytes mapped
    void* address;   // the view
    DWORD created;   // 1 when this call created the mapping (or its backing file)
    DWORD lastError; // Windows error code of the last failing step
};

// Flag of CreateSharedMemory: the mapping is open to every user.
constexpr DWORD kSharedMemoryOpenToEveryone = 0x1;

// Opens the mapping of that name, or creates it: on the backing file when a name of one
// is given (opened as an existing file first, else created, which sets `created`), or
// on the paging file (which sets `created`). Then maps `size` bytes of it. Clears the
// record first; records the error of each failing step in lastError. 0 when the backing
// file cannot be opened or the mapping cannot be had. When only the view fails the
// result is still 1, with a null address and the error in lastError.
int CreateSharedMemory(SharedMemory* sharedMemory, DWORD size, const char* backingFileName,
                       const char* name, DWORD flags);

// Opens an existing mapping and maps `size` bytes of it; 0 when either step fails (the
// error in lastError).
int OpenSharedMemory(SharedMemory* sharedMemory, DWORD size, const char* name);

// Writes `length` bytes of the view from `address` back (0: to the view's end); without
// an address, the record's view. Always 1.
int FlushSharedMemory(SharedMemory* sharedMemory, void* address, DWORD length);

// Unmaps the view and closes the mapping and the backing file; the record is left
// cleared. 0 only for a null record.
int CloseSharedMemory(SharedMemory* sharedMemory);

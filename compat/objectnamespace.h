// Names of kernel objects shared between processes (inside compat/ only).
//
// A named object is an entry file in /dev/shm (or /tmp where there is none), called
// "<prefix><name>" with bytes outside [A-Za-z0-9._-] written as %XX. Every handle keeps
// the entry open with a shared flock, which marks it in use; the kernel drops that lock
// when a process ends, however it ends. The last handle to close finds that it can take
// the lock exclusively and removes the entry, so the name disappears as on Windows; an
// entry that nobody holds (its processes ended without closing) counts as absent.
// Creating, opening and that last removal are serialised between processes by an
// exclusive flock on one lock file, which an ending process cannot leave held.
#pragma once

#include <string>

#include "compat/wintypes.h"

namespace compat {

class NamespaceLock {
public:
    NamespaceLock();
    ~NamespaceLock();
    NamespaceLock(const NamespaceLock&) = delete;
    NamespaceLock& operator=(const NamespaceLock&) = delete;

private:
    int fd_;
};

// The entry file's path for `name`, or "" with ERROR_FILENAME_EXCED_RANGE set when the
// name is too long to be one.
std::string NamedObjectPath(const char* prefix, const char* name);

// Under a NamespaceLock: opens the entry and marks it in use, creating it (empty, with
// `mode`) when `create` allows and it is absent; `existed` tells which. -1 with the last
// error set on failure (ERROR_FILE_NOT_FOUND when absent and not to be created).
int AcquireEntry(const std::string& path, bool create, unsigned mode, bool* existed);
// Under a NamespaceLock: closes the entry, removing it when no other handle holds it.
void ReleaseEntry(const std::string& path, int fd);

// The permissions of a new entry: open to every local user when attributes were given
// (the callers that pass any want sharing), the creator's own otherwise.
unsigned EntryMode(const void* securityAttributes);

} // namespace compat

// The stand-in's kernel objects and their handle table (inside compat/ only).
#pragma once

#include <memory>

#include "compat/errnomap.h"
#include "compat/winhandle.h"

namespace compat {

enum class Acquired { No, Yes, Abandoned };

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Takes the object when it is signalled, as a satisfied wait does: an auto-reset event
    // resets, a semaphore's count drops, a mutex becomes the calling thread's.
    virtual Acquired tryAcquire() = 0;
    // Gives back what a tryAcquire took (a wait for all objects that could not take all).
    virtual void undoAcquire() {}
    // A wait on this object alone through its own blocking primitive; false when the
    // object has none and the wait is to poll.
    virtual bool waitAlone(DWORD /*milliseconds*/, DWORD* /*result*/) { return false; }
};

// A new handle for the object; null with ERROR_NOT_ENOUGH_MEMORY when none can be made.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(LookupHandle(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

} // namespace compat

// The stand-in's kernel objects and their handle table (inside compat/ only).
#pragma once

#include <cerrno>
#include <memory>
#include <pthread.h>

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

// pthread_create, but when glibc refuses the stack size in `options` because the static
// thread-local storage it carves out of the stack leaves too little, the default size
// instead: Windows keeps TLS apart from the stack and takes a size as a reservation only,
// so a host with much TLS would otherwise lose every small-stack thread.
inline int CreatePthread(pthread_t* thread, const pthread_attr_t* options, void* (*run)(void*),
                         void* argument) {
    int created = pthread_create(thread, options, run, argument);
    pthread_attr_t defaults;
    if (created != EINVAL || pthread_attr_init(&defaults) != 0)
        return created;
    int detached = PTHREAD_CREATE_JOINABLE;
    pthread_attr_getdetachstate(options, &detached);
    pthread_attr_setdetachstate(&defaults, detached);
    created = pthread_create(thread, &defaults, run, argument);
    pthread_attr_destroy(&defaults);
    return created;
}

} // namespace compat

#include "compat/winsync.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "compat/kernelobject.h"
#include "compat/objectnamespace.h"
#include "compat/winprocess.h"

namespace {

enum Kind : std::uint32_t { kEvent = 0x4B455654, kMutex = 0x4B4D5458, kSemaphore = 0x4B53454D };

// The state every handle of one object shares, in the entry file of a named object.
struct SyncState {
    std::uint32_t kind;
    std::uint32_t manualReset;        // events
    std::int32_t maximum;             // semaphores
    std::atomic<std::int32_t> count;  // events: 1 when signalled; semaphores: the count
    std::atomic<std::uint64_t> owner; // mutexes: process id << 32 | thread id, 0 when free
    std::atomic<std::uint32_t> depth; // mutexes: the owner's recursive takes
};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free &&
                  std::atomic<std::int32_t>::is_always_lock_free,
              "state shared between processes must not need a lock");

std::uint64_t CallingThread() {
    return static_cast<std::uint64_t>(getpid()) << 32 | GetCurrentThreadId();
}

bool ThreadAlive(std::uint64_t owner) {
    auto pid = static_cast<pid_t>(owner >> 32);
    auto tid = static_cast<pid_t>(owner & 0xFFFFFFFF);
    return syscall(SYS_tgkill, pid, tid, 0) == 0 || errno == EPERM;
}

class SyncObject : public compat::KernelObject {
public:
    SyncObject(SyncState* state, int fd, std::string path)
        : state_(state), fd_(fd), path_(std::move(path)) {}
    ~SyncObject() override {
        if (fd_ < 0) {
            delete state_;
            return;
        }
        munmap(state_, sizeof(SyncState));
        compat::NamespaceLock lock;
        compat::ReleaseEntry(path_, fd_);
    }
    SyncState& state() { return *state_; }

    compat::Acquired tryAcquire() override {
        switch (state_->kind) {
        case kEvent:
            if (state_->manualReset)
                return state_->count.load() == 1 ? compat::Acquired::Yes : compat::Acquired::No;
            return Decrement() ? compat::Acquired::Yes : compat::Acquired::No;
        case kSemaphore:
            return Decrement() ? compat::Acquired::Yes : compat::Acquired::No;
        default:
            return TakeMutex();
        }
    }
    void undoAcquire() override {
        switch (state_->kind) {
        case kEvent:
            if (!state_->manualReset)
                state_->count.store(1);
            break;
        case kSemaphore:
            state_->count.fetch_add(1);
            break;
        default:
            if (state_->depth.fetch_sub(1) == 1)
                state_->owner.store(0);
        }
    }

private:
    bool Decrement() {
        std::int32_t count = state_->count.load();
        while (count > 0) {
            if (state_->count.compare_exchange_weak(count, count - 1))
                return true;
        }
        return false;
    }
    compat::Acquired TakeMutex() {
        const std::uint64_t self = CallingThread();
        std::uint64_t owner = state_->owner.load();
        if (owner == self) {
            state_->depth.fetch_add(1);
            return compat::Acquired::Yes;
        }
        if (owner == 0) {
            if (!state_->owner.compare_exchange_strong(owner, self))
                return compat::Acquired::No;
            state_->depth.store(1);
            return compat::Acquired::Yes;
        }
        if (ThreadAlive(owner) || !state_->owner.compare_exchange_strong(owner, self))
            return compat::Acquired::No;
        state_->depth.store(1);
        return compat::Acquired::Abandoned;
    }

    SyncState* state_;
    int fd_; // the entry file of a named object, -1 for an unnamed one
    std::string path_;
};

struct Initial {
    Kind kind;
    std::uint32_t manualReset;
    std::int32_t maximum;
    std::int32_t count;
    bool owned;
};

void Initialise(SyncState* state, const Initial& initial) {
    new (state) SyncState();
    state->kind = initial.kind;
    state->manualReset = initial.manualReset;
    state->maximum = initial.maximum;
    state->count.store(initial.count);
    if (initial.owned) {
        state->owner.store(CallingThread());
        state->depth.store(1);
    }
}

HANDLE Insert(std::shared_ptr<SyncObject> object) {
    return compat::InsertHandle(std::move(object));
}

// Maps the state of a named object, under the namespace lock; creates the object when
// `initial` is given and the name is free.
std::shared_ptr<SyncObject> MapNamed(const std::string& path, Kind kind, const Initial* initial,
                                     const void* attributes, bool* existed) {
    compat::NamespaceLock lock;
    int fd = compat::AcquireEntry(path, initial != nullptr, compat::EntryMode(attributes), existed);
    if (fd < 0)
        return nullptr;
    DWORD error = ERROR_INVALID_HANDLE; // a name that belongs to another kind of object
    struct stat info;
    if (*existed && (fstat(fd, &info) != 0 || info.st_size < off_t(sizeof(SyncState)))) {
        compat::ReleaseEntry(path, fd);
        SetLastError(error);
        return nullptr;
    }
    if (!*existed && ftruncate(fd, sizeof(SyncState)) != 0) {
        SetLastError(compat::ErrorFromErrno(errno));
        compat::ReleaseEntry(path, fd);
        return nullptr;
    }
    void* memory = mmap(nullptr, sizeof(SyncState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        SetLastError(compat::ErrorFromErrno(errno));
        compat::ReleaseEntry(path, fd);
        return nullptr;
    }
    auto* state = static_cast<SyncState*>(memory);
    if (!*existed)
        Initialise(state, *initial);
    if (state->kind == kind) {
        auto* object = new (std::nothrow) SyncObject(state, fd, path);
        if (object != nullptr)
            return std::shared_ptr<SyncObject>(object);
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    munmap(memory, sizeof(SyncState));
    compat::ReleaseEntry(path, fd);
    SetLastError(error);
    return nullptr;
}

HANDLE Named(const char* name, Kind kind, const Initial* initial, const void* attributes) {
    std::string path = compat::NamedObjectPath("kiv-sync.", name);
    if (path.empty())
        return nullptr;
    bool existed = false;
    auto object = MapNamed(path, kind, initial, attributes, &existed);
    if (!object)
        return nullptr;
    // Outside the namespace lock: a failed insert drops the object, which takes it again.
    HANDLE handle = Insert(std::move(object));
    if (handle != nullptr)
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE Create(const char* name, const Initial& initial, const void* attributes) {
    if (name != nullptr && *name != '\0')
        return Named(name, initial.kind, &initial, attributes);
    auto* state = new (std::nothrow) SyncState();
    if (state == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Initialise(state, initial);
    HANDLE handle = Insert(std::make_shared<SyncObject>(state, -1, std::string()));
    if (handle != nullptr)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

HANDLE Open(const char* name, Kind kind) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (*name == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return Named(name, kind, nullptr, nullptr);
}

std::shared_ptr<SyncObject> Lookup(HANDLE handle, Kind kind) {
    auto object = compat::LookupHandleAs<SyncObject>(handle);
    if (object && object->state().kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

} // namespace

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    Initial initial{kEvent, manualReset ? 1u : 0u, 1, initialState ? 1 : 0, false};
    return Create(name, initial, attributes);
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
    return Open(name, kEvent);
}

BOOL SetEvent(HANDLE event) {
    auto object = Lookup(event, kEvent);
    if (!object)
        return FALSE;
    object->state().count.store(1);
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = Lookup(event, kEvent);
    if (!object)
        return FALSE;
    object->state().count.store(0);
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name) {
    Initial initial{kMutex, 0, 1, 0, initialOwner != FALSE};
    return Create(name, initial, attributes);
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
    return Open(name, kMutex);
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = Lookup(mutex, kMutex);
    if (!object)
        return FALSE;
    SyncState& state = object->state();
    if (state.owner.load() != CallingThread()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (state.depth.fetch_sub(1) == 1)
        state.owner.store(0);
    return TRUE;
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                        LPCSTR name) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Initial initial{kSemaphore, 0, maximumCount, initialCount, false};
    return Create(name, initial, attributes);
}

HANDLE OpenSemaphoreA(DWORD, BOOL, LPCSTR name) {
    return Open(name, kSemaphore);
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    auto object = Lookup(semaphore, kSemaphore);
    if (!object)
        return FALSE;
    if (releaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SyncState& state = object->state();
    std::int32_t count = state.count.load();
    do {
        if (count > state.maximum - releaseCount) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
    } while (!state.count.compare_exchange_weak(count, count + releaseCount));
    if (previousCount != nullptr)
        *previousCount = count;
    return TRUE;
}

#include "compat/kernelobject.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

std::mutex tableLock;
std::map<std::uintptr_t, std::shared_ptr<compat::KernelObject>>& Table() {
    static auto* table = new std::map<std::uintptr_t, std::shared_ptr<compat::KernelObject>>;
    return *table;
}
std::uintptr_t nextHandle = 0x10000;

using Clock = std::chrono::steady_clock;

// Polls `attempt` until it reports a result or the time-out passes. The pause between
// polls grows from 50 microseconds to 2 ms, so short waits stay short.
template <typename Attempt>
DWORD PollUntil(DWORD milliseconds, Attempt attempt) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        DWORD result = attempt();
        if (result != WAIT_TIMEOUT)
            return result;
        if (milliseconds != INFINITE) {
            auto now = Clock::now();
            if (now >= deadline)
                return WAIT_TIMEOUT;
            auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
            std::this_thread::sleep_for(left < pause ? left : pause);
        } else {
            std::this_thread::sleep_for(pause);
        }
        if (pause < std::chrono::milliseconds(2))
            pause *= 2;
    }
}

} // namespace

HANDLE compat::InsertHandle(std::shared_ptr<KernelObject> object) {
    try {
        std::lock_guard<std::mutex> guard(tableLock);
        std::uintptr_t value = nextHandle;
        Table().emplace(value, std::move(object));
        nextHandle += 4;
        return reinterpret_cast<HANDLE>(value);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

std::shared_ptr<compat::KernelObject> compat::LookupHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(tableLock);
    auto found = Table().find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == Table().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<compat::KernelObject> object;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        auto found = Table().find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == Table().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(found->second);
        Table().erase(found);
    }
    // The object goes (outside the table's lock) once no wait holds it any more.
    object.reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<compat::KernelObject> object = compat::LookupHandle(handle);
    DWORD result;
    if (object && object->waitAlone(milliseconds, &result))
        return result;
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<compat::KernelObject>> objects;
    for (DWORD i = 0; i < count; ++i) {
        objects.push_back(compat::LookupHandle(handles[i]));
        if (!objects.back())
            return WAIT_FAILED;
    }
    if (!waitAll) {
        return PollUntil(milliseconds, [&]() -> DWORD {
            for (DWORD i = 0; i < count; ++i) {
                switch (objects[i]->tryAcquire()) {
                case compat::Acquired::Yes:
                    return WAIT_OBJECT_0 + i;
                case compat::Acquired::Abandoned:
                    return WAIT_ABANDONED_0 + i;
                case compat::Acquired::No:
                    break;
                }
            }
            return WAIT_TIMEOUT;
        });
    }
    // All or nothing: what was taken is given back when one object is not signalled.
    return PollUntil(milliseconds, [&]() -> DWORD {
        bool abandoned = false;
        for (DWORD i = 0; i < count; ++i) {
            compat::Acquired taken = objects[i]->tryAcquire();
            if (taken == compat::Acquired::No) {
                while (i-- > 0)
                    objects[i]->undoAcquire();
                return WAIT_TIMEOUT;
            }
            abandoned = abandoned || taken == compat::Acquired::Abandoned;
        }
        return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
    });
}

#include "compat/winbase.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <new>
#include <pthread.h>
#include <thread>
#include <unistd.h>

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    auto count = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<DWORD>(count);
}

namespace {

// What a thread handle stands for. The handle and the thread share it: the thread takes
// its routine and parameter out of it at its start, and whichever lets go last frees it,
// so that a handle closed before its thread has started costs nothing to the thread.
struct ThreadObject {
    pthread_t thread;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    std::atomic<int> owners{2};
    std::mutex waits; // one wait (and so one join) at a time
    bool joined = false;
};

std::atomic<DWORD> g_lastThreadId{0};

void Release(ThreadObject* object) {
    if (object->owners.fetch_sub(1) == 1)
        delete object;
}

void* RunThread(void* argument) {
    ThreadObject* object = static_cast<ThreadObject*>(argument);
    LPTHREAD_START_ROUTINE start = object->start;
    LPVOID parameter = object->parameter;
    Release(object);
    start(parameter);
    return nullptr;
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId) {
    if (attributes != nullptr || start == nullptr ||
        (flags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION)) != 0)
        return nullptr;
    pthread_attr_t options;
    if (pthread_attr_init(&options) != 0)
        return nullptr;
    bool usable = true;
    if (stackSize != 0) {
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        size_t size = stackSize < minimum ? minimum : stackSize;
        usable = size <= SIZE_MAX - page &&
                 pthread_attr_setstacksize(&options, (size + page - 1) / page * page) == 0;
    }
    ThreadObject* object = usable ? new (std::nothrow) ThreadObject : nullptr;
    if (object != nullptr) {
        object->start = start;
        object->parameter = parameter;
        if (pthread_create(&object->thread, &options, RunThread, object) != 0) {
            delete object;
            object = nullptr;
        }
    }
    pthread_attr_destroy(&options);
    if (object != nullptr && threadId != nullptr)
        *threadId = ++g_lastThreadId;
    return object;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (handle == nullptr)
        return WAIT_FAILED;
    ThreadObject* object = static_cast<ThreadObject*>(handle);
    std::lock_guard<std::mutex> hold(object->waits);
    if (object->joined)
        return WAIT_OBJECT_0;
    int error;
    if (milliseconds == INFINITE) {
        error = pthread_join(object->thread, nullptr);
    } else if (milliseconds == 0) {
        error = pthread_tryjoin_np(object->thread, nullptr);
    } else {
        timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        error = pthread_timedjoin_np(object->thread, nullptr, &deadline);
    }
    if (error == 0) {
        object->joined = true;
        return WAIT_OBJECT_0;
    }
    return error == EBUSY || error == ETIMEDOUT ? WAIT_TIMEOUT : WAIT_FAILED;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr)
        return FALSE;
    ThreadObject* object = static_cast<ThreadObject*>(handle);
    bool joined;
    {
        std::lock_guard<std::mutex> hold(object->waits);
        joined = object->joined;
    }
    if (!joined)
        pthread_detach(object->thread);
    Release(object);
    return TRUE;
}

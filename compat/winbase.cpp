#include "compat/winbase.h"

#include "compat/kernelobject.h"

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

// A thread started by CreateThread. The table's entry and the thread share the object;
// the thread frees nothing itself, so it does not allocate on its way out.
class JoinableThread : public compat::KernelObject {
public:
    pthread_t thread;
    bool started = false; // `thread` names a thread
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;

    ~JoinableThread() override {
        if (started && !joined)
            pthread_detach(thread);
    }

    compat::Acquired tryAcquire() override {
        std::lock_guard<std::mutex> hold(waits);
        if (!joined && pthread_tryjoin_np(thread, nullptr) == 0)
            joined = true;
        return joined ? compat::Acquired::Yes : compat::Acquired::No;
    }

    bool waitAlone(DWORD milliseconds, DWORD* result) override {
        std::lock_guard<std::mutex> hold(waits);
        int error = 0;
        if (!joined) {
            if (milliseconds == INFINITE) {
                error = pthread_join(thread, nullptr);
            } else if (milliseconds == 0) {
                error = pthread_tryjoin_np(thread, nullptr);
            } else {
                timespec deadline;
                clock_gettime(CLOCK_REALTIME, &deadline);
                deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
                deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
                if (deadline.tv_nsec >= 1000000000L) {
                    deadline.tv_sec += 1;
                    deadline.tv_nsec -= 1000000000L;
                }
                error = pthread_timedjoin_np(thread, nullptr, &deadline);
            }
            joined = error == 0;
        }
        *result = joined                                   ? WAIT_OBJECT_0
                  : (error == EBUSY || error == ETIMEDOUT) ? WAIT_TIMEOUT
                                                           : WAIT_FAILED;
        return true;
    }

private:
    std::mutex waits; // one join at a time
    bool joined = false;
};

std::atomic<DWORD> g_lastThreadId{0};

// The thread holds its object until it has read its routine, so a handle closed before
// the thread ran frees nothing the thread still needs.
void* RunThread(void* argument) {
    auto* hold = static_cast<std::shared_ptr<JoinableThread>*>(argument);
    LPTHREAD_START_ROUTINE start = (*hold)->start;
    LPVOID parameter = (*hold)->parameter;
    delete hold;
    start(parameter);
    return nullptr;
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId) {
    if (attributes != nullptr || start == nullptr ||
        (flags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    pthread_attr_t options;
    if (pthread_attr_init(&options) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bool usable = true;
    if (stackSize != 0) {
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        size_t size = stackSize < minimum ? minimum : stackSize;
        usable = size <= SIZE_MAX - page &&
                 pthread_attr_setstacksize(&options, (size + page - 1) / page * page) == 0;
    }
    std::shared_ptr<JoinableThread> object;
    if (usable)
        object = std::shared_ptr<JoinableThread>(new (std::nothrow) JoinableThread);
    HANDLE handle = nullptr;
    if (object) {
        object->start = start;
        object->parameter = parameter;
        // The handle exists before the thread, so the thread's object outlives it whatever
        // the handle's owner does; the object holds the thread's pthread_t only once
        // pthread_create has written it.
        auto* hold = new (std::nothrow) std::shared_ptr<JoinableThread>(object);
        handle = hold != nullptr ? compat::InsertHandle(object) : nullptr;
        // The handle's entry exists before the thread and `started` is set before anyone
        // can wait, since the handle is not handed out yet.
        if (handle != nullptr &&
            compat::CreatePthread(&object->thread, &options, RunThread, hold) == 0) {
            object->started = true;
        } else {
            delete hold;
            if (handle != nullptr)
                CloseHandle(handle);
            handle = nullptr;
        }
    }
    pthread_attr_destroy(&options);
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId != nullptr)
        *threadId = ++g_lastThreadId;
    return handle;
}

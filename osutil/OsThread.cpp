#include "osutil/OsThread.h"

#include <atomic>
#include <ctime>

namespace {

constexpr DWORD kStopPollMilliseconds = 100;
constexpr DWORD kThreadNamingException = 0x406D1388;

DWORD LoadState(DWORD* state) {
    return __atomic_load_n(state, __ATOMIC_ACQUIRE);
}

void StoreState(DWORD* state, DWORD value) {
    __atomic_store_n(state, value, __ATOMIC_RELEASE);
}

// The record a debugger reads from the naming exception's three arguments.
struct ThreadNameInfo {
    DWORD type;       // always 0x1000
    const char* name; // the new name
    DWORD threadId;   // the thread to name
    DWORD flags;      // reserved, 0
};
static_assert(sizeof(ThreadNameInfo) == 3 * sizeof(ULONG_PTR),
              "the naming record fills the exception's three arguments");

// Without a debugger nobody else handles the naming exception; execution goes on after
// the raise. Every other exception is left to the handlers after this one.
LONG CALLBACK ContinueAfterThreadName(PEXCEPTION_POINTERS exception) {
    return exception->ExceptionRecord->ExceptionCode == kThreadNamingException
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

std::atomic<int64_t> clockStart{0};

} // namespace

int StartThread(HANDLE* threadHandle, OsThreadFunction function, unsigned stackSize,
                void* argument) {
    std::uintptr_t handle = _beginthreadex(nullptr, stackSize, function, argument, 0, nullptr);
    if (handle == 0)
        return 0;
    if (threadHandle != nullptr)
        *threadHandle = reinterpret_cast<HANDLE>(handle);
    else
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    return 1;
}

int StartThreadOnce(HANDLE* threadHandle, DWORD* state, OsThreadFunction function, void* argument) {
    if (state == nullptr)
        return StartThread(threadHandle, function, 0, argument);
    DWORD expected = kThreadNotRunning;
    if (!__atomic_compare_exchange_n(state, &expected, kThreadRunning, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE))
        return 1;
    if (!StartThread(threadHandle, function, 0, argument)) {
        StoreState(state, kThreadNotRunning);
        return 0;
    }
    return 1;
}

int StopThread(DWORD* state, DWORD count, OsStopCallback stopCallback, void* userContext) {
    if (state == nullptr)
        return 1;
    if (LoadState(state) != kThreadNotRunning) {
        StoreState(state, kThreadStopRequested);
        if (stopCallback != nullptr)
            stopCallback(userContext, state);
    }
    DWORD rounds = count != 0 ? count : 0xFFFFFFFF;
    for (DWORD round = 0; round < rounds && LoadState(state) == kThreadStopRequested; ++round)
        Sleep(kStopPollMilliseconds);
    return LoadState(state) != kThreadStopRequested ? 1 : 0;
}

int SetThreadName(const char* name) {
    ThreadNameInfo info = {0x1000, name, GetCurrentThreadId(), 0};
    // The handler lives only around the raise: a library may be unloaded, and a handler
    // left behind would then point into nothing.
    PVOID handler = AddVectoredExceptionHandler(1, ContinueAfterThreadName);
    if (handler == nullptr)
        return 1; // raising without a handler would end the process
    RaiseException(kThreadNamingException, 0, sizeof(info) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
    RemoveVectoredExceptionHandler(handler);
    return 1;
}

void SleepMs(DWORD milliseconds) {
    Sleep(milliseconds);
}

void StartElapsedClock() {
    int64_t expected = 0;
    clockStart.compare_exchange_strong(expected, static_cast<int64_t>(std::time(nullptr)));
}

int64_t ElapsedSeconds() {
    StartElapsedClock();
    return static_cast<int64_t>(std::time(nullptr)) - clockStart.load();
}

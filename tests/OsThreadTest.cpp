// Threads: starting (once) and stopping over the state word, thread names, sleeping and
// the elapsed-seconds clock.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsThread.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

constexpr DWORD kLongWaitMs = 30000;
const std::time_t testsStarted = std::time(nullptr);

DWORD LoadState(DWORD* state) {
    return __atomic_load_n(state, __ATOMIC_ACQUIRE);
}

// A worker that runs until its gate opens, then marks its state word stopped.
struct Worker {
    Worker() : gate(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Worker() { CloseHandle(gate); }
    static unsigned Run(void* argument) {
        auto* worker = static_cast<Worker*>(argument);
        worker->starts.fetch_add(1);
        WaitForSingleObject(worker->gate, kLongWaitMs);
        __atomic_store_n(&worker->state, kThreadNotRunning, __ATOMIC_RELEASE);
        return 7;
    }
    HANDLE gate;
    DWORD state = kThreadNotRunning;
    std::atomic<int> starts{0};
};

void Join(HANDLE thread) {
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, kLongWaitMs));
    CloseHandle(thread);
}

TEST(OsThread, StartThreadRunsTheFunctionWithItsStack) {
    const unsigned stackSizes[] = {0, 64 * 1024, 1024 * 1024};
    FOR_EACH_CASE(stackSize, stackSizes) {
        Worker worker;
        SetEvent(worker.gate);
        HANDLE thread = nullptr;
        ASSERT_EQ(1, StartThread(&thread, Worker::Run, stackSize, &worker));
        ASSERT_NE(nullptr, thread);
        EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, kLongWaitMs));
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(7u, code);
        EXPECT_EQ(1, worker.starts.load());
        CloseHandle(thread);
    }
}

TEST(OsThread, StartThreadOnceStartsOneThread) {
    Worker worker;
    HANDLE first = nullptr;
    ASSERT_EQ(1, StartThreadOnce(&first, &worker.state, Worker::Run, &worker));
    EXPECT_EQ(kThreadRunning, LoadState(&worker.state));
    HANDLE second = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(1, StartThreadOnce(&second, &worker.state, Worker::Run, &worker));
    EXPECT_EQ(reinterpret_cast<HANDLE>(0x1234), second) << "no new handle";
    SetEvent(worker.gate);
    Join(first);
    EXPECT_EQ(1, worker.starts.load());

    // Once stopped, the word allows a new start.
    ASSERT_EQ(1, StartThreadOnce(&first, &worker.state, Worker::Run, &worker));
    Join(first);
    EXPECT_EQ(2, worker.starts.load());
}

TEST(OsThread, StartThreadOnceRacingCallersStartOne) {
    Worker worker;
    std::vector<HANDLE> handles(4, nullptr);
    std::vector<std::thread> callers;
    for (auto& handle : handles)
        callers.emplace_back([&worker, &handle] {
            EXPECT_EQ(1, StartThreadOnce(&handle, &worker.state, Worker::Run, &worker));
        });
    for (auto& caller : callers)
        caller.join();
    SetEvent(worker.gate);
    int started = 0;
    for (HANDLE handle : handles) {
        if (handle != nullptr) {
            ++started;
            Join(handle);
        }
    }
    EXPECT_EQ(1, started);
    EXPECT_EQ(1, worker.starts.load());
}

TEST(OsThread, StartThreadOnceWithoutStateWordStartsEachTime) {
    Worker worker;
    SetEvent(worker.gate);
    HANDLE threads[2] = {};
    ASSERT_EQ(1, StartThreadOnce(&threads[0], nullptr, Worker::Run, &worker));
    ASSERT_EQ(1, StartThreadOnce(&threads[1], nullptr, Worker::Run, &worker));
    Join(threads[0]);
    Join(threads[1]);
    EXPECT_EQ(2, worker.starts.load());
}

struct StopCall {
    void* context = nullptr;
    DWORD* state = nullptr;
    DWORD stateSeen = 0;
    int calls = 0;
};

void RecordStop(void* context, DWORD* state) {
    auto* call = static_cast<StopCall*>(context);
    call->context = context;
    call->state = state;
    call->stateSeen = LoadState(state);
    ++call->calls;
}

TEST(OsThread, StopThreadGivesUpAfterItsRoundsWhenTheThreadNeverStops) {
    Worker worker;
    HANDLE thread = nullptr;
    ASSERT_EQ(1, StartThreadOnce(&thread, &worker.state, Worker::Run, &worker));
    StopCall call;
    EXPECT_EQ(0, StopThread(&worker.state, 2, RecordStop, &call));
    EXPECT_EQ(kThreadStopRequested, LoadState(&worker.state));
    EXPECT_EQ(1, call.calls);
    EXPECT_EQ(&call, call.context);
    EXPECT_EQ(&worker.state, call.state);
    EXPECT_EQ(kThreadStopRequested, call.stateSeen);
    SetEvent(worker.gate);
    Join(thread);
}

// Stops a few rounds after it is asked to.
unsigned StopsLate(void* argument) {
    auto* state = static_cast<DWORD*>(argument);
    while (LoadState(state) != kThreadStopRequested)
        Sleep(1);
    Sleep(150);
    __atomic_store_n(state, kThreadNotRunning, __ATOMIC_RELEASE);
    return 0;
}

TEST(OsThread, StopThreadWaitsForTheThread) {
    const DWORD counts[] = {0, 50}; // 0: without limit
    FOR_EACH_CASE(count, counts) {
        DWORD state = kThreadNotRunning;
        HANDLE thread = nullptr;
        ASSERT_EQ(1, StartThreadOnce(&thread, &state, StopsLate, &state));
        EXPECT_EQ(1, StopThread(&state, count, nullptr, nullptr));
        EXPECT_EQ(kThreadNotRunning, LoadState(&state));
        Join(thread);
    }
}

TEST(OsThread, StopThreadWithNothingRunning) {
    StopCall call;
    DWORD state = kThreadNotRunning;
    EXPECT_EQ(1, StopThread(&state, 1, RecordStop, &call));
    EXPECT_EQ(kThreadNotRunning, state);
    EXPECT_EQ(0, call.calls);
    EXPECT_EQ(1, StopThread(nullptr, 1, RecordStop, &call));
    EXPECT_EQ(0, call.calls);
    // A callback that stops the thread itself ends the wait before any round.
    state = kThreadRunning;
    EXPECT_EQ(1, StopThread(
                     &state, 1,
                     [](void*, DWORD* word) { __atomic_store_n(word, 0u, __ATOMIC_RELEASE); },
                     nullptr));
}

TEST(OsThread, SetThreadNameIsCaughtAndNamesTheThread) {
    struct Case {
        const char* name;
        const char* seen; // what the platform's own thread name reads back (without Windows)
    };
    const Case cases[] = {{"kiv-worker", "kiv-worker"},
                          {"kiv-a-rather-long-thread-name", "kiv-a-rather-lo"}};
    FOR_EACH_CASE(c, cases) {
        std::string seen;
        std::thread([&] {
            EXPECT_EQ(1, SetThreadName(c.name));
#ifndef _WIN32
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof(name));
            seen = name;
#else
            seen = c.seen;
#endif
        }).join();
        EXPECT_EQ(c.seen, seen);
    }
}

TEST(OsThread, ElapsedSecondsCountFromTheFirstUse) {
    StartElapsedClock();
    int64_t elapsed = ElapsedSeconds();
    EXPECT_GE(elapsed, 0);
    EXPECT_LE(elapsed, static_cast<int64_t>(std::time(nullptr) - testsStarted));
    SleepMs(1);
    EXPECT_GE(ElapsedSeconds(), elapsed);
}

} // namespace

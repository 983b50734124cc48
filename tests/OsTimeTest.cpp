// Time conversions, version calls and threads, in both builds. Version requests are built
// from the numbers GetVersionExA reports, so that they hold on any host.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "compat/win32.h"
#include "osutil/OsThread.h"
#include "osutil/OsTime.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

// UnixToSystemTime against the C library, SystemTimeToUnix as its inverse.
TEST(OsTime, EveryDayFrom1970To2099RoundTrips) {
    for (std::uint32_t day = 0; day < 47482; ++day) { // 2100-01-01 is day 47482
        std::uint32_t seconds = day * 86400 + (day * 7919) % 86400;
        SYSTEMTIME t;
        std::memset(&t, 0xA5, sizeof(t));
        ASSERT_EQ(1, UnixToSystemTime(seconds, &t));
        std::time_t asTime = static_cast<std::time_t>(seconds);
        std::tm e = *std::gmtime(&asTime);
        ASSERT_EQ((std::vector<int>{e.tm_year + 1900, e.tm_mon + 1, e.tm_mday, e.tm_wday, e.tm_hour,
                                    e.tm_min, e.tm_sec, 0}),
                  (std::vector<int>{t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour, t.wMinute,
                                    t.wSecond, t.wMilliseconds}))
            << seconds;
        ASSERT_EQ(seconds, SystemTimeToUnix(&t));
    }
    const SYSTEMTIME noSuchMonth[] = {{2024, 13, 0, 1, 0, 0, 0, 0}, {2024, 0, 0, 1, 0, 0, 0, 0}};
    FOR_EACH_CASE(t, noSuchMonth) {
        EXPECT_EQ(0u, SystemTimeToUnix(&t));
    }
}

TEST(OsTime, FileTimesLeapYearsAndVersionCheck) {
    const std::uint64_t epoch = 116444736000000000ULL, second = 10000000;
    const std::pair<std::uint64_t, std::int64_t> ticks[] = {
        // ticks since 1601, seconds since 1970: cut to whole seconds, rounding down
        {epoch, 0},
        {epoch + second - 1, 0},
        {epoch + second, 1},
        {epoch - 1, -1},
        {0, -11644473600},                         // 1601-01-01
        {epoch + 4295053696 * second, 4295053696}, // 2106-02-08, beyond 32 bits
        {~0ULL, 1844674407370 - 11644473600},      // the last file time
    };
    FOR_EACH_CASE(c, ticks) {
        FILETIME time = {static_cast<DWORD>(c.first), static_cast<DWORD>(c.first >> 32)};
        EXPECT_EQ(c.second, FileTimeToUnix(&time));
    }
    EXPECT_EQ(0, FileTimeToUnix(nullptr));
    for (auto [year, leap] : {std::pair{1600u, 1}, {1900u, 0}, {2000u, 1}, {2100u, 0}})
        EXPECT_EQ(leap, IsLeapYear(year)) << year;

    OSVERSIONINFOEXA host = {};
    host.dwOSVersionInfoSize = sizeof(host);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&host)));
    const std::uint32_t major = host.dwMajorVersion, minor = host.dwMinorVersion,
                        servicePack = host.wServicePackMajor;
    const std::uint32_t cases[][4] = {
        // major, minor, service pack, expected
        {major, minor, servicePack, 1}, {major, minor, servicePack + 1, 0},
        {major, minor + 1, 0, 0},       {major + 1, 0, 0, 0},
        {major - 1, minor + 9, 99, 1},  {major, minor - (minor > 0), 0, 1},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(int(c[3]), IsOsVersionAtLeast(c[0], c[1], c[2]));
    }
}

constexpr DWORD kLongWaitMs = 30000;
const std::time_t testsStarted = std::time(nullptr); // the clock may start before this test

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

DWORD Join(HANDLE thread) {
    DWORD code = 0;
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, kLongWaitMs));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

// Callers that race start one thread; a second call while it runs starts none.
TEST(OsThread, StartThreadOnceStartsOneThread) {
    Worker worker;
    std::vector<HANDLE> handles(4, nullptr);
    std::vector<std::thread> callers;
    for (auto& handle : handles)
        callers.emplace_back([&worker, &handle] {
            EXPECT_EQ(1, StartThreadOnce(&handle, &worker.state, Worker::Run, &worker));
        });
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(kThreadRunning, LoadState(&worker.state));
    HANDLE second = reinterpret_cast<HANDLE>(0x1234), third = nullptr;
    EXPECT_EQ(1, StartThreadOnce(&second, &worker.state, Worker::Run, &worker));
    EXPECT_EQ(reinterpret_cast<HANDLE>(0x1234), second) << "no new handle";
    SetEvent(worker.gate);
    EXPECT_EQ(1, std::count_if(handles.begin(), handles.end(),
                               [](HANDLE h) { return h != nullptr && Join(h) == 7; }));
    // Once stopped, the word allows a new start; without a word each call starts one.
    ASSERT_EQ(1, StartThreadOnce(&handles[0], &worker.state, Worker::Run, &worker));
    ASSERT_EQ(1, StartThreadOnce(&second, nullptr, Worker::Run, &worker));
    ASSERT_EQ(1, StartThread(&third, Worker::Run, 64 * 1024, &worker));
    for (HANDLE thread : {handles[0], second, third})
        EXPECT_EQ(7u, Join(thread));
    EXPECT_EQ(4, worker.starts.load());
}

// Notes each call in the text its context points to, with the word's value then.
void RecordStop(void* context, DWORD* state) {
    *static_cast<std::string*>(context) += "stop " + std::to_string(LoadState(state)) + ";";
}

// Stops a while after it is asked to.
unsigned StopsLate(void* argument) {
    auto* state = static_cast<DWORD*>(argument);
    while (LoadState(state) != kThreadStopRequested)
        Sleep(1);
    Sleep(150);
    __atomic_store_n(state, kThreadNotRunning, __ATOMIC_RELEASE);
    return 0;
}

TEST(OsThread, StopThread) {
    Worker worker;
    HANDLE thread = nullptr;
    ASSERT_EQ(1, StartThreadOnce(&thread, &worker.state, Worker::Run, &worker));
    std::string calls;
    EXPECT_EQ(0, StopThread(&worker.state, 2, RecordStop, &calls)) << "gives up after 2 rounds";
    EXPECT_EQ(kThreadStopRequested, LoadState(&worker.state));
    SetEvent(worker.gate);
    Join(thread);
    for (DWORD rounds : {0u, 50u}) { // 0: without limit
        DWORD state = kThreadNotRunning;
        ASSERT_EQ(1, StartThreadOnce(&thread, &state, StopsLate, &state));
        EXPECT_EQ(1, StopThread(&state, rounds, nullptr, nullptr));
        EXPECT_EQ(kThreadNotRunning, LoadState(&state));
        Join(thread);
    }
    DWORD state = kThreadNotRunning;
    EXPECT_EQ(2, StopThread(&state, 1, RecordStop, &calls) +
                     StopThread(nullptr, 1, RecordStop, &calls));
    EXPECT_EQ(kThreadNotRunning, state);
    EXPECT_EQ("stop 3;", calls) << "nothing running, no callback";
    // A callback that stops the thread itself ends the wait before any round.
    state = kThreadRunning;
    auto stopsItself = [](void*, DWORD* word) { __atomic_store_n(word, 0u, __ATOMIC_RELEASE); };
    EXPECT_EQ(1, StopThread(&state, 1, stopsItself, nullptr));
}

TEST(OsThread, SetThreadNameAndElapsedSeconds) {
    const char* const cases[][2] = {{"kiv-worker", "kiv-worker"},
                                    {"kiv-a-rather-long-thread-name", "kiv-a-rather-lo"}};
    FOR_EACH_CASE(c, cases) {
        std::string seen = c[1]; // what the platform's own thread name reads back
        std::thread([&] {
            EXPECT_EQ(1, SetThreadName(c[0]));
#ifndef _WIN32
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof(name));
            seen = name;
#endif
        }).join();
        EXPECT_EQ(c[1], seen);
    }
    StartElapsedClock();
    SleepMs(1);
    const int64_t elapsed = ElapsedSeconds();
    EXPECT_TRUE(elapsed >= 0 && elapsed <= std::time(nullptr) - testsStarted) << elapsed;
}

} // namespace

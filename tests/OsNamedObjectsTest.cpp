// Named events, mutexes and semaphores: the global name rule, create/open results, wait
// codes, and the promise that one name is one object across processes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "TestHelpers.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsProcess.h"
#include "support/ChildProcess.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr DWORD kLongWaitMs = 30000;

// What the system makes of a short name: the machine-wide namespace on Windows, the name
// itself elsewhere.
std::string ExpectedGlobalName(const std::string& name) {
#ifdef _WIN32
    return "Global\\" + name;
#else
    return name;
#endif
}

DWORD WaitCode(HANDLE handle, DWORD timeoutMs = 0) {
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitObject(handle, timeoutMs, &code));
    return code;
}

struct Kind {
    const char* label;
    int (*create)(HANDLE*, const char*, DWORD);
    int (*open)(HANDLE*, const char*);
    HANDLE (*rawOpen)(const char*);
};

int CreateSemaphoreOfOne(HANDLE* handle, const char* name, DWORD flags) {
    return CreateNamedSemaphore(handle, name, 1, flags);
}

const Kind kinds[] = {
    {"event", CreateNamedEvent, OpenNamedEvent,
     [](const char* name) { return OpenEventA(SYNCHRONIZE, FALSE, name); }},
    {"mutex", CreateNamedMutex, OpenNamedMutex,
     [](const char* name) { return OpenMutexA(SYNCHRONIZE, FALSE, name); }},
    {"semaphore", CreateSemaphoreOfOne, OpenNamedSemaphore,
     [](const char* name) { return OpenSemaphoreA(SYNCHRONIZE, FALSE, name); }},
};

TEST(OsNamedObjects, GlobalObjectNameRule) {
    const std::string longest(kObjectNameLimit - 1, 'n');
    const std::string tooLong(kObjectNameLimit, 'n');
    struct Case {
        const char* name;
        bool rewritten;
    };
    const Case cases[] = {{"X", true},
                          {longest.c_str(), true},
                          {tooLong.c_str(), false},
                          {"", false},
                          {nullptr, false}};
    FOR_EACH_CASE(c, cases) {
        char buffer[kObjectNameSize + 8];
        std::memset(buffer, '#', sizeof(buffer));
        const char* used = GlobalObjectName(c.name, buffer);
        if (!c.rewritten) {
            EXPECT_EQ(c.name, used) << "passed on unchanged";
            continue;
        }
        EXPECT_EQ(buffer, used);
        EXPECT_EQ(ExpectedGlobalName(c.name), std::string(used));
        EXPECT_EQ('#', buffer[kObjectNameSize]) << "stays inside 128 bytes";
    }
}

TEST(OsNamedObjects, CreatedNamesAreFoundUnderTheGlobalName) {
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.label);
        std::string shortName = UniqueObjectName(kind.label);
        std::string longName = shortName + std::string(kObjectNameLimit, 'L');
        HANDLE shortObject = nullptr, longObject = nullptr;
        ASSERT_EQ(1, kind.create(&shortObject, shortName.c_str(), 0));
        ASSERT_EQ(1, kind.create(&longObject, longName.c_str(), 0));

        HANDLE found = kind.rawOpen(ExpectedGlobalName(shortName).c_str());
        EXPECT_NE(nullptr, found);
        CloseHandle(found);
#ifdef _WIN32
        EXPECT_EQ(nullptr, kind.rawOpen(shortName.c_str())) << "the session name is another";
#endif
        found = kind.rawOpen(longName.c_str());
        EXPECT_NE(nullptr, found) << "a long name is used unchanged";
        CloseHandle(found);
        CloseHandle(shortObject);
        CloseHandle(longObject);
    }
}

TEST(OsNamedObjects, CreateOpenAndNameLifetime) {
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.label);
        std::string name = UniqueObjectName(kind.label);
        HANDLE opened = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_EQ(0, kind.open(&opened, name.c_str()));
        EXPECT_EQ(nullptr, opened);
        EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());

        HANDLE first = nullptr, second = nullptr;
        ASSERT_EQ(1, kind.create(&first, name.c_str(), 0));
        EXPECT_EQ(DWORD(ERROR_SUCCESS), GetLastError());
        ASSERT_EQ(1, kind.create(&second, name.c_str(), kNamedObjectOpenToEveryone));
        EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
        EXPECT_EQ(1, kind.open(&opened, name.c_str()));
        for (const Kind& other : kinds) {
            HANDLE wrong = reinterpret_cast<HANDLE>(0x1234);
            if (&other != &kind) {
                EXPECT_EQ(0, other.open(&wrong, name.c_str())) << other.label;
                EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
            }
        }
        CloseHandle(opened);
        CloseHandle(first);
        CloseHandle(second);
        EXPECT_EQ(0, kind.open(&opened, name.c_str())) << "the name goes with its last handle";
    }
}

TEST(OsNamedObjects, EventWaitCodes) {
    HANDLE event = nullptr;
    ASSERT_EQ(1, CreateNamedEvent(&event, UniqueObjectName("event").c_str(), 0));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitCode(event)) << "initially not signalled";
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(event));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitCode(event)) << "auto-reset";
    CloseHandle(event);
}

TEST(OsNamedObjects, SemaphoreWaitCodesAndMaximumOfOne) {
    const LONG initialCounts[] = {0, 1};
    FOR_EACH_CASE(initial, initialCounts) {
        HANDLE semaphore = nullptr;
        ASSERT_EQ(1, CreateNamedSemaphore(&semaphore, UniqueObjectName("sem").c_str(), initial, 0));
        if (initial == 1) {
            EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(semaphore));
        }
        EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitCode(semaphore));
        LONG previous = -1;
        EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
        EXPECT_EQ(0, previous);
        EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, nullptr)) << "the maximum count is 1";
        EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(semaphore));
        CloseHandle(semaphore);
    }
    HANDLE refused = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(0, CreateNamedSemaphore(&refused, UniqueObjectName("sem").c_str(), 2, 0));
    EXPECT_EQ(nullptr, refused);
}

TEST(OsNamedObjects, MutexBelongsToOneThreadAndCountsItsTakes) {
    HANDLE mutex = nullptr;
    ASSERT_EQ(1, CreateNamedMutex(&mutex, UniqueObjectName("mutex").c_str(), 0));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(mutex)) << "not initially owned";
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(mutex)) << "taken again by its owner";
    DWORD otherThread = kSentinel;
    std::thread([&] { WaitObject(mutex, 0, &otherThread); }).join();
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), otherThread);
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] { WaitObject(mutex, 0, &otherThread); }).join();
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), otherThread) << "still held once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    std::thread([&] {
        WaitObject(mutex, 0, &otherThread);
        ReleaseMutex(mutex);
    }).join();
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), otherThread);
    CloseHandle(mutex);
}

TEST(OsNamedObjects, WaitFailureGivesTheLastError) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    DWORD code = kSentinel;
    EXPECT_EQ(0, WaitObject(event, 0, &code));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), code);
    HANDLE handles[] = {event, event};
    code = kSentinel;
    EXPECT_EQ(0, WaitObjects(handles, 2, FALSE, 0, &code));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), code);
}

TEST(OsNamedObjects, WaitObjectsForAnyAndForAll) {
    HANDLE events[2] = {};
    ASSERT_EQ(1, CreateNamedEvent(&events[0], UniqueObjectName("any").c_str(), 0));
    ASSERT_EQ(1, CreateNamedEvent(&events[1], UniqueObjectName("any").c_str(), 0));
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitObjects(events, 2, FALSE, 0, &code));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), code);
    SetEvent(events[1]);
    EXPECT_EQ(1, WaitObjects(events, 2, FALSE, 0, &code));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0 + 1), code);

    SetEvent(events[0]);
    EXPECT_EQ(1, WaitObjects(events, 2, TRUE, 0, &code));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), code);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(events[0])) << "a failed wait for all takes none";
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(1, WaitObjects(events, 2, TRUE, 0, &code));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), code);
    EXPECT_EQ(1, WaitObjects(events, 2, FALSE, 0, &code));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), code) << "both were taken";
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(OsNamedObjects, MutexHeldByAnotherProcess) {
    std::string mutexName = UniqueObjectName("mutex");
    std::string readyName = UniqueObjectName("ready"), goName = UniqueObjectName("go");
    HANDLE mutex = nullptr, ready = nullptr, go = nullptr, process = nullptr;
    ASSERT_EQ(1, CreateNamedMutex(&mutex, mutexName.c_str(), 0));
    ASSERT_EQ(1, CreateNamedEvent(&ready, readyName.c_str(), 0));
    ASSERT_EQ(1, CreateNamedEvent(&go, goName.c_str(), 0));
    std::string command = ChildCommand("hold-mutex " + mutexName + " " + readyName + " " + goName);
    ASSERT_EQ(1, StartProcess(command.c_str(), SW_HIDE, &process));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(ready, kLongWaitMs));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitCode(mutex)) << "the child holds it";
    SetEvent(go);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(mutex, kLongWaitMs)) << "released by the child";
    ReleaseMutex(mutex);
    DWORD exitCode = kSentinel;
    WaitProcessEnd(process, &exitCode);
    EXPECT_EQ(0u, exitCode);

    std::string abandoned = ChildCommand("abandon-mutex " + mutexName);
    ASSERT_EQ(1, RunProcess(abandoned.c_str(), SW_HIDE, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(DWORD(WAIT_ABANDONED), WaitCode(mutex)) << "its owner ended holding it";
    ReleaseMutex(mutex);
    for (HANDLE handle : {mutex, ready, go})
        CloseHandle(handle);
}

TEST(OsNamedObjects, SemaphoreReleasedByAnotherProcess) {
    std::string name = UniqueObjectName("sem");
    HANDLE semaphore = nullptr;
    ASSERT_EQ(1, CreateNamedSemaphore(&semaphore, name.c_str(), 0, 0));
    DWORD exitCode = kSentinel;
    ASSERT_EQ(1, RunProcess(ChildCommand("post-semaphore " + name).c_str(), SW_HIDE, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(semaphore));
    CloseHandle(semaphore);
}

} // namespace

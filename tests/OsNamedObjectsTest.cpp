// Named objects, processes, shared memory and security attributes. A second process is this
// test executable started with "--kiv-child" and pairs of a step and its operand: it takes
// its steps before GoogleTest starts, and exits (100 or more when a step fails).
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestHelpers.h"
#include "osutil/OsFiles.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsProcess.h"
#include "osutil/OsSecurity.h"
#include "osutil/OsSharedMemory.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF, kLongWaitMs = 30000, kSize = 4096;
constexpr bool kNt = KIV_PATH_SEPARATOR == '\\'; // the Windows build
// Where the system puts a short name: the machine-wide namespace on Windows.
const std::string kGlobal = kNt ? "Global\\" : "";

bool Waited(int (*open)(HANDLE*, const char*), const char* name) {
    HANDLE handle = nullptr;
    DWORD code = kSentinel;
    return open(&handle, name) && WaitObject(handle, kLongWaitMs, &code) && code == 0;
}

// Steps: exit CODE, abort, wait-event, set-event, take-mutex (kept: the exit abandons it),
// post-semaphore, write-shm (kSize bytes, a fixed text), args FILE (the further arguments
// into FILE, one a line, then exit).
[[noreturn]] void ChildMain(const std::vector<std::string>& a) {
    for (size_t i = 2; i + 1 < a.size(); i += 2) {
        const std::string& step = a[i];
        const char* x = a[i + 1].c_str();
        HANDLE h = nullptr;
        SharedMemory memory;
        bool ok = false;
        if (step == "exit")
            std::_Exit(std::atoi(x));
        if (step == "abort")
            std::abort();
        if (step == "args") {
            std::ofstream file(x, std::ios::binary);
            for (size_t k = i + 2; k < a.size(); ++k)
                file << a[k] << '\n';
            file.close(); // _Exit would not
            std::_Exit(file ? 0 : 100 + int(i));
        }
        if (step == "wait-event")
            ok = Waited(OpenNamedEvent, x);
        else if (step == "take-mutex")
            ok = Waited(OpenNamedMutex, x);
        else if (step == "set-event")
            ok = OpenNamedEvent(&h, x) && SetEvent(h);
        else if (step == "post-semaphore")
            ok = OpenNamedSemaphore(&h, x) && ReleaseSemaphore(h, 1, nullptr);
        else if (step == "write-shm" && OpenSharedMemory(&memory, kSize, x)) {
            std::memcpy(memory.address, "from-the-child", 14);
            FlushSharedMemory(&memory, nullptr, 0);
            ok = CloseSharedMemory(&memory);
        }
        if (!ok)
            std::_Exit(100 + int(i));
    }
    std::_Exit(0);
}

// Runs before GoogleTest's main: a child never reaches it.
const bool childModeChecked = [] {
    std::vector<std::string> arguments;
#ifdef _WIN32
    arguments.assign(__argv, __argv + __argc);
#else
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    for (std::string argument; std::getline(file, argument, '\0');)
        arguments.push_back(argument);
#endif
    if (arguments.size() > 1 && arguments[1] == "--kiv-child")
        ChildMain(arguments);
    return true;
}();

// The command that starts this executable as a child taking the steps `arguments`.
std::string ChildCommand(const std::string& arguments) {
    char directory[MAX_PATH], name[MAX_PATH];
    std::uint32_t code = 0;
    EXPECT_EQ(1, GetModuleDir(directory, MAX_PATH, name, MAX_PATH, &code));
    return "\"" + std::string(directory) + KIV_PATH_SEPARATOR + name + "\" --kiv-child " +
           arguments;
}

// An object name no other test and no other test run uses.
std::string UniqueObjectName(const char* tag) {
    static int counter = 0;
    return "kivtest-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "-" +
           std::to_string(++counter);
}

DWORD RunChild(const std::string& arguments, DWORD flags = SW_HIDE) {
    DWORD code = kSentinel;
    EXPECT_EQ(1, RunProcess(ChildCommand(arguments).c_str(), flags, &code));
    return code;
}

DWORD WaitCode(HANDLE handle, DWORD timeoutMs = 0) {
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitObject(handle, timeoutMs, &code));
    return code;
}

const struct Kind {
    const char* label;
    int (*create)(HANDLE*, const char*, DWORD);
    int (*open)(HANDLE*, const char*);
    HANDLE (*rawOpen)(const char*);
} kinds[] = {
    {"event", CreateNamedEvent, OpenNamedEvent,
     [](const char* name) { return OpenEventA(SYNCHRONIZE, FALSE, name); }},
    {"mutex", CreateNamedMutex, OpenNamedMutex,
     [](const char* name) { return OpenMutexA(SYNCHRONIZE, FALSE, name); }},
    {"semaphore",
     [](HANDLE* h, const char* name, DWORD flags) {
         return CreateNamedSemaphore(h, name, 1, flags);
     },
     OpenNamedSemaphore, [](const char* name) { return OpenSemaphoreA(SYNCHRONIZE, FALSE, name); }},
};

TEST(OsNamedObjects, GlobalObjectNameRule) {
    const std::string longest(kObjectNameLimit - 1, 'n'), tooLong(kObjectNameLimit, 'n');
    const char* const names[] = {"X", longest.c_str(), tooLong.c_str(), "", nullptr};
    FOR_EACH_CASE(name, names) {
        char buffer[kObjectNameSize + 8];
        std::memset(buffer, '#', sizeof(buffer));
        const char* used = GlobalObjectName(name, buffer);
        EXPECT_EQ(caseIndex < 2 ? buffer : name, used);
        if (caseIndex < 2) {
            EXPECT_EQ(kGlobal + name, used);
            EXPECT_EQ('#', buffer[kObjectNameSize]) << "stays inside 128 bytes";
        }
    }
}

TEST(OsNamedObjects, CreateOpenAndNameLifetime) {
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.label);
        // Slashes and spaces are no path separators; 246 characters are the most the
        // stand-in's name files take.
        const std::string plain = UniqueObjectName(kind.label), name = plain + " a/b";
        const std::string longName = plain + std::string(246 - plain.size(), 'L');
        HANDLE opened = reinterpret_cast<HANDLE>(0x1234), first = nullptr, second = nullptr;
        std::string seen; // each call's result and error: 2 not found, 183 exists, 6 other kind
        auto note = [&seen](int result) {
            seen += std::to_string(result) + "/" + std::to_string(GetLastError()) + " ";
        };
        note(kind.open(&opened, name.c_str()));
        seen += opened ? "handle " : "null ";
        note(kind.create(&first, name.c_str(), 0));
        note(kind.create(&second, name.c_str(), kNamedObjectOpenToEveryone));
        seen += std::to_string(kind.open(&opened, name.c_str())) + " ";
        for (const Kind& other : kinds) {
            HANDLE wrong = nullptr;
            if (&other != &kind)
                note(other.open(&wrong, name.c_str()));
        }
        EXPECT_EQ("0/2 null 1/0 1/183 1 0/6 0/6 ", seen);
        HANDLE found = kind.rawOpen((kGlobal + name).c_str());
        EXPECT_NE(nullptr, found) << "found under the global name";
        CloseHandle(found);
        EXPECT_TRUE(!kNt || !kind.rawOpen(name.c_str())) << "the session name is another";
        HANDLE longObject = nullptr;
        ASSERT_EQ(1, kind.create(&longObject, longName.c_str(), 0));
        EXPECT_NE(nullptr, found = kind.rawOpen(longName.c_str())) << "long names unchanged";
        for (HANDLE handle : {found, longObject, opened, first, second})
            CloseHandle(handle);
        EXPECT_EQ(0, kind.open(&opened, name.c_str())) << "the name goes with its last handle";
    }
}

// One script over an auto-reset event, a semaphore of at most one and a mutex (objects e, s
// and m), and the pair of e and a second event f (x: wait for any, a: for all). Actions: w
// waits here, o on another thread (then releases a mutex it took), r releases, s sets.
TEST(OsNamedObjects, WaitCodesOfEachKind) {
    HANDLE e = nullptr, f = nullptr, s = nullptr, m = nullptr;
    ASSERT_EQ(1, CreateNamedEvent(&e, UniqueObjectName("event").c_str(), 0));
    ASSERT_EQ(1, CreateNamedEvent(&f, UniqueObjectName("event").c_str(), 0));
    ASSERT_EQ(1, CreateNamedSemaphore(&s, UniqueObjectName("sem").c_str(), 1, 0));
    ASSERT_EQ(1, CreateNamedMutex(&m, UniqueObjectName("mutex").c_str(), 0));
    const DWORD t = WAIT_TIMEOUT, none = kSentinel;
    const struct {
        char object, action;
        DWORD expected; // a wait's code, or whether a release succeeds
    } steps[] = {
        {'e', 'w', t},    {'e', 's', none}, {'e', 'w', 0}, {'e', 'w', t}, // auto-reset
        {'s', 'w', 0},    {'s', 'w', t},    {'s', 'r', 1}, {'s', 'r', 0},    {'s', 'w', 0},
        {'m', 'w', 0},    {'m', 'w', 0},    {'m', 'r', 1}, {'m', 'o', t},    {'m', 'r', 1},
        {'m', 'r', 0},    {'m', 'o', 0},    {'x', 'w', t}, {'f', 's', none}, {'x', 'w', 1},
        {'e', 's', none}, {'a', 'w', t},    {'e', 'w', 0}, // a failed wait for all takes none
        {'e', 's', none}, {'f', 's', none}, {'a', 'w', 0}, {'x', 'w', t},
    };
    HANDLE pair[] = {e, f};
    FOR_EACH_CASE(c, steps) {
        HANDLE h = c.object == 'e' ? e : c.object == 'f' ? f : c.object == 's' ? s : m;
        DWORD code = kSentinel;
        if (c.object == 'x' || c.object == 'a')
            EXPECT_EQ(1, WaitObjects(pair, 2, c.object == 'a', 0, &code));
        else if (c.action == 'w')
            code = WaitCode(h);
        else if (c.action == 'o')
            std::thread([&] {
                if (WaitObject(h, 0, &code))
                    ReleaseMutex(h);
            }).join();
        else if (c.action == 'r')
            code = h == s ? ReleaseSemaphore(s, 1, nullptr) : ReleaseMutex(m);
        else
            SetEvent(h);
        EXPECT_EQ(c.expected, code);
    }
    for (HANDLE handle : {e, f, s, m})
        CloseHandle(handle);
    HANDLE refused = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(0, CreateNamedSemaphore(&refused, UniqueObjectName("sem").c_str(), 2, 0));
    EXPECT_EQ(nullptr, refused) << "the maximum count is 1";

    // A failed wait gives the last error.
    HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr), handles[] = {closed, closed};
    ASSERT_TRUE(CloseHandle(closed));
    DWORD one = kSentinel, both = kSentinel;
    EXPECT_EQ(0, WaitObject(closed, 0, &one) + WaitObjects(handles, 2, FALSE, 0, &both));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), one);
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), both);
}

// An abandoned mutex and a released semaphore: one name is one object across processes.
TEST(OsNamedObjects, ObjectsSharedWithAnotherProcess) {
    std::string mutexName = UniqueObjectName("mutex"), semaphoreName = UniqueObjectName("sem");
    HANDLE mutex = nullptr, semaphore = nullptr;
    ASSERT_EQ(1, CreateNamedMutex(&mutex, mutexName.c_str(), 0));
    ASSERT_EQ(1, CreateNamedSemaphore(&semaphore, semaphoreName.c_str(), 0, 0));
    EXPECT_EQ(0u, RunChild("take-mutex " + mutexName + " post-semaphore " + semaphoreName));
    EXPECT_EQ(DWORD(WAIT_ABANDONED), WaitCode(mutex)) << "its owner ended holding it";
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(semaphore));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    CloseHandle(semaphore);
}

// The child blocks on an event until the test lets it go, so "running" is certain.
TEST(OsProcess, RunningUntilReleasedThenEndsWithItsCode) {
    for (DWORD code : {0u, 7u, 255u})
        EXPECT_EQ(code, RunChild("exit " + std::to_string(code), 0));
    EXPECT_EQ(3u, RunChild("abort x", 0)) << "as abort() ends a Windows program";
    const std::string go = UniqueObjectName("go"), done = UniqueObjectName("done");
    const std::string relay = "wait-event " + go + " set-event " + done + " exit ";
    HANDLE goEvent = nullptr, doneEvent = nullptr, process = nullptr;
    ASSERT_EQ(1, CreateNamedEvent(&goEvent, go.c_str(), 0));
    ASSERT_EQ(1, CreateNamedEvent(&doneEvent, done.c_str(), 0));
    ASSERT_EQ(1, StartProcess(ChildCommand(relay + "42").c_str(), SW_HIDE, &process));
    EXPECT_EQ(1, IsProcessRunning(process));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitCode(doneEvent));
    ASSERT_TRUE(SetEvent(goEvent));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(doneEvent, kLongWaitMs));
    DWORD exitCode = kSentinel;
    EXPECT_EQ(1, WaitProcessEnd(process, &exitCode));
    EXPECT_EQ(42u, exitCode);
    // Without waiting: the child cannot end before the event is set, so a wait would hang.
    EXPECT_EQ(kSentinel, RunChild(relay + "3", kRunProcessNoWait | SW_HIDE));
    ASSERT_TRUE(SetEvent(goEvent));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitCode(doneEvent, kLongWaitMs));
    CloseHandle(goEvent);
    CloseHandle(doneEvent);
}

// What the child sees of each command line, its arguments joined by '|'.
TEST(OsProcess, CommandLineIsSplitByTheWindowsRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"a b\tc", "a|b|c|"},        {"  spaced   out  ", "spaced|out|"}, {"\"a b\" c", "a b|c|"},
        {"x\"y z\"w", "xy zw|"},     {"a\\b c\\\\d", "a\\b|c\\\\d|"},     {"\"a\\\"b\"", "a\"b|"},
        {"a\\\\\"b c\"", "a\\b c|"}, {"a\\\\\\\"b", "a\\\"b|"},           {"\"\" x", "|x|"},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile output("kiv_args");
        ASSERT_EQ(0u, RunChild(std::string("args \"") + output.c_str() + "\" " + c.first, 0));
        std::string seen = output.Read();
        std::replace(seen.begin(), seen.end(), '\n', '|');
        EXPECT_EQ(c.second, seen);
    }
}

TEST(OsProcess, StartFailuresGiveZero) {
    const char* commands[] = {"kiv-no-such-program-4711", "\"/kiv/no/such/dir/program\" x", ""};
    FOR_EACH_CASE(command, commands) {
        HANDLE process = reinterpret_cast<HANDLE>(0x1234);
        DWORD code = kSentinel;
        EXPECT_EQ(0, StartProcess(command, 0, &process) + RunProcess(command, 0, &code));
        EXPECT_EQ(kSentinel, code);
    }
    EXPECT_EQ(0, StartProcess(nullptr, 0, nullptr) + RunProcess(nullptr, 0, nullptr));
    // A handle that is not a process fails the poll: the wait ends at once, handle closed.
    HANDLE notAProcess = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(0, IsProcessRunning(notAProcess));
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitProcessEnd(notAProcess, &code));
    EXPECT_EQ(kSentinel, code);
    EXPECT_FALSE(CloseHandle(notAProcess)) << "WaitProcessEnd closed it";
}

std::string Bytes(const SharedMemory& memory, size_t offset, size_t length) {
    return std::string(static_cast<const char*>(memory.address) + offset, length);
}

// A record as "created/lastError/backing/bytes mapped", the backing "paging", "file" or "none".
std::string Record(const SharedMemory& m) {
    const char* backing = m.file != INVALID_HANDLE_VALUE ? "file" : m.mapping ? "paging" : "none";
    return std::to_string(m.created) + "/" + std::to_string(m.lastError) + "/" + backing + "/" +
           std::to_string(m.address ? m.size : 0) + " ";
}

TEST(OsSharedMemory, SecondCreateOpensTheFirstOnesMapping) {
    std::string name = UniqueObjectName("shm");
    SharedMemory first, second, larger, gone;
    ASSERT_EQ(1, CreateSharedMemory(&first, kSize, nullptr, name.c_str(), 0));
    std::memcpy(first.address, "first", 5);
    ASSERT_EQ(
        1, CreateSharedMemory(&second, kSize, nullptr, name.c_str(), kSharedMemoryOpenToEveryone));
    std::memcpy(static_cast<char*>(second.address) + kSize - 6, "second", 6);
    EXPECT_EQ(1, FlushSharedMemory(&second, second.address, kSize));
    // The first create's open failed; the second found the first one's mapping.
    EXPECT_EQ("1/2/paging/4096 0/0/paging/4096 first second", Record(first) + Record(second) +
                                                                  Bytes(second, 0, 5) + " " +
                                                                  Bytes(first, kSize - 6, 6));
    EXPECT_EQ(0, OpenSharedMemory(&larger, 4 * kSize, name.c_str())) << "a view beyond the end";
    EXPECT_TRUE(larger.lastError != 0 && larger.mapping == nullptr);
    std::memset(first.address, 0, kSize);
    EXPECT_EQ(0u, RunChild("write-shm " + name));
    EXPECT_EQ(std::string("from-the-child"), static_cast<char*>(first.address));
    EXPECT_EQ(2, CloseSharedMemory(&first) + CloseSharedMemory(&second));
    EXPECT_EQ(0, OpenSharedMemory(&gone, kSize, name.c_str()) + CloseSharedMemory(nullptr));
    EXPECT_EQ("0/0/none/0 0/2/none/0 ", Record(first) + Record(gone))
        << "gone with its last handle";
}

TEST(OsSharedMemory, BackingFiles) {
    for (bool fileExists : {false, true}) {
        SCOPED_TRACE(fileExists);
        TempFile backing("kiv_shm");
        if (fileExists)
            backing.Write("kept");
        SharedMemory memory, opened;
        std::string name = UniqueObjectName("shmfile");
        ASSERT_EQ(1, CreateSharedMemory(&memory, kSize, backing.c_str(), name.c_str(), 0));
        // The mapping's open failed.
        EXPECT_EQ(fileExists ? "0/2/file/4096 " : "1/2/file/4096 ", Record(memory));
        std::memcpy(static_cast<char*>(memory.address) + 4, "+new", 4);
        EXPECT_EQ(1, FlushSharedMemory(&memory, nullptr, 0));
        ASSERT_EQ(1, OpenSharedMemory(&opened, kSize, name.c_str()));
        EXPECT_EQ("+new", Bytes(opened, 4, 4));
        EXPECT_EQ(2, CloseSharedMemory(&opened) + CloseSharedMemory(&memory));
        std::string kept = fileExists ? "kept" : std::string(4, '\0');
        EXPECT_EQ(kept + "+new" + std::string(kSize - 8, '\0'), backing.Read());
    }
    auto directory = std::filesystem::temp_directory_path();
    const std::pair<std::string, const char*> unopenable[] = {
        {(directory / "kiv-no-such-dir-4711" / "file").string(), "3/none/0 "},
        {directory.string(), "5/none/0 "}};
    FOR_EACH_CASE(c, unopenable) {
        SharedMemory memory;
        EXPECT_EQ(0, CreateSharedMemory(&memory, kSize, c.first.c_str(),
                                        UniqueObjectName("shmbad").c_str(), 0));
        EXPECT_EQ(c.second, Record(memory).substr(2));
    }
}

// The ACL's entries as "type/mask/SID" texts, the SID's bytes in hex: S-1-1-0 (world) is
// 010100000000000100000000.
std::string Entries(PACL acl) {
    std::string text;
    void* entry = nullptr;
    for (DWORD i = 0; i < acl->AceCount && GetAce(acl, i, &entry); ++i) {
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        const BYTE* sid = reinterpret_cast<const BYTE*>(&allowed->SidStart);
        text += std::to_string(allowed->Header.AceType) + "/" + std::to_string(allowed->Mask) + "/";
        for (int k = 0; k < 8 + 4 * sid[1]; ++k)
            text += {"0123456789ABCDEF"[sid[k] >> 4], "0123456789ABCDEF"[sid[k] & 15]};
        text += " ";
    }
    return text;
}

const char kWorldEntry[] = "0/4026531840/010100000000000100000000 ";

TEST(OsSecurity, AclSizeRuleAndEntries) {
    const DWORD cases[][4] = {// entries, size given, result, size needed
                              {2, 56, 1, 56}, {2, 64, 1, 56}, {2, 55, 0, 56}, {1, 32, 1, 32},
                              {1, 0, 0, 32},  {0, 8, 1, 8},   {3, 79, 0, 80}};
    FOR_EACH_CASE(c, cases) {
        alignas(DWORD) BYTE buffer[128];
        std::memset(buffer, 0xA5, sizeof(buffer));
        DWORD size = c[1];
        EXPECT_EQ(int(c[2]), InitAcl(reinterpret_cast<PACL>(buffer), &size, c[0]));
        EXPECT_EQ(c[3], size);
        EXPECT_TRUE(c[2] || buffer[0] == 0xA5) << "a refused ACL is not touched";
    }
    DWORD size = 0;
    EXPECT_EQ(0, InitAcl(nullptr, &size, 2) + InitAcl(nullptr, nullptr, 2));
    EXPECT_EQ(56u, size);

    alignas(DWORD) BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    size = sizeof(buffer);
    ASSERT_EQ(1, InitAcl(acl, &size, 1));
    PSID world = WorldSid(), owner = CreatorOwnerSid();
    EXPECT_EQ(1, AddAllowedAce(acl, kGenericAllAccess, world));
    EXPECT_EQ(0, AddAllowedAce(acl, kGenericAllAccess, owner)) << "room for one entry only";
    EXPECT_EQ(kWorldEntry, Entries(acl));
    std::free(world);
    std::free(owner);
}

// Built once, also by threads meeting at the first use. Without NT both are null; on NT: a
// null DACL, and one that allows everyone, then System.
TEST(OsSecurity, AttributesBuiltOnceReadBack) {
    SECURITY_ATTRIBUTES* seen[4][2] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] {
            slot[0] = OpenToEveryoneAttributes();
            slot[1] = SystemAndEveryoneAttributes();
        });
    for (auto& thread : threads)
        thread.join();
    SECURITY_ATTRIBUTES* const both[] = {OpenToEveryoneAttributes(), SystemAndEveryoneAttributes()};
    for (auto& slot : seen)
        EXPECT_TRUE(slot[0] == both[0] && slot[1] == both[1]);
    FOR_EACH_CASE(attributes, both) {
        if (!kNt) {
            EXPECT_EQ(nullptr, attributes);
            continue;
        }
        ASSERT_NE(nullptr, attributes);
        EXPECT_TRUE(attributes->nLength == 24 && attributes->bInheritHandle);
        BOOL present = FALSE, defaulted = TRUE;
        PACL dacl = reinterpret_cast<PACL>(1);
        ASSERT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl,
                                              &defaulted));
        EXPECT_TRUE(present);
        if (caseIndex == 0) {
            EXPECT_EQ(nullptr, dacl);
            continue;
        }
        ASSERT_NE(nullptr, dacl);
        EXPECT_TRUE(!defaulted && dacl->AclRevision == ACL_REVISION && dacl->AclSize <= 64);
        EXPECT_EQ(kWorldEntry + std::string("0/4026531840/010100000000000512000000 "),
                  Entries(dacl));
    }
}

} // namespace

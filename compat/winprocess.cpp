#include "compat/winprocess.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <list>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "compat/kernelobject.h"

extern char** environ;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The argument vector Windows programs see for a command line (the rules of the C
// runtime's start-up code; the program name has no escapes).
std::vector<std::string> SplitCommandLine(const char* line) {
    std::vector<std::string> words;
    while (IsBlank(*line))
        ++line;
    std::string program;
    if (*line == '"') {
        for (++line; *line != '\0' && *line != '"'; ++line)
            program += *line;
        if (*line == '"')
            ++line;
    }
    for (; *line != '\0' && !IsBlank(*line); ++line)
        program += *line;
    words.push_back(program);
    for (;;) {
        while (IsBlank(*line))
            ++line;
        if (*line == '\0')
            break;
        std::string word;
        bool quoted = false;
        while (*line != '\0' && (quoted || !IsBlank(*line))) {
            if (*line == '\\') {
                size_t backslashes = 0;
                while (*line == '\\') {
                    ++backslashes;
                    ++line;
                }
                if (*line == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++line;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
            } else if (*line == '"') {
                if (quoted && line[1] == '"') {
                    word += '"';
                    line += 2;
                } else {
                    quoted = !quoted;
                    ++line;
                }
            } else {
                word += *line++;
            }
        }
        words.push_back(word);
    }
    return words;
}

// The Windows exit code of a child's wait status.
DWORD ExitCodeOf(int status, bool terminated, DWORD terminateCode) {
    if (WIFEXITED(status))
        return static_cast<DWORD>(WEXITSTATUS(status));
    if (terminated)
        return terminateCode;
    switch (WTERMSIG(status)) {
    case SIGSEGV:
    case SIGBUS:
        return 0xC0000005; // access violation
    case SIGILL:
        return 0xC000001D; // illegal instruction
    case SIGFPE:
        return 0xC0000094; // integer division by zero
    case SIGABRT:
        return 3; // what abort() exits with on Windows
    case SIGINT:
        return 0xC000013A; // ended by Ctrl+C
    default:
        return 1;
    }
}

class ProcessObject : public compat::KernelObject {
public:
    explicit ProcessObject(pid_t pid) : pid_(pid) {}
    ~ProcessObject() override {
        std::lock_guard<std::mutex> guard(lock_);
        if (!reaped_) {
            // Nobody can ask for the code any more, but the child must not stay a zombie.
            pid_t pid = pid_;
            std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
        }
    }
    // Whether the child has ended; its code is then in `code`.
    bool ended(DWORD* code) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!reaped_) {
            int status = 0;
            pid_t result;
            do {
                result = waitpid(pid_, &status, WNOHANG);
            } while (result < 0 && errno == EINTR);
            if (result == pid_) {
                reaped_ = true;
                code_ = ExitCodeOf(status, terminated_, terminateCode_);
            }
        }
        if (reaped_ && code != nullptr)
            *code = code_;
        return reaped_;
    }
    bool terminate(DWORD code) {
        std::lock_guard<std::mutex> guard(lock_);
        if (reaped_)
            return false;
        if (!terminated_) {
            terminated_ = true;
            terminateCode_ = code;
        }
        return kill(pid_, SIGKILL) == 0;
    }
    compat::Acquired tryAcquire() override {
        return ended(nullptr) ? compat::Acquired::Yes : compat::Acquired::No;
    }
    pid_t pid() const { return pid_; }

private:
    std::mutex lock_;
    const pid_t pid_;
    bool reaped_ = false;
    bool terminated_ = false;
    DWORD terminateCode_ = 0;
    DWORD code_ = 0;
};

// The child's main thread: signalled together with its process.
class PrimaryThreadObject : public compat::KernelObject {
public:
    explicit PrimaryThreadObject(std::shared_ptr<ProcessObject> process)
        : process_(std::move(process)) {}
    compat::Acquired tryAcquire() override { return process_->tryAcquire(); }

private:
    std::shared_ptr<ProcessObject> process_;
};

class ThreadObject : public compat::KernelObject {
public:
    compat::Acquired tryAcquire() override {
        return done.load(std::memory_order_acquire) ? compat::Acquired::Yes : compat::Acquired::No;
    }
    std::atomic<bool> done{false};
    std::atomic<DWORD> code{0};
    std::atomic<DWORD> id{0};
};

struct ThreadStart {
    std::shared_ptr<ThreadObject> object;
    _beginthreadex_proc_type function;
    void* argument;
};

void* RunThread(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    start->object->id.store(GetCurrentThreadId(), std::memory_order_release);
    unsigned code = start->function(start->argument);
    start->object->code.store(code, std::memory_order_relaxed);
    start->object->done.store(true, std::memory_order_release);
    return nullptr;
}

struct VectoredHandler {
    PVECTORED_EXCEPTION_HANDLER handler;
};
std::mutex handlersLock;
std::list<VectoredHandler>& Handlers() {
    static auto* handlers = new std::list<VectoredHandler>;
    return *handlers;
}

constexpr DWORD kThreadNamingException = 0x406D1388;

// What a debugger does with the naming record: name the thread it is meant for, when that
// is the calling thread (or -1, "the caller").
void NameThreadAsDebugger(DWORD count, const ULONG_PTR* arguments) {
    if (count < 3 || arguments == nullptr)
        return;
    struct Record {
        DWORD type;
        const char* name;
        DWORD threadId;
        DWORD flags;
    } record;
    static_assert(sizeof(record) == 3 * sizeof(ULONG_PTR), "the record fills three arguments");
    std::memcpy(&record, arguments, sizeof(record));
    if (record.type != 0x1000 || record.name == nullptr)
        return;
    if (record.threadId != 0xFFFFFFFF && record.threadId != GetCurrentThreadId())
        return;
    char name[16];
    std::snprintf(name, sizeof(name), "%s", record.name);
    pthread_setname_np(pthread_self(), name);
}

} // namespace

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    if (processInformation == nullptr || startupInfo == nullptr ||
        (applicationName == nullptr && commandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Environment blocks, working directories and suspended starts are not offered.
    if (environment != nullptr || currentDirectory != nullptr ||
        (creationFlags & CREATE_SUSPENDED) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> words = SplitCommandLine(commandLine ? commandLine : "");
    std::string program = applicationName ? applicationName : words[0];
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    int error =
        applicationName
            ? posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ)
            : posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        SetLastError(compat::ErrorFromErrno(error));
        return FALSE;
    }
    auto process = std::make_shared<ProcessObject>(pid);
    HANDLE processHandle = compat::InsertHandle(process);
    HANDLE threadHandle = compat::InsertHandle(std::make_shared<PrimaryThreadObject>(process));
    if (processHandle == nullptr || threadHandle == nullptr) {
        if (processHandle != nullptr)
            CloseHandle(processHandle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    processInformation->hProcess = processHandle;
    processInformation->hThread = threadHandle;
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    auto object = compat::LookupHandleAs<ProcessObject>(process);
    if (!object)
        return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD code = STILL_ACTIVE;
    object->ended(&code);
    *exitCode = code;
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    auto object = compat::LookupHandleAs<ProcessObject>(process);
    if (!object)
        return FALSE;
    if (!object->terminate(exitCode)) {
        SetLastError(ERROR_ACCESS_DENIED); // Windows' answer for a process that has ended
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

std::uintptr_t _beginthreadex(void*, unsigned stackSize, _beginthreadex_proc_type startAddress,
                              void* argument, unsigned initFlag, unsigned* threadId) {
    if (startAddress == nullptr || (initFlag & CREATE_SUSPENDED) != 0) {
        errno = EINVAL;
        return 0;
    }
    auto object = std::make_shared<ThreadObject>();
    HANDLE handle = compat::InsertHandle(object);
    if (handle == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        // Windows rounds a small request up; so does this, to what POSIX accepts.
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_t size = std::max<size_t>(stackSize, PTHREAD_STACK_MIN);
        size = (size + page - 1) / page * page;
        pthread_attr_setstacksize(&attributes, size);
    }
    auto* start = new ThreadStart{object, startAddress, argument};
    pthread_t thread;
    int error = compat::CreatePthread(&thread, &attributes, RunThread, start);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete start;
        CloseHandle(handle);
        errno = error;
        return 0;
    }
    if (threadId != nullptr) {
        // The id is the new thread's own, known once it runs.
        while (object->id.load(std::memory_order_acquire) == 0)
            std::this_thread::yield();
        *threadId = object->id.load(std::memory_order_acquire);
    }
    return reinterpret_cast<std::uintptr_t>(handle);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = compat::LookupHandleAs<ThreadObject>(thread);
    if (!object)
        return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = object->done.load(std::memory_order_acquire)
                    ? object->code.load(std::memory_order_relaxed)
                    : STILL_ACTIVE;
    return TRUE;
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
    if (handler == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> guard(handlersLock);
    auto& handlers = Handlers();
    auto position = handlers.insert(first ? handlers.begin() : handlers.end(), {handler});
    return &*position;
}

ULONG RemoveVectoredExceptionHandler(PVOID handle) {
    std::lock_guard<std::mutex> guard(handlersLock);
    auto& handlers = Handlers();
    for (auto it = handlers.begin(); it != handlers.end(); ++it) {
        if (&*it == handle) {
            handlers.erase(it);
            return 1;
        }
    }
    return 0;
}

void RaiseException(DWORD exceptionCode, DWORD exceptionFlags, DWORD numberOfArguments,
                    const ULONG_PTR* arguments) {
    if (exceptionCode == kThreadNamingException)
        NameThreadAsDebugger(numberOfArguments, arguments);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = exceptionCode;
    record.ExceptionFlags = exceptionFlags;
    record.ExceptionAddress = reinterpret_cast<PVOID>(&RaiseException);
    record.NumberParameters = std::min<DWORD>(numberOfArguments, EXCEPTION_MAXIMUM_PARAMETERS);
    if (arguments != nullptr)
        std::copy(arguments, arguments + record.NumberParameters, record.ExceptionInformation);
    EXCEPTION_POINTERS pointers{&record, nullptr};
    std::vector<PVECTORED_EXCEPTION_HANDLER> handlers;
    {
        std::lock_guard<std::mutex> guard(handlersLock);
        for (const auto& entry : Handlers())
            handlers.push_back(entry.handler);
    }
    for (auto handler : handlers) {
        if (handler(&pointers) == EXCEPTION_CONTINUE_EXECUTION)
            return;
    }
    std::fprintf(stderr, "unhandled exception 0x%08X\n", static_cast<unsigned>(exceptionCode));
    std::abort();
}

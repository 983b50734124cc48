// The system services of crypto/EntropyCalls.h on Windows: BCryptGenRandom, RtlGenRandom
// behind it, and the figures of the performance counter, the tick count, the memory
// status and the process's and thread's times and I/O counters.
#ifdef _WIN32

#include "crypto/EntropyCalls.h"

#include "crypto/ConstantTime.h"

#include "compat/win32.h"

#include <bcrypt.h>
#include <ntsecapi.h>

// BCryptGenRandom's ULONG length covers every poll (kEntropyPollMax bytes).
static int win32BcryptRandom(uint8_t* out, size_t size) {
    NTSTATUS status =
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return status == 0;
}

// RtlGenRandom (SystemFunction036 of advapi32), for systems where the preferred RNG of
// BCrypt is refused (before Windows 7 it did not exist).
static int win32RtlGenRandom(uint8_t* out, size_t size) {
    return RtlGenRandom(out, static_cast<ULONG>(size)) ? 1 : 0;
}

static uint64_t fileTime(const FILETIME& time) {
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

static size_t win32Statistics(uint64_t* figures, size_t capacity) {
    uint64_t all[kEntropyFiguresMax];
    size_t n = 0;
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    all[n++] = static_cast<uint64_t>(counter.QuadPart);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    all[n++] = static_cast<uint64_t>(frequency.QuadPart);
    all[n++] = GetTickCount64();
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    all[n++] = fileTime(now);
    all[n++] = GetCurrentProcessId();
    all[n++] = GetCurrentThreadId();
    // Where the stack and this code were placed (address-space layout randomisation).
    all[n++] = reinterpret_cast<uintptr_t>(&all);
    all[n++] = reinterpret_cast<uintptr_t>(&win32Statistics);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory)) {
        all[n++] = memory.dwMemoryLoad;
        all[n++] = memory.ullTotalPhys;
        all[n++] = memory.ullAvailPhys;
        all[n++] = memory.ullTotalPageFile;
        all[n++] = memory.ullAvailPageFile;
        all[n++] = memory.ullAvailVirtual;
    }
    FILETIME creation{}, exit{}, kernel{}, user{};
    if (GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) {
        all[n++] = fileTime(creation);
        all[n++] = fileTime(kernel);
        all[n++] = fileTime(user);
    }
    if (GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user)) {
        all[n++] = fileTime(creation);
        all[n++] = fileTime(kernel);
        all[n++] = fileTime(user);
    }
    IO_COUNTERS io{};
    if (GetProcessIoCounters(GetCurrentProcess(), &io)) {
        all[n++] = io.ReadOperationCount;
        all[n++] = io.WriteOperationCount;
        all[n++] = io.OtherOperationCount;
        all[n++] = io.ReadTransferCount;
        all[n++] = io.WriteTransferCount;
        all[n++] = io.OtherTransferCount;
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
        all[n++] = handles;
    FILETIME idle{};
    if (GetSystemTimes(&idle, &kernel, &user)) {
        all[n++] = fileTime(idle);
        all[n++] = fileTime(kernel);
        all[n++] = fileTime(user);
    }
    QueryPerformanceCounter(&counter);
    all[n++] = static_cast<uint64_t>(counter.QuadPart);
    size_t count = n < capacity ? n : capacity;
    for (size_t i = 0; i < count; ++i)
        figures[i] = all[i];
    CryptoWipe(all, sizeof all);
    return count;
}

static uint32_t win32ProcessId() {
    return GetCurrentProcessId();
}

// Windows processes do not fork.
static void win32WatchForks(void (*)(), void (*)(), void (*)()) {}

constexpr EntropyCalls kSystemEntropyCalls = {win32BcryptRandom, win32RtlGenRandom, win32Statistics,
                                              win32ProcessId, win32WatchForks};
EntropyCalls entropyCalls = kSystemEntropyCalls;

#endif

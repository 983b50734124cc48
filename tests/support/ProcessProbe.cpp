#include "support/ProcessProbe.h"

#include "http/TcpConnection.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstdlib>

void WarmUpTestFramework() {
    SCOPED_TRACE("warm-up");
}

void WarmUpProcess() {
    WarmUpTestFramework();
    ScriptedServer server({ScriptedServer::Reply("warm")});
    auto* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    TcpConnectionInit(connection);
    connection->timeout = 5;
    EXPECT_EQ(1, TcpConnectHost(connection, "127.0.0.1", server.Port()));
    EXPECT_EQ(1, TcpSend(connection, "x\r\n\r\n", 5));
    char buffer[16];
    uint32_t length = sizeof(buffer);
    EXPECT_EQ(1, TcpReceive(connection, buffer, &length, 0, 1));
    TcpConnectionDestroy(connection);
    free(connection);
}

#ifdef _WIN32
#include "compat/win32.h"

#include <psapi.h>
#include <tlhelp32.h>

int64_t CountProcessThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    DWORD self = GetCurrentProcessId();
    int64_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self)
            ++count;
        entry.dwSize = sizeof(entry);
    }
    CloseHandle(snapshot);
    return count;
}

// Handle values are multiples of 4 and, under Wine, handed out from the lowest free one,
// so the open handles lie close together: the probe stops after this many free values
// in a row.
constexpr int kFreeRunEnd = 256;

int64_t CountProcessHandles() {
    DWORD count = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &count))
        return -1;
    if (count != 0)
        return static_cast<int64_t>(count);
    // Wine reports no handles at all; there the handles are counted one by one.
    int64_t probed = 0;
    int freeRun = 0;
    for (uintptr_t value = 4; freeRun < kFreeRunEnd; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++probed;
            freeRun = 0;
        } else {
            ++freeRun;
        }
    }
    return probed;
}

int64_t ProcessMemoryBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        return -1;
    // Both are the private commit on Windows; Wine fills only the older field.
    SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<int64_t>(bytes);
}

#else
#include <dirent.h>

#include <cstdio>
#include <cstring>

namespace {

// Entries of a /proc directory, without "." and "..".
int64_t CountEntries(const char* path) {
    DIR* directory = opendir(path);
    if (directory == nullptr)
        return -1;
    int64_t count = 0;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(directory);
    return count;
}

} // namespace

int64_t CountProcessThreads() {
    return CountEntries("/proc/self/task");
}

int64_t CountProcessHandles() {
    // The directory being read holds a descriptor of its own while it is read.
    int64_t count = CountEntries("/proc/self/fd");
    return count < 0 ? -1 : count - 1;
}

int64_t ProcessMemoryBytes() {
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr)
        return -1;
    char line[256];
    int64_t bytes = -1;
    while (fgets(line, sizeof(line), status) != nullptr) {
        if (strncmp(line, "VmRSS:", 6) == 0) {
            long long kilobytes = 0;
            for (const char* p = line + 6; *p != '\0'; ++p) {
                if (*p >= '0' && *p <= '9')
                    kilobytes = kilobytes * 10 + (*p - '0');
            }
            bytes = kilobytes * 1024;
            break;
        }
    }
    fclose(status);
    return bytes;
}
#endif

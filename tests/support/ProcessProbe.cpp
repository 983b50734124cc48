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
    char buffer[16];
    uint32_t length = sizeof(buffer);
    EXPECT_EQ(1, TcpConnectHost(connection, "127.0.0.1", server.Port()) &&
                     TcpSend(connection, "x\r\n\r\n", 5) &&
                     TcpReceive(connection, buffer, &length, 0, 1));
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
    int64_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

int64_t CountProcessHandles() {
    DWORD count = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &count))
        return -1;
    if (count != 0)
        return static_cast<int64_t>(count);
    // Wine reports none: count them one by one. Handle values are multiples of 4 handed
    // out from the lowest free one, so 256 free values in a row end the search.
    int64_t probed = 0;
    for (uintptr_t value = 4, freeRun = 0; freeRun < 256; value += 4) {
        DWORD flags;
        bool open = GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
        probed += open;
        freeRun = open ? 0 : freeRun + 1;
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
    // Both are the private commit; Wine fills only the older field.
    SIZE_T bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<int64_t>(bytes);
}

#else
#include <dirent.h>

#include <cstdio>

namespace {

// Entries of a /proc directory, without "." and "..".
int64_t CountEntries(const char* path) {
    DIR* directory = opendir(path);
    int64_t count = directory ? 0 : -1;
    while (const dirent* entry = directory ? readdir(directory) : nullptr)
        count += entry->d_name[0] != '.';
    if (directory)
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
    long long kilobytes = -1;
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    while (status && fgets(line, sizeof(line), status) &&
           sscanf(line, "VmRSS: %lld", &kilobytes) != 1) {
    }
    if (status)
        fclose(status);
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}
#endif

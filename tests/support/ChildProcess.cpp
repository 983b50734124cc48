#include "support/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "compat/win32.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsSharedMemory.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr DWORD kChildWaitMs = 30000;
constexpr const char* kChildFlag = "--kiv-child";

// This process's own arguments, as its runtime split them.
std::vector<std::string> OwnArguments() {
    std::vector<std::string> arguments;
#ifdef _WIN32
    for (int i = 0; i < __argc; ++i)
        arguments.push_back(__argv[i]);
#else
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string argument;
    while (std::getline(file, argument, '\0'))
        arguments.push_back(argument);
#endif
    return arguments;
}

std::string ExecutablePath() {
    char path[4096] = {0};
#ifdef _WIN32
    GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
#else
    if (readlink("/proc/self/exe", path, sizeof(path) - 1) < 0)
        path[0] = '\0';
#endif
    return path;
}

[[noreturn]] void Exit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

HANDLE OpenEventOrExit(const std::string& name) {
    HANDLE event = nullptr;
    if (!OpenNamedEvent(&event, name.c_str()))
        Exit(101);
    return event;
}

void WaitOrExit(HANDLE handle) {
    DWORD code = WAIT_FAILED;
    if (!WaitObject(handle, kChildWaitMs, &code) || code != WAIT_OBJECT_0)
        Exit(102);
}

[[noreturn]] void RunChild(const std::vector<std::string>& a) {
    const std::string& mode = a.size() > 2 ? a[2] : std::string();
    if (mode == "exit" && a.size() == 4)
        Exit(std::atoi(a[3].c_str()));
    if (mode == "relay" && a.size() == 6) {
        HANDLE in = OpenEventOrExit(a[3]);
        HANDLE out = OpenEventOrExit(a[4]);
        WaitOrExit(in);
        SetEvent(out);
        Exit(std::atoi(a[5].c_str()));
    }
    if ((mode == "hold-mutex" && a.size() == 6) || (mode == "abandon-mutex" && a.size() == 4)) {
        HANDLE mutex = nullptr;
        if (!OpenNamedMutex(&mutex, a[3].c_str()))
            Exit(103);
        WaitOrExit(mutex);
        if (mode == "abandon-mutex")
            Exit(0);
        SetEvent(OpenEventOrExit(a[4]));
        WaitOrExit(OpenEventOrExit(a[5]));
        Exit(ReleaseMutex(mutex) ? 0 : 104);
    }
    if (mode == "post-semaphore" && a.size() == 4) {
        HANDLE semaphore = nullptr;
        if (!OpenNamedSemaphore(&semaphore, a[3].c_str()))
            Exit(105);
        Exit(ReleaseSemaphore(semaphore, 1, nullptr) ? 0 : 106);
    }
    if (mode == "write-shm" && a.size() == 6) {
        SharedMemory memory;
        DWORD size = static_cast<DWORD>(std::strtoul(a[4].c_str(), nullptr, 10));
        if (!OpenSharedMemory(&memory, size, a[3].c_str()) || a[5].size() > size)
            Exit(107);
        std::memcpy(memory.address, a[5].data(), a[5].size());
        FlushSharedMemory(&memory, nullptr, 0);
        Exit(CloseSharedMemory(&memory) ? 0 : 108);
    }
    if (mode == "args" && a.size() >= 4) {
        std::ofstream file(a[3], std::ios::binary);
        for (size_t i = 4; i < a.size(); ++i)
            file << a[i] << '\n';
        file.close(); // _Exit would not
        Exit(file ? 0 : 109);
    }
    Exit(110);
}

// Runs before GoogleTest's main: a child never reaches it.
const bool childModeChecked = [] {
    std::vector<std::string> arguments = OwnArguments();
    if (arguments.size() > 1 && arguments[1] == kChildFlag)
        RunChild(arguments);
    return true;
}();

} // namespace

std::string ChildCommand(const std::string& arguments) {
    return "\"" + ExecutablePath() + "\" " + kChildFlag + " " + arguments;
}

std::string UniqueObjectName(const char* tag) {
    static int counter = 0;
    return "kivtest-" + std::to_string(GetCurrentProcessId()) + "-" + tag + "-" +
           std::to_string(++counter);
}

#include "osutil/OsProcess.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kPollMilliseconds = 50;

// Reads the exit code; false when the poll fails. A code of 259 counts as "running" only
// while the handle is not yet signalled.
bool PollExitCode(HANDLE process, DWORD* code, bool* ended) {
    if (!GetExitCodeProcess(process, code))
        return false;
    *ended = *code != STILL_ACTIVE || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    // A child that ended between the two calls left a code the first read missed: read it
    // again now that the handle is signalled, or a real exit code would come back as 259.
    if (*ended && *code == STILL_ACTIVE && !GetExitCodeProcess(process, code))
        return false;
    return true;
}

} // namespace

int StartProcess(const char* commandLine, int showWindow, HANDLE* processHandle) {
    if (commandLine == nullptr)
        return 0;
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    size_t length = std::strlen(commandLine) + 1;
    char* copy = static_cast<char*>(std::malloc(length));
    if (copy == nullptr)
        return 0;
    std::memcpy(copy, commandLine, length);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof(process));
    BOOL started = CreateProcessA(nullptr, copy, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                                  nullptr, nullptr, &startup, &process);
    std::free(copy);
    if (!started)
        return 0;
    CloseHandle(process.hThread);
    if (processHandle != nullptr)
        *processHandle = process.hProcess;
    else
        CloseHandle(process.hProcess);
    return 1;
}

int RunProcess(const char* commandLine, DWORD flags, DWORD* exitCode) {
    HANDLE process = nullptr;
    int result = StartProcess(commandLine, static_cast<int>(flags & 0xFFFF), &process);
    if (!result)
        return 0;
    if ((flags & kRunProcessNoWait) == 0) {
        DWORD code = STILL_ACTIVE;
        bool ended = false;
        for (;;) {
            result = PollExitCode(process, &code, &ended) ? 1 : 0;
            if (!result || ended)
                break;
            Sleep(kPollMilliseconds);
        }
        if (result && exitCode != nullptr)
            *exitCode = code;
    }
    CloseHandle(process);
    return result;
}

int IsProcessRunning(HANDLE processHandle) {
    DWORD code = 0;
    return GetExitCodeProcess(processHandle, &code) && code == STILL_ACTIVE ? 1 : 0;
}

int WaitProcessEnd(HANDLE processHandle, DWORD* exitCode) {
    DWORD code = STILL_ACTIVE;
    bool ended = false;
    for (;;) {
        if (!PollExitCode(processHandle, &code, &ended)) {
            CloseHandle(processHandle);
            return 1;
        }
        if (ended)
            break;
        Sleep(kPollMilliseconds);
    }
    if (exitCode != nullptr)
        *exitCode = code;
    CloseHandle(processHandle);
    return 1;
}

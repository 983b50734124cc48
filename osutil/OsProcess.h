// Starting processes from a command line and waiting for their end. Results are 1 for
// success and 0 for failure; exit codes are the processes' 32-bit Windows codes, 259
// (STILL_ACTIVE) meaning "still running".
#pragma once

#include "compat/win32.h"

// RunProcess flag: start and return at once, without waiting for the exit code.
constexpr DWORD kRunProcessNoWait = 0x10000;

// Starts the command line (program and arguments, split by the Windows rules) with the
// given show-window value, normal priority and no inherited handles. Hands back the
// process handle in `processHandle` when it is given (the caller closes it), else closes
// it. 0 when the command line cannot be copied or the process cannot be started.
int StartProcess(const char* commandLine, int showWindow, HANDLE* processHandle);

// Starts the command line with the low 16 bits of `flags` as show-window value. Unless
// kRunProcessNoWait is set, polls every 50 ms until the process has ended and hands back
// its exit code; a failing poll ends the wait without a code. The result is the start's,
// or the last poll's when it waited.
// A process that ends with the code 259 itself is taken as ended (its handle is
// signalled), where the exit code alone would keep the wait going for ever.
int RunProcess(const char* commandLine, DWORD flags, DWORD* exitCode);

// 1 when the process's exit code can be read and is 259 (still active).
int IsProcessRunning(HANDLE processHandle);

// Polls every 50 ms until the process has ended, hands back its exit code and closes the
// handle; a failing poll closes the handle and hands back nothing. Always 1.
// A process that ends with the code 259 itself is taken as ended (its handle is
// signalled), where the exit code alone would keep the wait going for ever.
int WaitProcessEnd(HANDLE processHandle, DWORD* exitCode);

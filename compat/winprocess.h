// Processes, threads and raised exceptions for builds without Windows.
//
// - CreateProcessA splits the command line by the Windows rules (the program name up to
//   the first blank or between quotes; then arguments where 2n backslashes before a quote
//   give n backslashes and a quote that opens or closes, 2n+1 give n backslashes and a
//   literal quote, "" inside quotes gives a quote) and runs the program with posix_spawnp,
//   so a name without a slash is searched along PATH. No ".exe" is added. The show-window
//   value, priority class and console flags have no meaning here and are ignored.
// - Exit codes are the child's exit status (0 to 255); a child ended by a signal reports
//   the code Windows gives for the like fault (0xC0000005 for SIGSEGV and SIGBUS, 3 for
//   SIGABRT, 0xC000013A for SIGINT) or the code given to TerminateProcess. STILL_ACTIVE
//   (259) while it runs. A child whose handles are all closed is reaped in the background.
// - _beginthreadex runs the function on a detached POSIX thread; its handle is signalled
//   and GetExitCodeThread answers the function's result once it returns.
// - RaiseException calls the vectored handlers in order and returns when one answers
//   EXCEPTION_CONTINUE_EXECUTION; with none, the exception is unhandled and ends the
//   process, as on Windows. The thread-naming exception 0x406D1388 is first seen by the
//   "debugger", which names the calling thread with pthread_setname_np (cut to 15 bytes).
#pragma once

#include "compat/winhandle.h"
#include "compat/wintypes.h"

#define STILL_ACTIVE 259L
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_SUSPENDED 0x00000004
#define STARTF_USESHOWWINDOW 0x00000001
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
typedef STARTUPINFOA* LPSTARTUPINFOA;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
DWORD GetCurrentProcessId();

typedef unsigned (*_beginthreadex_proc_type)(void*);
std::uintptr_t _beginthreadex(void* security, unsigned stackSize,
                              _beginthreadex_proc_type startAddress, void* argument,
                              unsigned initFlag, unsigned* threadId);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetCurrentThreadId();

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define EXCEPTION_CONTINUE_EXECUTION (-1)
#define EXCEPTION_CONTINUE_SEARCH 0

struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
typedef EXCEPTION_RECORD* PEXCEPTION_RECORD;
struct CONTEXT; // No register state is captured here.
struct EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    CONTEXT* ContextRecord;
};
typedef EXCEPTION_POINTERS* PEXCEPTION_POINTERS;
typedef LONG (*PVECTORED_EXCEPTION_HANDLER)(PEXCEPTION_POINTERS exceptionInfo);

PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler);
ULONG RemoveVectoredExceptionHandler(PVOID handle);
void RaiseException(DWORD exceptionCode, DWORD exceptionFlags, DWORD numberOfArguments,
                    const ULONG_PTR* arguments);

// Threads started through the C runtime, a start-once and stop protocol over a state
// word, thread names for debuggers, sleeping, and a process-wide elapsed-seconds clock.
#pragma once

#include <cstdint>

#include "compat/win32.h"

// A thread's function: its result becomes the thread's exit code.
typedef unsigned (*OsThreadFunction)(void* argument);
// Called by StopThread after it asked the thread to stop.
typedef void (*OsStopCallback)(void* userContext, DWORD* state);

// Values of the thread state word. The thread (or the stop callback) changes the word
// from kThreadStopRequested to another value once the thread has stopped. Everyone who
// touches the word while other threads may, does so atomically (InterlockedExchange,
// or __atomic_store_n / __atomic_load_n).
constexpr DWORD kThreadNotRunning = 0;
constexpr DWORD kThreadRunning = 1;
constexpr DWORD kThreadStopRequested = 3;

// Starts `function(argument)` on a new thread through the runtime's thread start (so the
// runtime is set up for it), with `stackSize` bytes of stack (0: the default). 1 with the
// handle in `threadHandle` (closed at once when that is null), 0 when the start failed.
int StartThread(HANDLE* threadHandle, OsThreadFunction function, unsigned stackSize,
                void* argument);

// Without a state word as StartThread with the default stack. With one: when the word is
// 0 it becomes 1 and the thread is started (a failed start puts it back to 0 and gives
// 0); otherwise nothing is started and the result is 1. The change from 0 to 1 is atomic,
// so of callers racing on one word exactly one starts the thread. When nothing is started
// `threadHandle` is left as it is: it still holds the running thread's handle where the
// caller keeps that beside the word.
int StartThreadOnce(HANDLE* threadHandle, DWORD* state, OsThreadFunction function, void* argument);

// Asks the thread of the state word to stop: when the word is not 0 it becomes 3 and
// `stopCallback` (when given) is called with `userContext` and the word. Then, while the
// word is still 3, sleeps 100 ms, at most `count` times (0: 4294967295 times). 1 when the
// word left 3 (or was 0 or absent), 0 when the rounds ran out.
int StopThread(DWORD* state, DWORD count, OsStopCallback stopCallback, void* userContext);

// Names the calling thread for a debugger (the exception 0x406D1388 with the naming
// record, raised and caught here). Always 1.
int SetThreadName(const char* name);

void SleepMs(DWORD milliseconds);

// The first of these two to run records the current time; ElapsedSeconds returns the
// whole seconds since then.
void StartElapsedClock();
int64_t ElapsedSeconds();

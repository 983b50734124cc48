// ProcessProbe: figures about the running test process, for tests that check that
// threads, handles and memory come back to where they were.
//
// On Windows the figures come from the system (thread snapshot, GetProcessHandleCount,
// the private commit of GetProcessMemoryInfo); elsewhere from /proc/self. A figure
// that cannot be read is -1.
#pragma once

#include <cstdint>

// Threads of this process.
int64_t CountProcessThreads();
// Open handles (Windows) or file descriptors (elsewhere) of this process.
int64_t CountProcessHandles();
// Memory of this process in bytes: the private commit on Windows, the resident set
// elsewhere.
int64_t ProcessMemoryBytes();

// Whether handle counts taken at two moments can be compared exactly. On Windows the
// runtime's own locks open their wait events when they are first contended, at moments
// no test controls; there only a steady state over many calls tells a leak (the soak).
#ifdef _WIN32
constexpr bool kExactHandleCounts = false;
#else
constexpr bool kExactHandleCounts = true;
#endif

// Runs once what starts process-wide helpers on first use, so that counts taken
// afterwards compare like with like: on Windows GoogleTest's first trace on a thread
// starts a thread that watches it (WarmUpTestFramework does only that), and the
// sockets layer opens handles on first use.
void WarmUpTestFramework();
void WarmUpProcess();

// Figures about the running test process, for tests that check that threads, handles
// (file descriptors outside Windows) and memory (the private commit on Windows, the resident
// set elsewhere) come back to where they were; -1 when a figure cannot be read.
#pragma once

#include <cstdint>

int64_t CountProcessThreads();
int64_t CountProcessHandles();
int64_t ProcessMemoryBytes();

// On Windows the runtime's own locks open their wait events when first contended, at
// moments no test controls; there only a steady state over many calls tells a leak.
#ifdef _WIN32
constexpr bool kExactHandleCounts = false;
#else
constexpr bool kExactHandleCounts = true;
#endif

// Start what process-wide helpers start on first use, so that later counts compare like
// with like: GoogleTest's first trace on Windows starts a watching thread, and the
// sockets layer opens handles on first use.
void WarmUpTestFramework();
void WarmUpProcess();

// ProcessProbe: figures about the running test process, for tests that check that
// threads, handles and memory come back to where they were.
//
// On Windows the figures come from the system (thread snapshot, GetProcessHandleCount,
// the private commit of GetProcessMemoryInfo); elsewhere from /proc/self. A figure
// that cannot be read is -1.
#pragma once

#include <cstdint>

// Threads of this process.
int64_t ProcessThreadCount();
// Open handles (Windows) or file descriptors (elsewhere) of this process.
int64_t ProcessHandleCount();
// Memory of this process in bytes: the private commit on Windows, the resident set
// elsewhere.
int64_t ProcessMemoryBytes();

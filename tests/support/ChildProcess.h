// The test executable as a child process: started with "--kiv-child MODE ARGS...", it does
// one small job before GoogleTest would start, and exits. Tests that need a second
// process (exit codes, named objects and shared memory across processes) use it, so no
// extra program is needed.
//
// Modes (names are object names, N exit codes):
//   exit N                        exits with N
//   relay IN OUT N                waits for event IN, sets event OUT, exits with N
//   hold-mutex MUTEX READY GO     takes MUTEX, sets READY, waits for GO, releases, exits 0
//   abandon-mutex MUTEX           takes MUTEX and exits 0 without releasing it
//   post-semaphore SEMAPHORE      releases SEMAPHORE once, exits 0
//   write-shm NAME SIZE TEXT      writes TEXT into the shared memory NAME, exits 0
//   args FILE                     writes its arguments after "args FILE" to FILE, one a line
// A step that fails exits with 100 or more.
#pragma once

#include <string>

// The command line that starts this executable in child mode with `arguments`.
std::string ChildCommand(const std::string& arguments);

// An object name no other test and no other test run uses.
std::string UniqueObjectName(const char* tag);

// The system services behind the entropy poll and the random generators, reached through
// one table so that tests can make the system generator fail, fix the statistics, or
// pretend to be a fork's child, in both builds. Production never changes it.
//
// The platform differences of the crypto unit live here and nowhere else: the table is
// filled by EntropyWin32.cpp on Windows and by EntropyPosix.cpp elsewhere (each file is
// empty on the other platform).
#pragma once

#include <cstddef>
#include <cstdint>

// Most figures one statistics call gathers.
constexpr size_t kEntropyFiguresMax = 48;

struct EntropyCalls {
    // The system's preferred generator: BCryptGenRandom with the system-preferred RNG on
    // Windows, getrandom elsewhere. 1 when all `size` bytes (up to kEntropyPollMax) were
    // written, else 0.
    int (*preferredRandom)(uint8_t* out, size_t size);
    // The generator asked when the preferred one fails: RtlGenRandom (SystemFunction036)
    // on Windows, /dev/urandom elsewhere (a kernel or sandbox without getrandom). Same
    // results as preferredRandom.
    int (*fallbackRandom)(uint8_t* out, size_t size);
    // Writes up to `capacity` figures of the system's state that differ between calls and
    // between machines (counters, clocks, ids, memory and CPU-time figures); returns how
    // many it wrote.
    size_t (*statistics)(uint64_t* figures, size_t capacity);
    // The calling process's id; a fork's child has another than its parent.
    uint32_t (*processId)();
    // Has `prepare` run in the forking thread just before a fork, `parent` in the parent
    // and `child` in the child just after it. Nothing where processes do not fork.
    void (*watchForks)(void (*prepare)(), void (*parent)(), void (*child)());
};

// The system's services.
extern const EntropyCalls kSystemEntropyCalls;
// What the poll and the generators call; starts as kSystemEntropyCalls.
extern EntropyCalls entropyCalls;

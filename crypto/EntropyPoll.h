// The entropy poll: seed material for the random generator. The system's own generator
// comes first (Windows: BCryptGenRandom, or RtlGenRandom where that fails; elsewhere
// getrandom, or /dev/urandom where that fails); system statistics that differ between
// calls and machines (high-resolution counters, tick counts, process and thread ids, memory
// and CPU-time figures) are mixed in beside it. A failing system generator fails the poll:
// there is never a silent weak seed.
#pragma once

#include <cstddef>
#include <cstdint>

// Largest poll a caller may ask for in one call.
constexpr size_t kEntropyPollMax = 256;

// Fills `out` with `size` (1 to kEntropyPollMax) bytes of seed material: `size` bytes of
// the system generator hashed together with the statistics. 1 on success; 0, with the
// `size` bytes at `out` wiped, when the arguments are bad or the system generator fails.
int EntropyPoll(uint8_t* out, size_t size);

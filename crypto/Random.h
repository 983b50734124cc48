// Random bytes for callers that just want them: one process-wide HMAC_DRBG over SHA-512,
// instantiated from the entropy poll at first use, safe to call from any thread, reseeded
// in a fork's child before it serves it.
#pragma once

#include <cstddef>

// Fills `out` with `size` random bytes (any size; large requests are served in pieces).
// 1 on success; 0, with `out` wiped, when the generator cannot be seeded.
int CryptoRandomBytes(void* out, size_t size);

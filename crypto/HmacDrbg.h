// HMAC_DRBG of NIST SP 800-90A (section 10.1.2) over SHA-512 or SHA-256: a deterministic
// random bit generator seeded from the entropy poll.
//
// Calling order: HmacDrbgInstantiate (or HmacDrbgInstantiateWith for known-answer tests)
// -> HmacDrbgGenerate, with HmacDrbgReseed whenever wanted -> HmacDrbgUninstantiate, which
// wipes the state. Results are 1 for success and 0 for failure. A generator is not shared
// between threads by itself: crypto/Random.h serves callers that just want bytes.
#pragma once

#include "crypto/Digest.h"

#include <cstddef>
#include <cstdint>

// Requests between reseeds before Generate insists on a reseed (SP 800-90A allows 2^48).
constexpr uint64_t kHmacDrbgReseedInterval = 1ull << 48;
// Largest request of one Generate call, in bytes (2^19 bits, the standard's limit).
constexpr size_t kHmacDrbgMaxRequest = 65536;
// Largest personalisation string or additional input, in bytes.
constexpr size_t kHmacDrbgMaxInput = 65536;

struct HmacDrbg {
    const DigestAlgorithm* algorithm; // SHA-512 or SHA-256; null when not instantiated
    uint8_t key[kDigestMaxSize];      // K
    uint8_t value[kDigestMaxSize];    // V
    uint64_t reseed_counter;          // requests since the last (re)seed, from 1
    uint32_t pid;                     // process that seeded it: a fork's child reseeds
    uint32_t self_seeding;            // 1 when seeded from the poll, 0 from the caller's bytes
};

// Instantiates from the entropy poll (entropy and nonce) and `personalisation` (may be
// null with size 0). 0 when the poll fails, the algorithm is neither SHA-256 nor SHA-512,
// or an input is too long; the record is then wiped.
int HmacDrbgInstantiate(HmacDrbg* drbg, const DigestAlgorithm* algorithm,
                        const void* personalisation, size_t personalisationSize);

// Instantiates from the caller's entropy and nonce instead of the poll, for known-answer
// tests. A generator made this way never reseeds by itself (after a fork it refuses).
int HmacDrbgInstantiateWith(HmacDrbg* drbg, const DigestAlgorithm* algorithm, const void* entropy,
                            size_t entropySize, const void* nonce, size_t nonceSize,
                            const void* personalisation, size_t personalisationSize);

// Reseeds from the entropy poll with optional additional input. 0 when the poll fails
// (the state is then wiped: an instance that could not reseed is not used again).
int HmacDrbgReseed(HmacDrbg* drbg, const void* additional, size_t additionalSize);

// Reseeds from the caller's entropy, for known-answer tests.
int HmacDrbgReseedWith(HmacDrbg* drbg, const void* entropy, size_t entropySize,
                       const void* additional, size_t additionalSize);

// Writes `size` (up to kHmacDrbgMaxRequest) bytes, with optional additional input.
// Reseeds first from the poll when the counter reached the interval or the process is a
// fork's child of the one that seeded it. 0, with `out` wiped, when not instantiated, a
// needed reseed fails or an argument is out of range.
int HmacDrbgGenerate(HmacDrbg* drbg, void* out, size_t size, const void* additional,
                     size_t additionalSize);

// Wipes the state; the record may be instantiated again.
void HmacDrbgUninstantiate(HmacDrbg* drbg);

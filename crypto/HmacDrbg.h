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

// Requests served between two seeds; the next one reseeds first (SP 800-90A allows 2^48).
constexpr uint64_t kHmacDrbgReseedInterval = 1ull << 48;
// Largest request of one Generate call, in bytes (2^19 bits, the standard's limit).
constexpr size_t kHmacDrbgMaxRequest = 65536;
// Largest personalisation string, additional input, entropy or nonce, in bytes.
constexpr size_t kHmacDrbgMaxInput = 65536;
// Smallest entropy and nonce the caller may give (a security strength of 256 bits).
constexpr size_t kHmacDrbgMinEntropy = 32;
constexpr size_t kHmacDrbgMinNonce = 16;

struct HmacDrbg {
    const DigestAlgorithm* algorithm; // SHA-512 or SHA-256; null when not instantiated
    uint8_t key[kDigestMaxSize];      // K
    uint8_t value[kDigestMaxSize];    // V
    uint64_t reseed_counter;          // requests since the last (re)seed, plus 1
    uint32_t pid;                     // process that seeded it: a fork's child reseeds
    uint32_t self_seeding;            // 1 when instantiated from the poll, 0 from the caller's
};

// Instantiates from the entropy poll (32 bytes of entropy and 16 of nonce, from one poll)
// and `personalisation` (may be null with size 0). 0 when the poll fails, the algorithm is
// neither SHA-256 nor SHA-512, or an input is too long; the record is then wiped.
int HmacDrbgInstantiate(HmacDrbg* drbg, const DigestAlgorithm* algorithm,
                        const void* personalisation, size_t personalisationSize);

// Instantiates from the caller's entropy and nonce (kHmacDrbgMinEntropy and
// kHmacDrbgMinNonce bytes at least) instead of the poll, for known-answer tests. A
// generator made this way never reseeds by itself: where a reseed is due (after the
// interval, in a fork's child) Generate refuses and leaves the state as it is. 0, with the
// record wiped, for the reasons of HmacDrbgInstantiate or a short entropy or nonce.
int HmacDrbgInstantiateWith(HmacDrbg* drbg, const DigestAlgorithm* algorithm, const void* entropy,
                            size_t entropySize, const void* nonce, size_t nonceSize,
                            const void* personalisation, size_t personalisationSize);

// Reseeds from the entropy poll (32 bytes) with optional additional input. 0 when not
// instantiated or the additional input is bad (nothing changes), or when the poll fails
// (the state is then wiped: an instance that could not reseed is not used again).
int HmacDrbgReseed(HmacDrbg* drbg, const void* additional, size_t additionalSize);

// Reseeds from the caller's entropy (kHmacDrbgMinEntropy bytes at least), for known-answer
// tests. 0, changing nothing, when not instantiated or an input is bad.
int HmacDrbgReseedWith(HmacDrbg* drbg, const void* entropy, size_t entropySize,
                       const void* additional, size_t additionalSize);

// Writes `size` (up to kHmacDrbgMaxRequest; 0 too, and `out` may then be null) bytes, with
// optional additional input. Reseeds first from the poll, taking the additional input in,
// after kHmacDrbgReseedInterval requests or when the process is not the one that seeded it
// (a fork's child). 0, with `out` wiped, when not instantiated, an argument is out of
// range (the state unchanged), or a needed reseed fails (the state wiped, as by Reseed).
int HmacDrbgGenerate(HmacDrbg* drbg, void* out, size_t size, const void* additional,
                     size_t additionalSize);

// Wipes the state; the record may be instantiated again.
void HmacDrbgUninstantiate(HmacDrbg* drbg);

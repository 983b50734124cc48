// Message digests: MD5 (RFC 1321), SHA-1 and the SHA-2 family (FIPS 180-4), each described
// by one constant descriptor so that HMAC, MGF1 and the RSA signature schemes take any of
// them without a switch.
//
// Calling order: DigestInit -> DigestUpdate, any number of times with any split of the
// input -> DigestFinal, which writes the digest and wipes the context. Results are 1 for
// success and 0 for failure; nothing allocates, nothing throws. A context is plain memory
// of the caller's and may be copied to fork a running digest (HMAC keeps its padded key
// states that way).
#pragma once

#include <cstddef>
#include <cstdint>

// Largest digest and block among the algorithms, for callers' fixed buffers.
constexpr size_t kDigestMaxSize = 64;
constexpr size_t kDigestMaxBlockSize = 128;

struct DigestContext;

struct DigestAlgorithm {
    const char* name;          // "MD5", "SHA-1", "SHA-256", "SHA-512/256", ...
    uint32_t digest_size;      // bytes of output
    uint32_t block_size;       // bytes per compression block (HMAC's key block)
    const uint8_t* der_prefix; // DER of DigestInfo up to the digest's bytes (RSA PKCS#1 v1.5)
    uint32_t der_prefix_size;  // bytes of der_prefix
    // Algorithm-specific steps behind DigestInit/Update/Final; callers use those.
    void (*init)(DigestContext* context);
    void (*compress)(DigestContext* context, const uint8_t* blocks, size_t count);
    void (*finish)(DigestContext* context, uint8_t* out);
};

// One running digest of any algorithm. The fields belong to the implementation.
struct DigestContext {
    const DigestAlgorithm* algorithm; // null until DigestInit
    union {
        uint32_t w32[8]; // MD5, SHA-1, SHA-224, SHA-256 chaining values
        uint64_t w64[8]; // SHA-384, SHA-512 and its truncations
    } state;
    uint64_t length_low;                // message bytes so far, low 64 bits
    uint64_t length_high;               // high bits, for SHA-512's 128-bit length
    uint8_t block[kDigestMaxBlockSize]; // partial block awaiting compression
    uint32_t used;                      // bytes waiting in block
    uint32_t engine;                    // which code compresses, fixed at DigestInit
};

extern const DigestAlgorithm kDigestMd5;
extern const DigestAlgorithm kDigestSha1;
extern const DigestAlgorithm kDigestSha224;
extern const DigestAlgorithm kDigestSha256;
extern const DigestAlgorithm kDigestSha384;
extern const DigestAlgorithm kDigestSha512;
extern const DigestAlgorithm kDigestSha512_224;
extern const DigestAlgorithm kDigestSha512_256;

// The descriptor whose name matches `name` ignoring ASCII case ("sha256" and "SHA-256"
// both name SHA-256: hyphens, slashes and underscores are ignored), or null.
const DigestAlgorithm* DigestByName(const char* name);

// Starts a digest. 0 when either argument is null.
int DigestInit(DigestContext* context, const DigestAlgorithm* algorithm);

// Adds `size` bytes. 0 when the context was not started, `data` is null with a non-zero
// size, or the message would exceed the algorithm's length limit (2^64 - 1 bits for SHA-1
// and SHA-224/256, 2^128 - 1 bits for the SHA-512 family; MD5 counts modulo 2^64 bits as
// RFC 1321 says); a refused update leaves the context as it was.
int DigestUpdate(DigestContext* context, const void* data, size_t size);

// Writes the digest into `out` (at least digest_size bytes of `outSize`) and wipes the
// context. 0, with the context wiped all the same, when it was not started or `out` is
// too small.
int DigestFinal(DigestContext* context, uint8_t* out, size_t outSize);

// One-shot digest of `size` bytes; same results as the streaming functions.
int Digest(const DigestAlgorithm* algorithm, const void* data, size_t size, uint8_t* out,
           size_t outSize);

// Which code computes SHA-1 and SHA-256: the processor's SHA extensions when it has them
// (asked once, at first use), or the portable code; likewise the SHA-512 family runs a
// build of its portable code for processors with AVX2 and BMI2 on those that have them.
// DigestUsePortable(1) forces the portable code, compiled for the baseline processor, on
// every context started afterwards (tests and benchmarks compare the two); a context keeps
// the code it started with. DigestUsePortable(0) goes back to the detected choice.
// DigestAccelerated tells whether the SHA extensions are in use now.
void DigestUsePortable(int portable);
int DigestAccelerated();

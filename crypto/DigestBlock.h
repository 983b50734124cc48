// Private to crypto/: what the algorithm files share with Digest.cpp. Byte-order loads and
// stores (compiled to single moves and byte swaps), the Merkle-Damgard padding of the final
// block, and the run-time choice of the SHA extensions.
#pragma once

#include "crypto/Digest.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define KIV_X86 1
#else
#define KIV_X86 0
#endif

// Values of DigestContext::engine: the portable code compiled for the baseline processor,
// the SHA extensions, or the portable code compiled for processors with AVX2 and BMI2.
constexpr uint32_t kDigestEnginePortable = 0;
constexpr uint32_t kDigestEngineShaExtensions = 1;
constexpr uint32_t kDigestEngineAvx2 = 2;

// Which engines a family has besides the portable one.
enum DigestFamily {
    kDigestFamilySha,    // SHA-1, SHA-256: the SHA extensions
    kDigestFamilySha512, // the AVX2 and BMI2 build of the portable code
};

// The engine that contexts of `family` started now use: the best the processor offers,
// or the portable code while DigestUsePortable forces it.
uint32_t DigestChooseEngine(DigestFamily family);

// Appends the padding (0x80, zeros, the message length in bits in `lengthSize` bytes, big-
// or little-endian) to the partial block and compresses what results. The length is
// length_high:length_low bytes, shifted to bits here.
void DigestPad(DigestContext* context, uint32_t lengthSize, int bigEndian);

static inline uint32_t LoadBe32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return v;
#else
    return __builtin_bswap32(v);
#endif
}

static inline uint64_t LoadBe64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return v;
#else
    return __builtin_bswap64(v);
#endif
}

static inline uint32_t LoadLe32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap32(v);
#else
    return v;
#endif
}

static inline void StoreBe32(uint8_t* p, uint32_t v) {
#if !(defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
    v = __builtin_bswap32(v);
#endif
    memcpy(p, &v, 4);
}

static inline void StoreBe64(uint8_t* p, uint64_t v) {
#if !(defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
    v = __builtin_bswap64(v);
#endif
    memcpy(p, &v, 8);
}

static inline void StoreLe32(uint8_t* p, uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    memcpy(p, &v, 4);
}

static inline uint32_t Rotr32(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}
static inline uint32_t Rotl32(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}
static inline uint64_t Rotr64(uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

// SHA-224 and SHA-256 (FIPS 180-4 section 6.2): the portable compression function, and the
// one on the processor's SHA extensions that contexts use when DigestInit found them.
#include "crypto/DigestBlock.h"

#if KIV_X86
#include <immintrin.h>
#endif

namespace {

// First 32 bits of the fractional parts of the cube roots of the first 64 primes.
alignas(64) const uint32_t kRound[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u,
    0xab1c5ed5u, 0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu,
    0x9bdc06a7u, 0xc19bf174u, 0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu,
    0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau, 0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u,
    0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u, 0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu,
    0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u, 0xa2bfe8a1u, 0xa81a664bu,
    0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u, 0x19a4c116u,
    0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u,
    0xc67178f2u,
};

// Second 32 bits of the fractional parts of the square roots of the 9th to 16th primes.
const uint32_t kInit224[8] = {
    0xc1059ed8u, 0x367cd507u, 0x3070dd17u, 0xf70e5939u,
    0xffc00b31u, 0x68581511u, 0x64f98fa7u, 0xbefa4fa4u,
};

// First 32 bits of the fractional parts of the square roots of the first 8 primes.
const uint32_t kInit256[8] = {
    0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
    0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u,
};

const uint8_t kDer224[] = {0x30, 0x2d, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                           0x65, 0x03, 0x04, 0x02, 0x04, 0x05, 0x00, 0x04, 0x1c};
const uint8_t kDer256[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                           0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

} // namespace

// One round with the working variables named by the caller, so that the eight of them stay
// in registers and rotate by renaming instead of by moves. Maj is written as
// b ^ ((a ^ b) & (b ^ c)), one operation fewer than the textbook form.
#define SHA256_ROUND(a, b, c, d, e, f, g, h, k, w)                                                 \
    do {                                                                                           \
        const uint32_t t1 =                                                                        \
            h + (Rotr32(e, 6) ^ Rotr32(e, 11) ^ Rotr32(e, 25)) + (g ^ (e & (f ^ g))) + (k) + (w);  \
        const uint32_t t2 =                                                                        \
            (Rotr32(a, 2) ^ Rotr32(a, 13) ^ Rotr32(a, 22)) + (b ^ ((a ^ b) & (b ^ c)));            \
        d += t1;                                                                                   \
        h = t1 + t2;                                                                               \
    } while (0)

// Message word i of the 16-word window, rewritten for the round 16 later.
#define SHA256_SCHEDULE(w, i)                                                                      \
    (w[i] +=                                                                                       \
     (Rotr32(w[(i + 14) & 15], 17) ^ Rotr32(w[(i + 14) & 15], 19) ^ (w[(i + 14) & 15] >> 10)) +    \
     w[(i + 9) & 15] +                                                                             \
     (Rotr32(w[(i + 1) & 15], 7) ^ Rotr32(w[(i + 1) & 15], 18) ^ (w[(i + 1) & 15] >> 3)))

#define SHA256_EIGHT(k, w0, w1, w2, w3, w4, w5, w6, w7)                                            \
    SHA256_ROUND(a, b, c, d, e, f, g, h, (k)[0], w0);                                              \
    SHA256_ROUND(h, a, b, c, d, e, f, g, (k)[1], w1);                                              \
    SHA256_ROUND(g, h, a, b, c, d, e, f, (k)[2], w2);                                              \
    SHA256_ROUND(f, g, h, a, b, c, d, e, (k)[3], w3);                                              \
    SHA256_ROUND(e, f, g, h, a, b, c, d, (k)[4], w4);                                              \
    SHA256_ROUND(d, e, f, g, h, a, b, c, (k)[5], w5);                                              \
    SHA256_ROUND(c, d, e, f, g, h, a, b, (k)[6], w6);                                              \
    SHA256_ROUND(b, c, d, e, f, g, h, a, (k)[7], w7)

static void Sha256Portable(uint32_t* state, const uint8_t* in, size_t count) {
    uint32_t w[16];
    while (count-- != 0) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBe32(in + 4 * i);
        SHA256_EIGHT(kRound, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
        SHA256_EIGHT(kRound + 8, w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
        for (int r = 16; r < 64; r += 16) {
            const uint32_t* k = kRound + r;
            SHA256_EIGHT(k, SHA256_SCHEDULE(w, 0), SHA256_SCHEDULE(w, 1), SHA256_SCHEDULE(w, 2),
                         SHA256_SCHEDULE(w, 3), SHA256_SCHEDULE(w, 4), SHA256_SCHEDULE(w, 5),
                         SHA256_SCHEDULE(w, 6), SHA256_SCHEDULE(w, 7));
            SHA256_EIGHT(k + 8, SHA256_SCHEDULE(w, 8), SHA256_SCHEDULE(w, 9),
                         SHA256_SCHEDULE(w, 10), SHA256_SCHEDULE(w, 11), SHA256_SCHEDULE(w, 12),
                         SHA256_SCHEDULE(w, 13), SHA256_SCHEDULE(w, 14), SHA256_SCHEDULE(w, 15));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
        in += 64;
    }
    // The message words are as secret as the message.
    volatile uint32_t* wipe = w;
    for (int i = 0; i < 16; ++i)
        wipe[i] = 0;
}

#if KIV_X86
// The SHA extensions keep the state in two registers, (A, B, E, F) and (C, D, G, H) from the
// highest lane down; SHA256RNDS2 does two rounds on them, SHA256MSG1 and SHA256MSG2 compute
// four schedule words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) static void
Sha256Extensions(uint32_t* state, const uint8_t* in, size_t count) {
    const __m128i byteSwap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    const __m128i* k = reinterpret_cast<const __m128i*>(kRound);
    // Lanes listed from the highest down.
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));      // D C B A
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)); // H G F E
    low = _mm_shuffle_epi32(low, 0xB1);                                          // C D A B
    high = _mm_shuffle_epi32(high, 0x1B);                                        // E F G H
    __m128i abef = _mm_alignr_epi8(low, high, 8);                                // A B E F
    __m128i cdgh = _mm_blend_epi16(high, low, 0xF0);                             // C D G H

    while (count-- != 0) {
        const __m128i abefStart = abef, cdghStart = cdgh;
        const __m128i* words = reinterpret_cast<const __m128i*>(in);
        __m128i m0 = _mm_shuffle_epi8(_mm_loadu_si128(words), byteSwap);
        __m128i m1 = _mm_shuffle_epi8(_mm_loadu_si128(words + 1), byteSwap);
        __m128i m2 = _mm_shuffle_epi8(_mm_loadu_si128(words + 2), byteSwap);
        __m128i m3 = _mm_shuffle_epi8(_mm_loadu_si128(words + 3), byteSwap);
        __m128i wk;

// The 64 rounds go in 16 groups of four; group g uses the words in register g % 4. The
// schedule runs ahead of the rounds, so that its own latency never stalls them: during
// group g, SHA256MSG2 finishes the words of group g + 1 and SHA256MSG1 starts those of
// group g + 2, each placed between the group's two SHA256RNDS2.
#define SHA256X_FIRST(m, g)                                                                        \
    wk = _mm_add_epi32(m, _mm_load_si128(k + (g)));                                                \
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk)
#define SHA256X_SECOND() abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(wk, 0x0E))
// Words of the next group into `next` (which holds SHA256MSG1 of its inputs).
#define SHA256X_MSG2(next, current, previous)                                                      \
    next = _mm_sha256msg2_epu32(_mm_add_epi32(next, _mm_alignr_epi8(current, previous, 4)), current)
// One group in the steady state: its rounds, the next group's words, and the start of the
// group after that.
#define SHA256X_GROUP(g, m0, m1, m2, m3)                                                           \
    SHA256X_FIRST(m3, g);                                                                          \
    SHA256X_MSG2(m0, m3, m2);                                                                      \
    SHA256X_SECOND();                                                                              \
    m1 = _mm_sha256msg1_epu32(m1, m2)

        SHA256X_FIRST(m0, 0);
        SHA256X_SECOND();
        SHA256X_FIRST(m1, 1);
        SHA256X_SECOND();
        SHA256X_FIRST(m2, 2);
        SHA256X_SECOND();
        m0 = _mm_sha256msg1_epu32(m0, m1);
        SHA256X_GROUP(3, m0, m1, m2, m3);
        SHA256X_GROUP(4, m1, m2, m3, m0);
        SHA256X_GROUP(5, m2, m3, m0, m1);
        SHA256X_GROUP(6, m3, m0, m1, m2);
        SHA256X_GROUP(7, m0, m1, m2, m3);
        SHA256X_GROUP(8, m1, m2, m3, m0);
        SHA256X_GROUP(9, m2, m3, m0, m1);
        SHA256X_GROUP(10, m3, m0, m1, m2);
        SHA256X_GROUP(11, m0, m1, m2, m3);
        SHA256X_GROUP(12, m1, m2, m3, m0);
        SHA256X_GROUP(13, m2, m3, m0, m1);
        SHA256X_FIRST(m2, 14);
        SHA256X_MSG2(m3, m2, m1);
        SHA256X_SECOND();
        SHA256X_FIRST(m3, 15);
        SHA256X_SECOND();
#undef SHA256X_FIRST
#undef SHA256X_SECOND
#undef SHA256X_MSG2
#undef SHA256X_GROUP
        abef = _mm_add_epi32(abef, abefStart);
        cdgh = _mm_add_epi32(cdgh, cdghStart);
        in += 64;
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B); // F E B A
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1); // D C H G
    low = _mm_blend_epi16(feba, dchg, 0xF0);            // D C B A
    high = _mm_alignr_epi8(dchg, feba, 8);              // H G F E
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), high);
}
#endif

static void Sha256Compress(DigestContext* context, const uint8_t* blocks, size_t count) {
#if KIV_X86
    if (context->engine == kDigestEngineShaExtensions) {
        Sha256Extensions(context->state.w32, blocks, count);
        return;
    }
#endif
    Sha256Portable(context->state.w32, blocks, count);
}

static void Sha224Init(DigestContext* context) {
    memcpy(context->state.w32, kInit224, sizeof kInit224);
    context->engine = DigestChooseEngine(kDigestFamilySha);
}

static void Sha256Init(DigestContext* context) {
    memcpy(context->state.w32, kInit256, sizeof kInit256);
    context->engine = DigestChooseEngine(kDigestFamilySha);
}

static void Sha256Finish(DigestContext* context, uint8_t* out) {
    DigestPad(context, 8, 1);
    for (uint32_t i = 0; i < context->algorithm->digest_size / 4; ++i)
        StoreBe32(out + 4 * i, context->state.w32[i]);
}

const DigestAlgorithm kDigestSha224 = {
    "SHA-224", 28, 64, kDer224, sizeof kDer224, Sha224Init, Sha256Compress, Sha256Finish,
};

const DigestAlgorithm kDigestSha256 = {
    "SHA-256", 32, 64, kDer256, sizeof kDer256, Sha256Init, Sha256Compress, Sha256Finish,
};

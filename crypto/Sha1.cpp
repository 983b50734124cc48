// SHA-1 (FIPS 180-4 section 6.1): the portable compression function, and the one on the
// processor's SHA extensions that contexts use when DigestInit found them.
#include "crypto/DigestBlock.h"

#if KIV_X86
#include <immintrin.h>
#endif

namespace {

const uint32_t kInit[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u};

const uint8_t kDer[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                        0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};

} // namespace

// The three round functions of the four stages; the third (majority) is written as
// (b & c) + (d & (b ^ c)), whose two terms never share a bit, so the additions may be
// reordered around the dependency on a.
#define SHA1_F0(b, c, d) (d ^ (b & (c ^ d)))
#define SHA1_F1(b, c, d) (b ^ c ^ d)
#define SHA1_F2(b, c, d) ((b & c) + (d & (b ^ c)))

// One round on working variables named by the caller, which rotates them by renaming.
#define SHA1_ROUND(f, k, a, b, c, d, e, w)                                                         \
    do {                                                                                           \
        e += Rotl32(a, 5) + f(b, c, d) + (k) + (w);                                                \
        b = Rotl32(b, 30);                                                                         \
    } while (0)

// Message word i of the 16-word window, rewritten for the round 16 later.
#define SHA1_SCHEDULE(w, i)                                                                        \
    (w[(i)] = Rotl32(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i)], 1))

#define SHA1_FIVE(f, k, w0, w1, w2, w3, w4)                                                        \
    SHA1_ROUND(f, k, a, b, c, d, e, w0);                                                           \
    SHA1_ROUND(f, k, e, a, b, c, d, w1);                                                           \
    SHA1_ROUND(f, k, d, e, a, b, c, w2);                                                           \
    SHA1_ROUND(f, k, c, d, e, a, b, w3);                                                           \
    SHA1_ROUND(f, k, b, c, d, e, a, w4)

#define SHA1_LOADED(f, k, i) SHA1_FIVE(f, k, w[i], w[i + 1], w[i + 2], w[i + 3], w[i + 4])
#define SHA1_SCHEDULED(f, k, i)                                                                    \
    SHA1_FIVE(f, k, SHA1_SCHEDULE(w, (i)&15), SHA1_SCHEDULE(w, (i + 1) & 15),                      \
              SHA1_SCHEDULE(w, (i + 2) & 15), SHA1_SCHEDULE(w, (i + 3) & 15),                      \
              SHA1_SCHEDULE(w, (i + 4) & 15))

static void Sha1Portable(uint32_t* state, const uint8_t* in, size_t count) {
    uint32_t w[16];
    while (count-- != 0) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBe32(in + 4 * i);
        SHA1_LOADED(SHA1_F0, 0x5a827999u, 0);
        SHA1_LOADED(SHA1_F0, 0x5a827999u, 5);
        SHA1_LOADED(SHA1_F0, 0x5a827999u, 10);
        SHA1_ROUND(SHA1_F0, 0x5a827999u, a, b, c, d, e, w[15]);
        SHA1_ROUND(SHA1_F0, 0x5a827999u, e, a, b, c, d, SHA1_SCHEDULE(w, 0));
        SHA1_ROUND(SHA1_F0, 0x5a827999u, d, e, a, b, c, SHA1_SCHEDULE(w, 1));
        SHA1_ROUND(SHA1_F0, 0x5a827999u, c, d, e, a, b, SHA1_SCHEDULE(w, 2));
        SHA1_ROUND(SHA1_F0, 0x5a827999u, b, c, d, e, a, SHA1_SCHEDULE(w, 3));
        SHA1_SCHEDULED(SHA1_F1, 0x6ed9eba1u, 20);
        SHA1_SCHEDULED(SHA1_F1, 0x6ed9eba1u, 25);
        SHA1_SCHEDULED(SHA1_F1, 0x6ed9eba1u, 30);
        SHA1_SCHEDULED(SHA1_F1, 0x6ed9eba1u, 35);
        SHA1_SCHEDULED(SHA1_F2, 0x8f1bbcdcu, 40);
        SHA1_SCHEDULED(SHA1_F2, 0x8f1bbcdcu, 45);
        SHA1_SCHEDULED(SHA1_F2, 0x8f1bbcdcu, 50);
        SHA1_SCHEDULED(SHA1_F2, 0x8f1bbcdcu, 55);
        SHA1_SCHEDULED(SHA1_F1, 0xca62c1d6u, 60);
        SHA1_SCHEDULED(SHA1_F1, 0xca62c1d6u, 65);
        SHA1_SCHEDULED(SHA1_F1, 0xca62c1d6u, 70);
        SHA1_SCHEDULED(SHA1_F1, 0xca62c1d6u, 75);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        in += 64;
    }
    // The message words are as secret as the message.
    volatile uint32_t* wipe = w;
    for (int i = 0; i < 16; ++i)
        wipe[i] = 0;
}

#if KIV_X86
// The SHA extensions hold A, B, C, D in one register from the highest lane down and E in
// the highest lane of another; SHA1RNDS4 does four rounds, SHA1NEXTE derives the next E
// from the A of four rounds before, SHA1MSG1 and SHA1MSG2 compute four schedule words.
__attribute__((target("sha,sse4.1,ssse3"))) static void
Sha1Extensions(uint32_t* state, const uint8_t* in, size_t count) {
    // Whole-register byte reversal: word 0 of the block lands in the highest lane.
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m128i abcd =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    while (count-- != 0) {
        const __m128i abcdStart = abcd, eStart = e0;
        const __m128i* words = reinterpret_cast<const __m128i*>(in);
        __m128i m0 = _mm_shuffle_epi8(_mm_loadu_si128(words), reverse);
        __m128i m1 = _mm_shuffle_epi8(_mm_loadu_si128(words + 1), reverse);
        __m128i m2 = _mm_shuffle_epi8(_mm_loadu_si128(words + 2), reverse);
        __m128i m3 = _mm_shuffle_epi8(_mm_loadu_si128(words + 3), reverse);
        __m128i e1;

// The 80 rounds go in 20 groups of four; group g uses the words in register g % 4 and
// the round function of stage g / 5. eIn brings E (plus the group's first word) in, eOut
// keeps the A from before the group, from which SHA1NEXTE makes the next group's E; the
// two swap roles from one group to the next.
#define SHA1X_ROUNDS(eIn, eOut, m, f)                                                              \
    eIn = _mm_sha1nexte_epu32(eIn, m);                                                             \
    eOut = abcd;                                                                                   \
    abcd = _mm_sha1rnds4_epu32(abcd, eIn, f)
// The schedule runs ahead of the rounds: during group g, SHA1MSG2 finishes the words of
// group g + 1 (into `next`, which holds SHA1MSG1 of its inputs) and SHA1MSG1 starts those
// of group g + 2.
#define SHA1X_GROUP(eIn, eOut, f, m0, m1, m2, m3)                                                  \
    SHA1X_ROUNDS(eIn, eOut, m3, f);                                                                \
    m0 = _mm_sha1msg2_epu32(_mm_xor_si128(m0, m2), m3);                                            \
    m1 = _mm_sha1msg1_epu32(m1, m2)

        // The first group adds E unrotated.
        e0 = _mm_add_epi32(e0, m0);
        e1 = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
        SHA1X_ROUNDS(e1, e0, m1, 0);
        SHA1X_ROUNDS(e0, e1, m2, 0);
        m0 = _mm_sha1msg1_epu32(m0, m1);
        SHA1X_GROUP(e1, e0, 0, m0, m1, m2, m3); // 3
        SHA1X_GROUP(e0, e1, 0, m1, m2, m3, m0);
        SHA1X_GROUP(e1, e0, 1, m2, m3, m0, m1); // 5
        SHA1X_GROUP(e0, e1, 1, m3, m0, m1, m2);
        SHA1X_GROUP(e1, e0, 1, m0, m1, m2, m3);
        SHA1X_GROUP(e0, e1, 1, m1, m2, m3, m0);
        SHA1X_GROUP(e1, e0, 1, m2, m3, m0, m1);
        SHA1X_GROUP(e0, e1, 2, m3, m0, m1, m2); // 10
        SHA1X_GROUP(e1, e0, 2, m0, m1, m2, m3);
        SHA1X_GROUP(e0, e1, 2, m1, m2, m3, m0);
        SHA1X_GROUP(e1, e0, 2, m2, m3, m0, m1);
        SHA1X_GROUP(e0, e1, 2, m3, m0, m1, m2);
        SHA1X_GROUP(e1, e0, 3, m0, m1, m2, m3); // 15
        SHA1X_GROUP(e0, e1, 3, m1, m2, m3, m0);
        SHA1X_GROUP(e1, e0, 3, m2, m3, m0, m1);
        SHA1X_ROUNDS(e0, e1, m2, 3); // 18
        m3 = _mm_sha1msg2_epu32(_mm_xor_si128(m3, m1), m2);
        SHA1X_ROUNDS(e1, e0, m3, 3);
#undef SHA1X_ROUNDS
#undef SHA1X_GROUP
        // E after the last group is the rotated A from before it, plus E's start value.
        e0 = _mm_sha1nexte_epu32(e0, eStart);
        abcd = _mm_add_epi32(abcd, abcdStart);
        in += 64;
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}
#endif

static void Sha1Compress(DigestContext* context, const uint8_t* blocks, size_t count) {
#if KIV_X86
    if (context->engine == kDigestEngineShaExtensions) {
        Sha1Extensions(context->state.w32, blocks, count);
        return;
    }
#endif
    Sha1Portable(context->state.w32, blocks, count);
}

static void Sha1Init(DigestContext* context) {
    memcpy(context->state.w32, kInit, sizeof kInit);
    context->engine = DigestChooseEngine(kDigestFamilySha);
}

static void Sha1Finish(DigestContext* context, uint8_t* out) {
    DigestPad(context, 8, 1);
    for (int i = 0; i < 5; ++i)
        StoreBe32(out + 4 * i, context->state.w32[i]);
}

const DigestAlgorithm kDigestSha1 = {
    "SHA-1", 20, 64, kDer, sizeof kDer, Sha1Init, Sha1Compress, Sha1Finish,
};

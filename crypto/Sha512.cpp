// SHA-384, SHA-512, SHA-512/224 and SHA-512/256 (FIPS 180-4 section 6.4 to 6.7): one
// compression function in portable C++, four initial values and truncations.
#include "crypto/ConstantTime.h"
#include "crypto/DigestBlock.h"

namespace {

// First 64 bits of the fractional parts of the cube roots of the first 80 primes.
alignas(64) const uint64_t kRound[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull,
    0x3956c25bf348b538ull, 0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull,
    0xd807aa98a3030242ull, 0x12835b0145706fbeull, 0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull,
    0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull, 0xc19bf174cf692694ull,
    0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull,
    0x983e5152ee66dfabull, 0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull,
    0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull, 0x06ca6351e003826full, 0x142929670a0e6e70ull,
    0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull, 0x53380d139d95b3dfull,
    0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull,
    0xd192e819d6ef5218ull, 0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull,
    0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull, 0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull,
    0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull, 0x682e6ff3d6b2b8a3ull,
    0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull,
    0xca273eceea26619cull, 0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull,
    0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull, 0x113f9804bef90daeull, 0x1b710b35131c471bull,
    0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull, 0x431d67c49c100d4cull,
    0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull,
};

// First 64 bits of the fractional parts of the square roots of the first 8 primes.
const uint64_t kInit512[8] = {
    0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull, 0xa54ff53a5f1d36f1ull,
    0x510e527fade682d1ull, 0x9b05688c2b3e6c1full, 0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull,
};

// The same of the 9th to 16th primes.
const uint64_t kInit384[8] = {
    0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull, 0x152fecd8f70e5939ull,
    0x67332667ffc00b31ull, 0x8eb44a8768581511ull, 0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull,
};

// FIPS 180-4 section 5.3.6: SHA-512 of "SHA-512/224" and "SHA-512/256" under the SHA-512
// initial value with every byte xored with 0xa5.
const uint64_t kInit512_224[8] = {
    0x8c3d37c819544da2ull, 0x73e1996689dcd4d6ull, 0x1dfab7ae32ff9c82ull, 0x679dd514582f9fcfull,
    0x0f6d2b697bd44da8ull, 0x77e36f7304c48942ull, 0x3f9d85a86a1d36c8ull, 0x1112e6ad91d692a1ull,
};
const uint64_t kInit512_256[8] = {
    0x22312194fc2bf72cull, 0x9f555fa3c84c64c2ull, 0x2393b86b6f53b151ull, 0x963877195940eabdull,
    0x96283ee2a88effe3ull, 0xbe5e1e2553863992ull, 0x2b0199fc2c85b8aaull, 0x0eb72ddc81c52ca2ull,
};

const uint8_t kDer384[] = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                           0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
const uint8_t kDer512[] = {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                           0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};
const uint8_t kDer512_224[] = {0x30, 0x2d, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                               0x65, 0x03, 0x04, 0x02, 0x05, 0x05, 0x00, 0x04, 0x1c};
const uint8_t kDer512_256[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                               0x65, 0x03, 0x04, 0x02, 0x06, 0x05, 0x00, 0x04, 0x20};

} // namespace

// One round on working variables named by the caller, so that the eight of them stay in
// registers and rotate by renaming instead of by moves. Maj(a, b, c) is b ^ ((a ^ b) &
// (b ^ c)), and this round's b ^ c is the last round's a ^ b, kept in `bc`.
#define SHA512_ROUND(a, b, c, d, e, f, g, h, wk)                                                   \
    do {                                                                                           \
        const uint64_t t1 =                                                                        \
            h + (wk) + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + (g ^ (e & (f ^ g)));      \
        const uint64_t ab = a ^ b;                                                                 \
        const uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + (b ^ (ab & bc));     \
        bc = ab;                                                                                   \
        d += t1;                                                                                   \
        h = t1 + t2;                                                                               \
    } while (0)

// Eight rounds, the first of them round 16n + i (i 0 or 8), their W + K at `wk` + 2i,
// 2i + 1, 2i + 4, 2i + 5, ... (see WK_INDEX).
#define SHA512_EIGHT(wk, i)                                                                        \
    SHA512_ROUND(a, b, c, d, e, f, g, h, wk[2 * (i)]);                                             \
    SHA512_ROUND(h, a, b, c, d, e, f, g, wk[2 * (i) + 1]);                                         \
    SHA512_ROUND(g, h, a, b, c, d, e, f, wk[2 * (i) + 4]);                                         \
    SHA512_ROUND(f, g, h, a, b, c, d, e, wk[2 * (i) + 5]);                                         \
    SHA512_ROUND(e, f, g, h, a, b, c, d, wk[2 * (i) + 8]);                                         \
    SHA512_ROUND(d, e, f, g, h, a, b, c, wk[2 * (i) + 9]);                                         \
    SHA512_ROUND(c, d, e, f, g, h, a, b, wk[2 * (i) + 12]);                                        \
    SHA512_ROUND(b, c, d, e, f, g, h, a, wk[2 * (i) + 13])

// The rounds read W + K of round t of block `lane` (0 or 1) at wk[WK_INDEX(t) + 2 * lane]:
// the layout in which the AVX2 build schedules two blocks at once (below).
#define WK_INDEX(t) (4 * ((t) >> 1) + ((t)&1))

__attribute__((always_inline)) static inline void Sha512Rounds(uint64_t* state,
                                                               const uint64_t* wk) {
    uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    uint64_t bc = b ^ c;
    for (const uint64_t* end = wk + WK_INDEX(80); wk != end; wk += WK_INDEX(16)) {
        SHA512_EIGHT(wk, 0);
        SHA512_EIGHT(wk, 8);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

// The schedule of one block, word by word, into lane 0 of `wk`: the portable code's.
static inline void Sha512ScheduleOne(const uint8_t* in, uint64_t* wk) {
    uint64_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = LoadBe64(in + 8 * t);
    for (int t = 16; t < 80; ++t) {
        const uint64_t s0 = Rotr64(w[t - 15], 1) ^ Rotr64(w[t - 15], 8) ^ (w[t - 15] >> 7);
        const uint64_t s1 = Rotr64(w[t - 2], 19) ^ Rotr64(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    for (int t = 0; t < 80; ++t)
        wk[WK_INDEX(t)] = w[t] + kRound[t];
    CryptoWipe(w, sizeof w);
}

static void Sha512Portable(uint64_t* state, const uint8_t* in, size_t count) {
    uint64_t wk[160];
    for (; count != 0; --count, in += 128) {
        Sha512ScheduleOne(in, wk);
        Sha512Rounds(state, wk);
    }
    CryptoWipe(wk, sizeof wk);
}

#if KIV_X86
// The schedules of two blocks are computed together, as the words of rounds t and t + 1 of
// both blocks in one vector of four (GCC's and Clang's vector extensions, compiled for
// AVX2). Round t needs the words of rounds t - 2 and t - 1, so two rounds is as far as one
// step can go; the second block fills the other half of a 256-bit register for free.
typedef uint64_t U64x4 __attribute__((vector_size(32)));
typedef uint64_t U64x2 __attribute__((vector_size(16)));
typedef uint8_t U8x32 __attribute__((vector_size(32)));
typedef uint8_t U8x16 __attribute__((vector_size(16)));

// Macros rather than functions: a function taking a 256-bit vector by value would have
// two calling conventions, with AVX and without.
#define ROTR64X4(x, n) (((x) >> (n)) | ((x) << (64 - (n))))
// The words one round later than `x` in each block: (x1, y0, x3, y2).
#define ONE_ROUND_ON(x, y) __builtin_shufflevector(x, y, 1, 4, 3, 6)

// W + K of all 80 rounds of blocks `first` and `second` into `wk` (160 words, see WK_INDEX).
__attribute__((always_inline)) static inline void
Sha512Schedule(const uint8_t* first, const uint8_t* second, uint64_t* wk) {
    U64x4 w[40]; // words of rounds 2i and 2i + 1 of both blocks
    // Whole vectors are loaded and combined by shuffles: a vector read back from narrower
    // stores would wait for them to leave the store buffer.
    for (int i = 0; i < 8; ++i) {
        U8x16 low, high;
        memcpy(&low, first + 16 * i, 16);
        memcpy(&high, second + 16 * i, 16);
        // Both halves side by side, each word turned big-endian.
        const U8x32 bytes =
            __builtin_shufflevector(low, high, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,
                                    23, 22, 21, 20, 19, 18, 17, 16, 31, 30, 29, 28, 27, 26, 25, 24);
        w[i] = reinterpret_cast<U64x4>(bytes);
    }
    for (int i = 8; i < 40; ++i) {
        const U64x4 w15 = ONE_ROUND_ON(w[i - 8], w[i - 7]), w7 = ONE_ROUND_ON(w[i - 4], w[i - 3]);
        const U64x4 w2 = w[i - 1];
        w[i] = w[i - 8] + (ROTR64X4(w15, 1) ^ ROTR64X4(w15, 8) ^ (w15 >> 7)) + w7 +
               (ROTR64X4(w2, 19) ^ ROTR64X4(w2, 61) ^ (w2 >> 6));
    }
    for (int i = 0; i < 40; ++i) {
        U64x2 k;
        memcpy(&k, kRound + 2 * i, sizeof k);
        const U64x4 sum = w[i] + __builtin_shufflevector(k, k, 0, 1, 0, 1);
        memcpy(wk + 4 * i, &sum, sizeof sum);
    }
    // The message words are as secret as the message.
    CryptoWipe(w, sizeof w);
}

// The same rounds on processors with AVX2, whose 256-bit registers take the schedules of
// two blocks at once, and BMI2, whose non-destructive rotate saves the copy that rotating a
// still-needed value costs otherwise. A lone last block is scheduled beside itself.
__attribute__((target("avx2,bmi2"))) static void Sha512Avx2(uint64_t* state, const uint8_t* in,
                                                            size_t count) {
    uint64_t wk[160];
    while (count != 0) {
        const size_t blocks = count > 1 ? 2 : 1;
        Sha512Schedule(in, in + 128 * (blocks - 1), wk);
        for (size_t lane = 0; lane < blocks; ++lane)
            Sha512Rounds(state, wk + 2 * lane);
        in += 128 * blocks;
        count -= blocks;
    }
    CryptoWipe(wk, sizeof wk);
}
#endif

static void Sha512Compress(DigestContext* context, const uint8_t* in, size_t count) {
#if KIV_X86
    if (context->engine == kDigestEngineAvx2) {
        Sha512Avx2(context->state.w64, in, count);
        return;
    }
#endif
    Sha512Portable(context->state.w64, in, count);
}

static void Sha384Init(DigestContext* context) {
    memcpy(context->state.w64, kInit384, sizeof kInit384);
    context->engine = DigestChooseEngine(kDigestFamilySha512);
}

static void Sha512Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512, sizeof kInit512);
    context->engine = DigestChooseEngine(kDigestFamilySha512);
}

static void Sha512_224Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512_224, sizeof kInit512_224);
    context->engine = DigestChooseEngine(kDigestFamilySha512);
}

static void Sha512_256Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512_256, sizeof kInit512_256);
    context->engine = DigestChooseEngine(kDigestFamilySha512);
}

// The truncated forms keep the leading bytes of the big-endian state; SHA-512/224 ends in
// the middle of a word.
static void Sha512Finish(DigestContext* context, uint8_t* out) {
    DigestPad(context, 16, 1);
    uint8_t full[64];
    for (int i = 0; i < 8; ++i)
        StoreBe64(full + 8 * i, context->state.w64[i]);
    memcpy(out, full, context->algorithm->digest_size);
    CryptoWipe(full, sizeof full);
}

const DigestAlgorithm kDigestSha384 = {
    "SHA-384", 48, 128, kDer384, sizeof kDer384, Sha384Init, Sha512Compress, Sha512Finish,
};

const DigestAlgorithm kDigestSha512 = {
    "SHA-512", 64, 128, kDer512, sizeof kDer512, Sha512Init, Sha512Compress, Sha512Finish,
};

const DigestAlgorithm kDigestSha512_224 = {
    "SHA-512/224",  28,           128, kDer512_224, sizeof kDer512_224, Sha512_224Init,
    Sha512Compress, Sha512Finish,
};

const DigestAlgorithm kDigestSha512_256 = {
    "SHA-512/256",  32,           128, kDer512_256, sizeof kDer512_256, Sha512_256Init,
    Sha512Compress, Sha512Finish,
};

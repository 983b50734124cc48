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

// One round on working variables named by the caller (see SHA256_ROUND).
#define SHA512_ROUND(a, b, c, d, e, f, g, h, k, w)                                                 \
    do {                                                                                           \
        const uint64_t t1 =                                                                        \
            h + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + (g ^ (e & (f ^ g))) + (k) + (w); \
        const uint64_t t2 =                                                                        \
            (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + (b ^ ((a ^ b) & (b ^ c)));           \
        d += t1;                                                                                   \
        h = t1 + t2;                                                                               \
    } while (0)

// Message word i of the 16-word window, rewritten for the round 16 later.
#define SHA512_SCHEDULE(w, i)                                                                      \
    (w[i] +=                                                                                       \
     (Rotr64(w[(i + 14) & 15], 19) ^ Rotr64(w[(i + 14) & 15], 61) ^ (w[(i + 14) & 15] >> 6)) +     \
     w[(i + 9) & 15] +                                                                             \
     (Rotr64(w[(i + 1) & 15], 1) ^ Rotr64(w[(i + 1) & 15], 8) ^ (w[(i + 1) & 15] >> 7)))

#define SHA512_EIGHT(k, w0, w1, w2, w3, w4, w5, w6, w7)                                            \
    SHA512_ROUND(a, b, c, d, e, f, g, h, (k)[0], w0);                                              \
    SHA512_ROUND(h, a, b, c, d, e, f, g, (k)[1], w1);                                              \
    SHA512_ROUND(g, h, a, b, c, d, e, f, (k)[2], w2);                                              \
    SHA512_ROUND(f, g, h, a, b, c, d, e, (k)[3], w3);                                              \
    SHA512_ROUND(e, f, g, h, a, b, c, d, (k)[4], w4);                                              \
    SHA512_ROUND(d, e, f, g, h, a, b, c, (k)[5], w5);                                              \
    SHA512_ROUND(c, d, e, f, g, h, a, b, (k)[6], w6);                                              \
    SHA512_ROUND(b, c, d, e, f, g, h, a, (k)[7], w7)

static void Sha512Compress(DigestContext* context, const uint8_t* in, size_t count) {
    uint64_t* state = context->state.w64;
    uint64_t w[16];
    while (count-- != 0) {
        uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBe64(in + 8 * i);
        SHA512_EIGHT(kRound, w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
        SHA512_EIGHT(kRound + 8, w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
        for (int r = 16; r < 80; r += 16) {
            const uint64_t* k = kRound + r;
            SHA512_EIGHT(k, SHA512_SCHEDULE(w, 0), SHA512_SCHEDULE(w, 1), SHA512_SCHEDULE(w, 2),
                         SHA512_SCHEDULE(w, 3), SHA512_SCHEDULE(w, 4), SHA512_SCHEDULE(w, 5),
                         SHA512_SCHEDULE(w, 6), SHA512_SCHEDULE(w, 7));
            SHA512_EIGHT(k + 8, SHA512_SCHEDULE(w, 8), SHA512_SCHEDULE(w, 9),
                         SHA512_SCHEDULE(w, 10), SHA512_SCHEDULE(w, 11), SHA512_SCHEDULE(w, 12),
                         SHA512_SCHEDULE(w, 13), SHA512_SCHEDULE(w, 14), SHA512_SCHEDULE(w, 15));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
        in += 128;
    }
    // The message words are as secret as the message.
    volatile uint64_t* wipe = w;
    for (int i = 0; i < 16; ++i)
        wipe[i] = 0;
}

static void Sha384Init(DigestContext* context) {
    memcpy(context->state.w64, kInit384, sizeof kInit384);
}

static void Sha512Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512, sizeof kInit512);
}

static void Sha512_224Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512_224, sizeof kInit512_224);
}

static void Sha512_256Init(DigestContext* context) {
    memcpy(context->state.w64, kInit512_256, sizeof kInit512_256);
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

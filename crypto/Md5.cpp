// MD5 (RFC 1321) in portable C++, kept for interoperability (HMAC-MD5, old checksums); it
// is not collision resistant and nothing here relies on that property.
#include "crypto/DigestBlock.h"

namespace {

// floor(2^32 * |sin(i + 1)|), RFC 1321 section 3.4.
const uint32_t kSine[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u,
    0xfd469501u, 0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u,
    0xa679438eu, 0x49b40821u, 0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du,
    0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u, 0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu,
    0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au, 0xfffa3942u, 0x8771f681u, 0x6d9d6122u,
    0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u, 0x289b7ec6u, 0xeaa127fau,
    0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u, 0xf4292244u,
    0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu,
    0xeb86d391u,
};

const uint32_t kInit[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

const uint8_t kDer[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                        0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};

} // namespace

// The four auxiliary functions. G is written as a sum of two terms that never share a bit,
// so that the term not depending on b (the previous step's result) can be added early.
#define MD5_STEP_F(a, b, c, d, x, t, s) a = b + Rotl32(a + (x) + (t) + (d ^ (b & (c ^ d))), s)
#define MD5_STEP_G(a, b, c, d, x, t, s) a = b + Rotl32(a + (x) + (t) + (c & ~d) + (b & d), s)
#define MD5_STEP_H(a, b, c, d, x, t, s) a = b + Rotl32(a + (x) + (t) + (b ^ c ^ d), s)
#define MD5_STEP_I(a, b, c, d, x, t, s) a = b + Rotl32(a + (x) + (t) + (c ^ (b | ~d)), s)

// Four steps of one round, the message words and shifts given; j indexes kSine.
#define MD5_FOUR(step, j, x0, x1, x2, x3, s0, s1, s2, s3)                                          \
    step(a, b, c, d, x[x0], kSine[j], s0);                                                         \
    step(d, a, b, c, x[x1], kSine[j + 1], s1);                                                     \
    step(c, d, a, b, x[x2], kSine[j + 2], s2);                                                     \
    step(b, c, d, a, x[x3], kSine[j + 3], s3)

static void Md5Compress(DigestContext* context, const uint8_t* in, size_t count) {
    uint32_t* state = context->state.w32;
    uint32_t x[16];
    while (count-- != 0) {
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        for (int i = 0; i < 16; ++i)
            x[i] = LoadLe32(in + 4 * i);
        MD5_FOUR(MD5_STEP_F, 0, 0, 1, 2, 3, 7, 12, 17, 22);
        MD5_FOUR(MD5_STEP_F, 4, 4, 5, 6, 7, 7, 12, 17, 22);
        MD5_FOUR(MD5_STEP_F, 8, 8, 9, 10, 11, 7, 12, 17, 22);
        MD5_FOUR(MD5_STEP_F, 12, 12, 13, 14, 15, 7, 12, 17, 22);
        MD5_FOUR(MD5_STEP_G, 16, 1, 6, 11, 0, 5, 9, 14, 20);
        MD5_FOUR(MD5_STEP_G, 20, 5, 10, 15, 4, 5, 9, 14, 20);
        MD5_FOUR(MD5_STEP_G, 24, 9, 14, 3, 8, 5, 9, 14, 20);
        MD5_FOUR(MD5_STEP_G, 28, 13, 2, 7, 12, 5, 9, 14, 20);
        MD5_FOUR(MD5_STEP_H, 32, 5, 8, 11, 14, 4, 11, 16, 23);
        MD5_FOUR(MD5_STEP_H, 36, 1, 4, 7, 10, 4, 11, 16, 23);
        MD5_FOUR(MD5_STEP_H, 40, 13, 0, 3, 6, 4, 11, 16, 23);
        MD5_FOUR(MD5_STEP_H, 44, 9, 12, 15, 2, 4, 11, 16, 23);
        MD5_FOUR(MD5_STEP_I, 48, 0, 7, 14, 5, 6, 10, 15, 21);
        MD5_FOUR(MD5_STEP_I, 52, 12, 3, 10, 1, 6, 10, 15, 21);
        MD5_FOUR(MD5_STEP_I, 56, 8, 15, 6, 13, 6, 10, 15, 21);
        MD5_FOUR(MD5_STEP_I, 60, 4, 11, 2, 9, 6, 10, 15, 21);
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        in += 64;
    }
    // The message words are as secret as the message.
    volatile uint32_t* wipe = x;
    for (int i = 0; i < 16; ++i)
        wipe[i] = 0;
}

static void Md5Init(DigestContext* context) {
    memcpy(context->state.w32, kInit, sizeof kInit);
}

static void Md5Finish(DigestContext* context, uint8_t* out) {
    DigestPad(context, 8, 0);
    for (int i = 0; i < 4; ++i)
        StoreLe32(out + 4 * i, context->state.w32[i]);
}

const DigestAlgorithm kDigestMd5 = {
    "MD5", 16, 64, kDer, sizeof kDer, Md5Init, Md5Compress, Md5Finish,
};

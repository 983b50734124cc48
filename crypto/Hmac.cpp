// HMAC keeps the two padded-key states as digest contexts, so the key is hashed once per
// HmacInit however many messages HmacReset starts after it.
#include "crypto/Hmac.h"

#include "crypto/ConstantTime.h"

#include <cstring>

// Starts `inner` and `outer` on the key's two padded blocks: K0 ^ ipad and K0 ^ opad, K0
// being the key (hashed first when longer than a block) padded with zeros to the block.
static int StartKey(DigestContext* inner, DigestContext* outer, const DigestAlgorithm* algorithm,
                    const void* key, size_t keySize) {
    if (algorithm == nullptr || (key == nullptr && keySize != 0) ||
        algorithm->block_size > kDigestMaxBlockSize || algorithm->digest_size > kDigestMaxSize)
        return 0;
    const uint32_t blockSize = algorithm->block_size;
    uint8_t pad[kDigestMaxBlockSize];
    memset(pad, 0, sizeof pad);
    int result = 1;
    if (keySize > blockSize)
        result = Digest(algorithm, key, keySize, pad, sizeof pad);
    else if (keySize != 0)
        memcpy(pad, key, keySize);
    for (uint32_t i = 0; i < blockSize; ++i)
        pad[i] ^= 0x36;
    result = result && DigestInit(inner, algorithm) && DigestUpdate(inner, pad, blockSize);
    // 0x36 ^ 0x5c turns the inner pad into the outer one.
    for (uint32_t i = 0; i < blockSize; ++i)
        pad[i] ^= 0x36 ^ 0x5c;
    result = result && DigestInit(outer, algorithm) && DigestUpdate(outer, pad, blockSize);
    CryptoWipe(pad, sizeof pad);
    return result;
}

// The outer hash over the inner digest, written to `out`; wipes the inner digest.
static int FinishOuter(DigestContext* inner, DigestContext* outer, uint8_t* out, size_t outSize) {
    uint8_t digest[kDigestMaxSize];
    const uint32_t size = inner->algorithm->digest_size;
    const int result = DigestFinal(inner, digest, sizeof digest) &&
                       DigestUpdate(outer, digest, size) && DigestFinal(outer, out, outSize);
    CryptoWipe(digest, sizeof digest);
    return result;
}

int HmacInit(HmacContext* context, const DigestAlgorithm* algorithm, const void* key,
             size_t keySize) {
    if (context == nullptr)
        return 0;
    if (!StartKey(&context->inner_start, &context->outer_start, algorithm, key, keySize)) {
        CryptoWipe(context, sizeof *context);
        return 0;
    }
    context->inner = context->inner_start;
    return 1;
}

int HmacUpdate(HmacContext* context, const void* data, size_t size) {
    if (context == nullptr)
        return 0;
    return DigestUpdate(&context->inner, data, size);
}

int HmacFinal(HmacContext* context, uint8_t* out, size_t outSize) {
    if (context == nullptr)
        return 0;
    int result = 0;
    if (context->inner.algorithm != nullptr && out != nullptr &&
        outSize >= context->inner.algorithm->digest_size)
        result = FinishOuter(&context->inner, &context->outer_start, out, outSize);
    CryptoWipe(context, sizeof *context);
    return result;
}

int HmacReset(HmacContext* context) {
    if (context == nullptr || context->inner_start.algorithm == nullptr)
        return 0;
    context->inner = context->inner_start;
    return 1;
}

// Two contexts instead of three: nothing is kept for a later reset.
int Hmac(const DigestAlgorithm* algorithm, const void* key, size_t keySize, const void* data,
         size_t size, uint8_t* out, size_t outSize) {
    DigestContext inner, outer;
    int result = algorithm != nullptr && out != nullptr && outSize >= algorithm->digest_size &&
                 StartKey(&inner, &outer, algorithm, key, keySize) &&
                 DigestUpdate(&inner, data, size) && FinishOuter(&inner, &outer, out, outSize);
    CryptoWipe(&inner, sizeof inner);
    CryptoWipe(&outer, sizeof outer);
    return result;
}

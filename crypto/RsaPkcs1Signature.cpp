#include "crypto/RsaSignature.h"

#include "crypto/ConstantTime.h"
#include "crypto/RsaPadding.h"

#include <cstring>

// EMSA-PKCS1-v1_5 (RFC 8017 9.2) of a digest into `size` bytes:
// 0x00 0x01 0xFF... 0x00 DigestInfo. At least eight 0xFF bytes, as the standard demands.
static int EncodePkcs1(const DigestAlgorithm* hash, const uint8_t* digest, size_t digestSize,
                       uint8_t* em, size_t size) {
    if (hash == nullptr || digest == nullptr || digestSize != hash->digest_size ||
        hash->der_prefix == nullptr)
        return 0;
    size_t infoSize = hash->der_prefix_size + digestSize;
    if (size < infoSize + 11)
        return 0;
    em[0] = 0x00;
    em[1] = 0x01;
    memset(em + 2, 0xFF, size - infoSize - 3);
    em[size - infoSize - 1] = 0x00;
    memcpy(em + size - infoSize, hash->der_prefix, hash->der_prefix_size);
    memcpy(em + size - digestSize, digest, digestSize);
    return 1;
}

int RsaPkcs1Sign(const RsaPrivateKey* key, const DigestAlgorithm* hash, const uint8_t* digest,
                 size_t digestSize, uint8_t* signature, size_t signatureSize) {
    if (key == nullptr || signature == nullptr)
        return 0;
    size_t k = RsaKeySize(RsaPrivateKeyPublic(key));
    if (k > kRsaMaxBlockSize || signatureSize < k)
        return 0;
    uint8_t em[kRsaMaxBlockSize];
    // The leading zero byte keeps the block below any modulus of k bytes.
    int result =
        EncodePkcs1(hash, digest, digestSize, em, k) && RsaPrivateOp(key, em, k, signature, k);
    CryptoWipe(em, sizeof em);
    return result;
}

// The signature's block is compared whole with the one rebuilt here: a parser would
// have to get every field right (the DigestInfo's lengths, its NULL, what follows the
// digest), a comparison cannot get any wrong. The comparison always runs and its outcome
// is not branched on, so nothing about where the blocks differ leaves the function.
int RsaPkcs1Verify(const RsaPublicKey* key, const DigestAlgorithm* hash, const uint8_t* digest,
                   size_t digestSize, const uint8_t* signature, size_t signatureSize) {
    if (key == nullptr || signature == nullptr)
        return 0;
    size_t k = RsaKeySize(key);
    if (k > kRsaMaxBlockSize || signatureSize != k)
        return 0;
    uint8_t em[kRsaMaxBlockSize] = {};
    uint8_t expected[kRsaMaxBlockSize] = {};
    // RsaPublicOp refuses a value at or above the modulus.
    int built = EncodePkcs1(hash, digest, digestSize, expected, k);
    int opened = RsaPublicOp(key, signature, k, em, k);
    int result = built & opened & CryptoEqual(em, expected, k);
    return result;
}

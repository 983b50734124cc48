#include "crypto/RsaSignature.h"

#include "crypto/ConstantTime.h"
#include "crypto/Mgf1.h"
#include "crypto/Random.h"
#include "crypto/RsaPadding.h"

#include <cstring>

// The encoded message of PSS has emBits = modBits - 1 bits, so that it stays below the
// modulus: emLen = ceil(emBits / 8) bytes, which is one byte short of the modulus when
// modBits is 1 more than a multiple of 8. Blocks here are always k bytes with the encoded
// message right-aligned (a leading zero byte in that case).
struct PssLayout {
    size_t k;        // modulus bytes
    size_t emLen;    // encoded message bytes, k or k - 1
    size_t dbLen;    // masked DB bytes: emLen - hLen - 1
    uint8_t topMask; // bits of EM's first byte that may be set
};

static int PssLayoutOf(const RsaPublicKey* key, const DigestAlgorithm* hash, PssLayout* layout) {
    uint32_t bits = RsaKeyBits(key);
    size_t k = RsaKeySize(key);
    if (k > kRsaMaxBlockSize)
        return 0;
    uint32_t emBits = bits - 1;
    layout->k = k;
    layout->emLen = (emBits + 7) / 8;
    // The leftmost 8 emLen - emBits bits (0 to 7) are zero.
    layout->topMask = static_cast<uint8_t>(0xFF >> (8 * layout->emLen - emBits));
    // The smallest encoding: an empty salt, the 0x01 separator, H and 0xBC.
    if (layout->emLen < hash->digest_size + 2)
        return 0;
    layout->dbLen = layout->emLen - hash->digest_size - 1;
    return 1;
}

// H = Hash(0x00 * 8 || mHash || salt), into `out` (digest_size bytes).
static int PssHash(const DigestAlgorithm* hash, const uint8_t* digest, const uint8_t* salt,
                   size_t saltSize, uint8_t* out) {
    static const uint8_t kZeros[8] = {};
    DigestContext context;
    int result = DigestInit(&context, hash) && DigestUpdate(&context, kZeros, sizeof kZeros) &&
                 DigestUpdate(&context, digest, hash->digest_size) &&
                 DigestUpdate(&context, salt, saltSize) &&
                 DigestFinal(&context, out, hash->digest_size);
    CryptoWipe(&context, sizeof context);
    return result;
}

int RsaPssSignWithSalt(const RsaPrivateKey* key, const DigestAlgorithm* hash,
                       const DigestAlgorithm* mgfHash, const uint8_t* salt, size_t saltSize,
                       const uint8_t* digest, size_t digestSize, uint8_t* signature,
                       size_t signatureSize) {
    if (key == nullptr || hash == nullptr || mgfHash == nullptr || digest == nullptr ||
        signature == nullptr || (salt == nullptr && saltSize != 0) ||
        digestSize != hash->digest_size)
        return 0;
    PssLayout layout;
    if (!PssLayoutOf(RsaPrivateKeyPublic(key), hash, &layout) || signatureSize < layout.k ||
        saltSize > layout.dbLen - 1)
        return 0;
    size_t hLen = hash->digest_size;
    uint8_t block[kRsaMaxBlockSize];
    uint8_t* em = block + (layout.k - layout.emLen);
    uint8_t* db = em;
    uint8_t* h = em + layout.dbLen;
    block[0] = 0; // only stays when emLen is k - 1
    // DB = PS (zeros) || 0x01 || salt, masked with MGF(H).
    size_t padding = layout.dbLen - saltSize - 1;
    memset(db, 0, padding);
    db[padding] = 0x01;
    if (saltSize != 0)
        memcpy(db + padding + 1, salt, saltSize);
    int result =
        PssHash(hash, digest, salt, saltSize, h) && Mgf1Xor(mgfHash, h, hLen, db, layout.dbLen);
    if (result) {
        db[0] &= layout.topMask;
        em[layout.emLen - 1] = 0xBC;
        result = RsaPrivateOp(key, block, layout.k, signature, layout.k);
    }
    CryptoWipe(block, sizeof block);
    return result;
}

// The salt is drawn only once the sizes are known to fit, so a refused call costs no
// randomness.
int RsaPssSign(const RsaPrivateKey* key, const DigestAlgorithm* hash,
               const DigestAlgorithm* mgfHash, size_t saltSize, const uint8_t* digest,
               size_t digestSize, uint8_t* signature, size_t signatureSize) {
    if (key == nullptr || hash == nullptr)
        return 0;
    PssLayout layout;
    if (!PssLayoutOf(RsaPrivateKeyPublic(key), hash, &layout) || saltSize > layout.dbLen - 1)
        return 0;
    uint8_t salt[kRsaMaxBlockSize];
    int result = CryptoRandomBytes(salt, saltSize) &&
                 RsaPssSignWithSalt(key, hash, mgfHash, salt, saltSize, digest, digestSize,
                                    signature, signatureSize);
    CryptoWipe(salt, sizeof salt);
    return result;
}

// EMSA-PSS-VERIFY (RFC 8017 9.1.2). Everything it looks at is public, so it may stop at
// the first fault; only the final comparison of H runs whatever came before.
int RsaPssVerify(const RsaPublicKey* key, const DigestAlgorithm* hash,
                 const DigestAlgorithm* mgfHash, size_t saltSize, const uint8_t* digest,
                 size_t digestSize, const uint8_t* signature, size_t signatureSize,
                 size_t* recoveredSaltSize) {
    if (recoveredSaltSize != nullptr)
        *recoveredSaltSize = 0;
    if (key == nullptr || hash == nullptr || mgfHash == nullptr || digest == nullptr ||
        signature == nullptr || digestSize != hash->digest_size)
        return 0;
    PssLayout layout;
    if (!PssLayoutOf(key, hash, &layout) || signatureSize != layout.k)
        return 0;
    if (saltSize != kRsaPssSaltAny && saltSize > layout.dbLen - 1)
        return 0;
    size_t hLen = hash->digest_size;
    uint8_t block[kRsaMaxBlockSize];
    // RsaPublicOp refuses a value at or above the modulus.
    if (!RsaPublicOp(key, signature, layout.k, block, layout.k))
        return 0;
    // With emLen = k - 1 the value must fit emLen bytes: the byte before EM is zero.
    uint8_t* em = block + (layout.k - layout.emLen);
    if (em != block && block[0] != 0)
        return 0;
    uint8_t* db = em;
    const uint8_t* h = em + layout.dbLen;
    if (em[layout.emLen - 1] != 0xBC || (em[0] & ~layout.topMask) != 0)
        return 0;
    if (!Mgf1Xor(mgfHash, h, hLen, db, layout.dbLen))
        return 0;
    db[0] &= layout.topMask;
    // DB = PS (zeros) || 0x01 || salt: the separator sits where the salt length puts it,
    // or, with any salt length, after the run of zeros.
    size_t separator = 0;
    while (separator < layout.dbLen && db[separator] == 0)
        ++separator;
    if (separator == layout.dbLen || db[separator] != 0x01)
        return 0;
    size_t found = layout.dbLen - separator - 1;
    if (saltSize != kRsaPssSaltAny && found != saltSize)
        return 0;
    uint8_t expected[kDigestMaxSize];
    if (!PssHash(hash, digest, db + separator + 1, found, expected))
        return 0;
    int result = CryptoEqual(expected, h, hLen);
    if (recoveredSaltSize != nullptr)
        *recoveredSaltSize = found & (0 - static_cast<size_t>(result));
    return result;
}

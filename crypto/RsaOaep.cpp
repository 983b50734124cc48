#include "crypto/RsaEncryption.h"

#include "crypto/ConstantTime.h"
#include "crypto/Mgf1.h"
#include "crypto/Random.h"
#include "crypto/RsaPadding.h"

#include <cstring>

// The sizes both directions check before touching any secret: k >= 2 hLen + 2 leaves
// room for the label's digest, the seed, the separator and the leading zero.
static int OaepSizesFit(const RsaPublicKey* key, const DigestAlgorithm* hash,
                        const DigestAlgorithm* mgfHash, const void* label, size_t labelSize) {
    if (key == nullptr || hash == nullptr || mgfHash == nullptr ||
        (label == nullptr && labelSize != 0))
        return 0;
    size_t k = RsaKeySize(key);
    return k <= kRsaMaxBlockSize && k >= 2 * size_t{hash->digest_size} + 2;
}

int RsaOaepEncryptWithSeed(const RsaPublicKey* key, const DigestAlgorithm* hash,
                           const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                           const uint8_t* seed, const uint8_t* message, size_t messageSize,
                           uint8_t* out, size_t outSize) {
    if (!OaepSizesFit(key, hash, mgfHash, label, labelSize) || seed == nullptr || out == nullptr ||
        (message == nullptr && messageSize != 0))
        return 0;
    size_t k = RsaKeySize(key);
    size_t hLen = hash->digest_size;
    size_t dbLen = k - hLen - 1;
    if (messageSize > k - 2 * hLen - 2 || outSize < k)
        return 0;
    // EM = 0x00 || maskedSeed || maskedDB with DB = lHash || PS (zeros) || 0x01 || M.
    uint8_t em[kRsaMaxBlockSize];
    uint8_t* maskedSeed = em + 1;
    uint8_t* db = em + 1 + hLen;
    em[0] = 0x00;
    memset(db + hLen, 0, dbLen - hLen - messageSize - 1);
    db[dbLen - messageSize - 1] = 0x01;
    if (messageSize != 0)
        memcpy(db + dbLen - messageSize, message, messageSize);
    memcpy(maskedSeed, seed, hLen);
    int result = Digest(hash, label, labelSize, db, hLen) &&
                 Mgf1Xor(mgfHash, seed, hLen, db, dbLen) &&
                 Mgf1Xor(mgfHash, db, dbLen, maskedSeed, hLen) && RsaPublicOp(key, em, k, out, k);
    CryptoWipe(em, sizeof em);
    return result;
}

int RsaOaepEncrypt(const RsaPublicKey* key, const DigestAlgorithm* hash,
                   const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                   const uint8_t* message, size_t messageSize, uint8_t* out, size_t outSize) {
    if (!OaepSizesFit(key, hash, mgfHash, label, labelSize))
        return 0;
    uint8_t seed[kDigestMaxSize];
    int result = CryptoRandomBytes(seed, hash->digest_size) &&
                 RsaOaepEncryptWithSeed(key, hash, mgfHash, label, labelSize, seed, message,
                                        messageSize, out, outSize);
    CryptoWipe(seed, sizeof seed);
    return result;
}

// Every check is folded into one mask `good`; the scan for the 0x01 separator visits
// every byte of PS and M and remembers the first separator by masks, so the time and the
// memory accesses depend on the sizes alone. The lengths the block gives (where the
// message starts) only ever enter arithmetic and the constant-time shift.
int RsaOaepDecodeBlock(const DigestAlgorithm* hash, const DigestAlgorithm* mgfHash,
                       const uint8_t* labelHash, uint8_t* em, size_t size, uint8_t* out,
                       size_t outSize, size_t* messageSize) {
    size_t hLen = hash->digest_size;
    size_t dbLen = size - hLen - 1;
    uint8_t* seed = em + 1;
    uint8_t* db = em + 1 + hLen;
    // Neither call looks at the bytes; they fail only on sizes, which are public.
    int unmasked =
        Mgf1Xor(mgfHash, db, dbLen, seed, hLen) & Mgf1Xor(mgfHash, seed, hLen, db, dbLen);
    uint64_t good = CtMaskEqual(static_cast<uint64_t>(unmasked), 1);
    good &= CtMaskZero(em[0]);
    good &= CtMaskEqual(static_cast<uint64_t>(CryptoEqual(db, labelHash, hLen)), 1);
    // After lHash: zeros, then 0x01 at `separator`; any other byte before it is fatal.
    uint64_t looking = ~uint64_t{0};
    uint64_t separator = 0;
    uint64_t stray = 0;
    for (size_t i = hLen; i < dbLen; ++i) {
        uint64_t isZero = CtMaskZero(db[i]);
        uint64_t isOne = CtMaskEqual(db[i], 1);
        separator |= looking & isOne & i;
        stray |= looking & ~isZero & ~isOne;
        looking &= isZero;
    }
    good &= ~looking & ~stray;
    // The message is M = DB[separator + 1 ..]; the region after the shortest PS starts at
    // hLen + 1 and holds the longest message there can be.
    uint8_t* region = db + hLen + 1;
    size_t regionSize = dbLen - hLen - 1;
    uint64_t length = static_cast<uint64_t>(dbLen) - 1 - separator;
    good &= ~CtMaskLess(outSize, length);
    RsaShiftLeftCt(region, regionSize, static_cast<size_t>((separator - hLen) & good));
    size_t copy = outSize < regionSize ? outSize : regionSize;
    uint8_t keep = static_cast<uint8_t>(good);
    for (size_t i = 0; i < copy; ++i)
        out[i] = region[i] & keep;
    *messageSize = static_cast<size_t>(length & good);
    return static_cast<int>(good & 1);
}

int RsaOaepDecrypt(const RsaPrivateKey* key, const DigestAlgorithm* hash,
                   const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                   const uint8_t* ciphertext, size_t ciphertextSize, uint8_t* out, size_t outSize,
                   size_t* messageSize) {
    if (messageSize != nullptr)
        *messageSize = 0;
    if (key == nullptr || ciphertext == nullptr || messageSize == nullptr ||
        (out == nullptr && outSize != 0))
        return 0;
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    if (!OaepSizesFit(publicKey, hash, mgfHash, label, labelSize) ||
        ciphertextSize != RsaKeySize(publicKey))
        return 0;
    size_t k = ciphertextSize;
    uint8_t labelHash[kDigestMaxSize];
    uint8_t em[kRsaMaxBlockSize];
    // The private operation fails on public grounds only (a value at or above the modulus,
    // or a fault its check caught), so its failure may return at once.
    int result = Digest(hash, label, labelSize, labelHash, sizeof labelHash) &&
                 RsaPrivateOp(key, ciphertext, k, em, k);
    if (result)
        result = RsaOaepDecodeBlock(hash, mgfHash, labelHash, em, k, out, outSize, messageSize);
    CryptoWipe(em, sizeof em);
    return result;
}

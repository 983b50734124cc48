#include "crypto/RsaEncryption.h"

#include "crypto/ConstantTime.h"
#include "crypto/Random.h"
#include "crypto/RsaPadding.h"

#include <cstring>

// 0x00 0x02, at least eight padding bytes, 0x00: the overhead of EME-PKCS1-v1_5.
static constexpr size_t kPkcs1Overhead = 11;

int RsaPkcs1EncryptWithPadding(const RsaPublicKey* key, const uint8_t* padding,
                               const uint8_t* message, size_t messageSize, uint8_t* out,
                               size_t outSize) {
    if (key == nullptr || padding == nullptr || out == nullptr ||
        (message == nullptr && messageSize != 0))
        return 0;
    size_t k = RsaKeySize(key);
    if (k > kRsaMaxBlockSize || k < kPkcs1Overhead || messageSize > k - kPkcs1Overhead ||
        outSize < k)
        return 0;
    size_t paddingSize = k - 3 - messageSize;
    // A zero in the padding would end it early and cut the message short on decryption.
    if (memchr(padding, 0, paddingSize) != nullptr)
        return 0;
    uint8_t em[kRsaMaxBlockSize];
    em[0] = 0x00;
    em[1] = 0x02;
    memcpy(em + 2, padding, paddingSize);
    em[2 + paddingSize] = 0x00;
    if (messageSize != 0)
        memcpy(em + 3 + paddingSize, message, messageSize);
    int result = RsaPublicOp(key, em, k, out, k);
    CryptoWipe(em, sizeof em);
    return result;
}

// Zero bytes of the random padding are drawn again one at a time: about one in 256
// bytes needs it.
int RsaPkcs1Encrypt(const RsaPublicKey* key, const uint8_t* message, size_t messageSize,
                    uint8_t* out, size_t outSize) {
    if (key == nullptr)
        return 0;
    size_t k = RsaKeySize(key);
    if (k > kRsaMaxBlockSize || k < kPkcs1Overhead || messageSize > k - kPkcs1Overhead)
        return 0;
    size_t paddingSize = k - 3 - messageSize;
    uint8_t padding[kRsaMaxBlockSize];
    int result = CryptoRandomBytes(padding, paddingSize);
    for (size_t i = 0; result && i < paddingSize; ++i)
        while (result && padding[i] == 0)
            result = CryptoRandomBytes(padding + i, 1);
    if (result)
        result = RsaPkcs1EncryptWithPadding(key, padding, message, messageSize, out, outSize);
    CryptoWipe(padding, sizeof padding);
    return result;
}

// As RsaOaepDecodeBlock: one mask for every check, a scan of every byte that remembers
// the first zero after the padding by masks, and the message moved out by the
// constant-time shift.
int RsaPkcs1DecodeBlock(uint8_t* em, size_t size, uint8_t* out, size_t outSize,
                        size_t* messageSize) {
    uint64_t good = CtMaskZero(em[0]) & CtMaskEqual(em[1], 0x02);
    uint64_t looking = ~uint64_t{0};
    uint64_t separator = 0;
    for (size_t i = 2; i < size; ++i) {
        uint64_t isZero = CtMaskZero(em[i]);
        separator |= looking & isZero & i;
        looking &= ~isZero;
    }
    good &= ~looking;
    // At least eight padding bytes: the separator is at index 10 or later.
    good &= ~CtMaskLess(separator, kPkcs1Overhead - 1);
    uint64_t length = static_cast<uint64_t>(size) - 1 - separator;
    good &= ~CtMaskLess(outSize, length);
    // The region after the shortest padding holds the longest message there can be.
    uint8_t* region = em + kPkcs1Overhead;
    size_t regionSize = size - kPkcs1Overhead;
    RsaShiftLeftCt(region, regionSize,
                   static_cast<size_t>((separator - (kPkcs1Overhead - 1)) & good));
    size_t copy = outSize < regionSize ? outSize : regionSize;
    uint8_t keep = static_cast<uint8_t>(good);
    for (size_t i = 0; i < copy; ++i)
        out[i] = region[i] & keep;
    *messageSize = static_cast<size_t>(length & good);
    return static_cast<int>(good & 1);
}

int RsaPkcs1Decrypt(const RsaPrivateKey* key, const uint8_t* ciphertext, size_t ciphertextSize,
                    uint8_t* out, size_t outSize, size_t* messageSize) {
    if (messageSize != nullptr)
        *messageSize = 0;
    if (key == nullptr || ciphertext == nullptr || messageSize == nullptr ||
        (out == nullptr && outSize != 0))
        return 0;
    size_t k = RsaKeySize(RsaPrivateKeyPublic(key));
    if (k > kRsaMaxBlockSize || k < kPkcs1Overhead || ciphertextSize != k)
        return 0;
    uint8_t em[kRsaMaxBlockSize];
    // As with OAEP, the private operation fails on public grounds only.
    int result = RsaPrivateOp(key, ciphertext, k, em, k);
    if (result)
        result = RsaPkcs1DecodeBlock(em, k, out, outSize, messageSize);
    CryptoWipe(em, sizeof em);
    return result;
}

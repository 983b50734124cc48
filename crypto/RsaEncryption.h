// RSA encryption of RFC 8017: RSAES-OAEP (MGF1, optional label) and RSAES-PKCS1-v1_5.
// Decryption decodes the block in constant time and fails the same way whichever check
// failed: neither its timing nor its result tells a caller which. Results are 1 for
// success and 0 otherwise.
#pragma once

#include "crypto/Digest.h"
#include "crypto/RsaKey.h"

#include <cstddef>
#include <cstdint>

// Encrypts `message` into `out` (RsaKeySize bytes; `outSize` at least that). Messages
// take at most k - 2 hLen - 2 bytes (OAEP; hLen is `hash`'s size) or k - 11 (PKCS#1
// v1.5); longer ones are refused. The *WithSeed forms take the random
// seed (OAEP: hLen bytes) or padding string (PKCS#1 v1.5: k - 3 - mLen non-zero bytes)
// from the caller, for known-answer tests.
int RsaOaepEncrypt(const RsaPublicKey* key, const DigestAlgorithm* hash,
                   const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                   const uint8_t* message, size_t messageSize, uint8_t* out, size_t outSize);
int RsaOaepEncryptWithSeed(const RsaPublicKey* key, const DigestAlgorithm* hash,
                           const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                           const uint8_t* seed, const uint8_t* message, size_t messageSize,
                           uint8_t* out, size_t outSize);
int RsaPkcs1Encrypt(const RsaPublicKey* key, const uint8_t* message, size_t messageSize,
                    uint8_t* out, size_t outSize);
int RsaPkcs1EncryptWithPadding(const RsaPublicKey* key, const uint8_t* padding,
                               const uint8_t* message, size_t messageSize, uint8_t* out,
                               size_t outSize);

// Decrypts into `out` (`outSize` bytes; RsaKeySize is always enough) and stores the
// message length in `messageSize`. A message longer than `outSize` fails like any other
// decoding error. `messageSize` is 0 on any failure. Once a ciphertext of k bytes below
// the modulus is decrypted, the first min(outSize, longest message) bytes of `out` are
// written whatever the block held: the message and zeros after it, or all zeros, so that
// not even the bytes written differ between failures.
int RsaOaepDecrypt(const RsaPrivateKey* key, const DigestAlgorithm* hash,
                   const DigestAlgorithm* mgfHash, const void* label, size_t labelSize,
                   const uint8_t* ciphertext, size_t ciphertextSize, uint8_t* out, size_t outSize,
                   size_t* messageSize);
int RsaPkcs1Decrypt(const RsaPrivateKey* key, const uint8_t* ciphertext, size_t ciphertextSize,
                    uint8_t* out, size_t outSize, size_t* messageSize);

// RSA signatures of RFC 8017: RSASSA-PKCS1-v1_5 (with the DigestInfo of any digest of
// crypto/Digest.h) and RSASSA-PSS (MGF1, any salt length). Both sign and verify a digest
// the caller computed with the same algorithm. Verification is strict: the encoded
// message is rebuilt and compared whole (PKCS#1 v1.5), or every byte PSS fixes is checked;
// a signature whose length is not the modulus's, or whose value is not below the modulus,
// is refused. Results are 1 for a made or valid signature and 0 otherwise.
//
// Signing writes RsaKeySize bytes into `signature`, whose `signatureSize` must be at least
// that; verification takes exactly that many. `digestSize` is always the hash's
// digest_size. A key too small for the encoding (PKCS#1 v1.5: the DigestInfo and eleven
// bytes; PSS: the digest, the salt and two bytes in emLen = ceil((modBits - 1) / 8)) is
// refused.
#pragma once

#include "crypto/Digest.h"
#include "crypto/RsaKey.h"

#include <cstddef>
#include <cstdint>

// PSS salt length that verification takes whatever it is (and reports it).
constexpr size_t kRsaPssSaltAny = static_cast<size_t>(-1);

int RsaPkcs1Sign(const RsaPrivateKey* key, const DigestAlgorithm* hash, const uint8_t* digest,
                 size_t digestSize, uint8_t* signature, size_t signatureSize);
int RsaPkcs1Verify(const RsaPublicKey* key, const DigestAlgorithm* hash, const uint8_t* digest,
                   size_t digestSize, const uint8_t* signature, size_t signatureSize);

// PSS with `mgfHash` for MGF1 (usually the same as `hash`) and a random salt of `saltSize`
// bytes (kRsaPssSaltAny is no length for signing); RsaPssSignWithSalt takes the salt from
// the caller (known-answer tests).
int RsaPssSign(const RsaPrivateKey* key, const DigestAlgorithm* hash,
               const DigestAlgorithm* mgfHash, size_t saltSize, const uint8_t* digest,
               size_t digestSize, uint8_t* signature, size_t signatureSize);
int RsaPssSignWithSalt(const RsaPrivateKey* key, const DigestAlgorithm* hash,
                       const DigestAlgorithm* mgfHash, const uint8_t* salt, size_t saltSize,
                       const uint8_t* digest, size_t digestSize, uint8_t* signature,
                       size_t signatureSize);

// Verifies a PSS signature whose salt is `saltSize` bytes, or of any length with
// kRsaPssSaltAny; `recoveredSaltSize` (may be null) receives the salt length found, or 0
// when the signature is refused.
int RsaPssVerify(const RsaPublicKey* key, const DigestAlgorithm* hash,
                 const DigestAlgorithm* mgfHash, size_t saltSize, const uint8_t* digest,
                 size_t digestSize, const uint8_t* signature, size_t signatureSize,
                 size_t* recoveredSaltSize);

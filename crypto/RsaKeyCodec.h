// Reading and writing RSA keys: PKCS#1 RSAPublicKey and RSAPrivateKey (RFC 8017 appendix
// A.1), X.509 SubjectPublicKeyInfo (RFC 5280, rsaEncryption with NULL parameters) and
// unencrypted PKCS#8 PrivateKeyInfo (RFC 5208), as DER or as PEM ("RSA PUBLIC KEY",
// "PUBLIC KEY", "RSA PRIVATE KEY", "PRIVATE KEY"). Readers are strict DER (minimal
// lengths, no indefinite forms, no trailing bytes; see crypto/Der.h and, for the armour,
// crypto/Pem.h) and return null on anything else. Writers fill a caller buffer: with `out`
// null they return the size needed; they return the bytes written, or 0 when the buffer is
// too small.
//
// What is read:
// - RSAPrivateKey of version 0 (two primes). Version 1, which adds otherPrimeInfos, is
//   refused as RSA_KEY_MULTI_PRIME: the private operation here is two-prime CRT.
// - PrivateKeyInfo of version 0, its [0] attributes skipped (they carry nothing of the key,
//   but must still be well-formed DER). Version 1 (OneAsymmetricKey of RFC 5958, with an
//   optional copy of the public key) is refused as RSA_KEY_BAD_VERSION; OpenSSL writes
//   version 0 for RSA keys.
// - The algorithm rsaEncryption (1.2.840.113549.1.1.1) only, with NULL parameters; an
//   RSASSA-PSS key, or a key of another algorithm, is RSA_KEY_NOT_RSA.
// - Values that crypto/RsaKey.h takes: a private key's components must agree with each
//   other, else RSA_KEY_REFUSED.
// A private key's bytes in buffers of the codec (decoded PEM, DER being written) are wiped
// before the buffers are given back; on failure the writers wipe the caller's buffer.
#pragma once

#include "crypto/RsaKey.h"

#include <cstddef>
#include <cstdint>

enum RsaKeyFormat {
    RSA_KEY_PKCS1, // RSAPublicKey / RSAPrivateKey
    RSA_KEY_X509,  // SubjectPublicKeyInfo (public keys only)
    RSA_KEY_PKCS8, // PrivateKeyInfo (private keys only)
};

// Why a reader returned null.
enum RsaKeyStatus {
    RSA_KEY_OK,
    RSA_KEY_BAD_ARGUMENT, // null input, or a format the key's kind does not have
    RSA_KEY_BAD_PEM,      // no PEM block, or its armour or Base64 is not as crypto/Pem.h takes
    RSA_KEY_WRONG_LABEL,  // a PEM label of another kind of key, or of no key at all
    RSA_KEY_ENCRYPTED,    // encrypted PKCS#8, or PEM with encryption headers: not read here
    RSA_KEY_MALFORMED,    // not strict DER of the structure asked for
    RSA_KEY_BAD_VERSION,  // a version number other than 0
    RSA_KEY_MULTI_PRIME,  // RSAPrivateKey version 1: more than two primes
    RSA_KEY_NOT_RSA,      // an algorithm other than rsaEncryption
    RSA_KEY_REFUSED,      // well-formed, but the values are not a key crypto/RsaKey.h takes
    RSA_KEY_NO_MEMORY,
};

// A short English text for a status ("the key is encrypted"); never null.
const char* RsaKeyStatusText(RsaKeyStatus status);

RsaPublicKey* RsaPublicKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format);
RsaPrivateKey* RsaPrivateKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format);

// PEM text holding one block; its label decides the format. Each reader takes the labels
// of its own kind only (a private key's PEM is not a public key).
RsaPublicKey* RsaPublicKeyFromPem(const char* text, size_t size);
RsaPrivateKey* RsaPrivateKeyFromPem(const char* text, size_t size);

// The same four readers, telling why they failed: `status` (which may be null) receives
// RSA_KEY_OK with a key, else the reason.
RsaPublicKey* RsaPublicKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format,
                                  RsaKeyStatus* status);
RsaPrivateKey* RsaPrivateKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format,
                                    RsaKeyStatus* status);
RsaPublicKey* RsaPublicKeyFromPem(const char* text, size_t size, RsaKeyStatus* status);
RsaPrivateKey* RsaPrivateKeyFromPem(const char* text, size_t size, RsaKeyStatus* status);

size_t RsaPublicKeyToDer(const RsaPublicKey* key, RsaKeyFormat format, uint8_t* out,
                         size_t outSize);
size_t RsaPrivateKeyToDer(const RsaPrivateKey* key, RsaKeyFormat format, uint8_t* out,
                          size_t outSize);
// PEM writers add the terminating NUL (not counted in the result): lines of 64 characters,
// each ending in LF. With `out` null they return the buffer size needed, the NUL included
// (one more than the result of the write).
size_t RsaPublicKeyToPem(const RsaPublicKey* key, RsaKeyFormat format, char* out, size_t outSize);
size_t RsaPrivateKeyToPem(const RsaPrivateKey* key, RsaKeyFormat format, char* out, size_t outSize);

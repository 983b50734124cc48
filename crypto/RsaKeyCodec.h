// Reading and writing RSA keys: PKCS#1 RSAPublicKey and RSAPrivateKey, X.509
// SubjectPublicKeyInfo and unencrypted PKCS#8 PrivateKeyInfo, as DER or as PEM
// ("RSA PUBLIC KEY", "PUBLIC KEY", "RSA PRIVATE KEY", "PRIVATE KEY"). Readers are strict
// DER (minimal lengths, no indefinite forms, no trailing bytes) and return null on
// anything else. Writers fill a caller buffer: with `out` null they return the size
// needed; they return the bytes written, or 0 when the buffer is too small.
#pragma once

#include "crypto/RsaKey.h"

#include <cstddef>
#include <cstdint>

enum RsaKeyFormat {
    RSA_KEY_PKCS1, // RSAPublicKey / RSAPrivateKey
    RSA_KEY_X509,  // SubjectPublicKeyInfo (public keys only)
    RSA_KEY_PKCS8, // PrivateKeyInfo (private keys only)
};

RsaPublicKey* RsaPublicKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format);
RsaPrivateKey* RsaPrivateKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format);

// PEM text holding one block; its label decides the format. Each reader takes the labels
// of its own kind only (a private key's PEM is not a public key).
RsaPublicKey* RsaPublicKeyFromPem(const char* text, size_t size);
RsaPrivateKey* RsaPrivateKeyFromPem(const char* text, size_t size);

size_t RsaPublicKeyToDer(const RsaPublicKey* key, RsaKeyFormat format, uint8_t* out,
                         size_t outSize);
size_t RsaPrivateKeyToDer(const RsaPrivateKey* key, RsaKeyFormat format, uint8_t* out,
                          size_t outSize);
// PEM writers add the terminating NUL (not counted in the result): lines of 64 characters.
size_t RsaPublicKeyToPem(const RsaPublicKey* key, RsaKeyFormat format, char* out, size_t outSize);
size_t RsaPrivateKeyToPem(const RsaPrivateKey* key, RsaKeyFormat format, char* out, size_t outSize);

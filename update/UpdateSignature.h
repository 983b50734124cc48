// The detached signature that travels beside a signed file as FILE.sig: four lines of
// text that name the format, the scheme, the signing key and the signature.
//
//   kivupdate-signature: 1
//   scheme: RSA-PSS-SHA256
//   key-id: <64 lower-case hex digits>
//   signature: <Base64, standard alphabet with '=' fill, on one line>
//
// Every line ends with a single LF; nothing stands before, between or after them. The
// scheme is RSASSA-PSS of RFC 8017 over the file's SHA-256, with MGF1 over SHA-256 and a
// salt as long as the digest (32 bytes). The key id is the SHA-256 of the signing key's
// SubjectPublicKeyInfo DER, so a host that trusts several keys knows at once which one
// to try. The signature decodes to as many bytes as the key's modulus has.
//
// Reading is strict: an unknown version or scheme, upper-case hex, a CR, spaces, Base64
// with line breaks or non-zero fill bits, or anything after the last LF refuse the file.
// One text means one signature, so nobody can make two files that read alike.
#pragma once

#include "crypto/RsaKey.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kUpdateKeyIdSize = 32;                     // SHA-256
constexpr size_t kUpdateSignatureMaxSize = kRsaMaxBits / 8; // the largest modulus
constexpr size_t kUpdateSaltSize = 32;                      // PSS salt: the digest's length
// The largest signature file: the fixed text and the Base64 of the largest signature.
constexpr size_t kUpdateSignatureFileMax = 2048;

struct UpdateSignature {
    uint8_t key_id[kUpdateKeyIdSize];       // SHA-256 of the key's SubjectPublicKeyInfo DER
    uint8_t value[kUpdateSignatureMaxSize]; // the signature, big-endian, the modulus's length
    size_t value_size;                      // bytes of value (1 to kUpdateSignatureMaxSize)
};

// Reads a signature file of `size` bytes. 1 on success; 0, with `out` cleared, for
// anything but the exact form above.
int UpdateSignatureParse(const char* text, size_t size, UpdateSignature* out);

// Writes the signature file's text and a terminating NUL into `out`. Returns the text's
// length, or 0 when it does not fit in `outSize` or value_size is 0 or too large.
size_t UpdateSignatureFormat(const UpdateSignature& signature, char* out, size_t outSize);

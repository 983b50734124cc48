// RSA keys and the two raw operations (RFC 8017 RSAEP/RSADP, RSASP1/RSAVP1), with key
// generation after FIPS 186-4 (appendix B.3.3 probable primes). Keys are opaque records on
// the heap; a private key and every intermediate secret are wiped when freed.
//
// Integers cross this interface as unsigned big-endian byte strings. Moduli of
// kRsaMinBits to kRsaMaxBits bits are taken; anything else is refused. The operations only
// read a key, so one key may serve several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kRsaMinBits = 512; // the smallest keys of published test vectors
constexpr uint32_t kRsaMaxBits = 8192;

struct RsaPublicKey;
struct RsaPrivateKey;

enum RsaComponent { RSA_N, RSA_E, RSA_D, RSA_P, RSA_Q, RSA_DP, RSA_DQ, RSA_QINV };

// A private key's components as the caller holds them (big-endian, leading zeros allowed).
struct RsaComponentsView {
    const uint8_t* data[8]; // indexed by RsaComponent
    size_t size[8];
};

// A public key from modulus and exponent. Null when the modulus is even or out of range,
// or the exponent is not odd and between 3 and n - 1.
RsaPublicKey* RsaPublicKeyNew(const uint8_t* n, size_t nSize, const uint8_t* e, size_t eSize);

// A private key from its eight components, checked for consistency (n = p q, the CRT
// exponents and coefficient match d, p and q) so that a damaged key is refused at load
// rather than producing wrong signatures. Null on any inconsistency.
RsaPrivateKey* RsaPrivateKeyNew(const RsaComponentsView* components);

// Generates a key of `bits` (2048, 3072 or 4096) with public exponent `e` (65537, or any
// larger odd value the type holds; FIPS 186-4 allows up to 2^256), meeting FIPS 186-4's
// conditions on the primes, on |p - q| and on d. Random numbers come from
// crypto/Random.h. Null on failure: a failing generator, or (as FIPS 186-4 prescribes,
// about once in two million keys) no prime among 5 bits / 2 candidates.
RsaPrivateKey* RsaGenerateKey(uint32_t bits, uint64_t e);

// Wipes and frees; null is ignored.
void RsaPublicKeyFree(RsaPublicKey* key);
void RsaPrivateKeyFree(RsaPrivateKey* key);

// The public half of a private key, owned by it.
const RsaPublicKey* RsaPrivateKeyPublic(const RsaPrivateKey* key);

// Modulus length in bits, and in bytes (k of RFC 8017).
uint32_t RsaKeyBits(const RsaPublicKey* key);
size_t RsaKeySize(const RsaPublicKey* key);

// Writes a component as a minimal big-endian string (one zero byte for zero) and returns
// its length; with `out` null returns the length needed; 0 when `outSize` is too small.
// Public keys have RSA_N and RSA_E only.
size_t RsaPublicKeyComponent(const RsaPublicKey* key, RsaComponent which, uint8_t* out,
                             size_t outSize);
size_t RsaPrivateKeyComponent(const RsaPrivateKey* key, RsaComponent which, uint8_t* out,
                              size_t outSize);

// out = in^e mod n. `in` is exactly RsaKeySize bytes and below n; `out` has that size. 0 on
// any other input.
int RsaPublicOp(const RsaPublicKey* key, const uint8_t* in, size_t inSize, uint8_t* out,
                size_t outSize);

// out = in^d mod n by the CRT, blinded, in constant time, and checked against the public
// key before it leaves (a fault never leaks a factor). Sizes as RsaPublicOp. When the
// input is not below n, the generator fails or the check does, `out` is zeros and the
// result 0. `out` may be `in`.
int RsaPrivateOp(const RsaPrivateKey* key, const uint8_t* in, size_t inSize, uint8_t* out,
                 size_t outSize);

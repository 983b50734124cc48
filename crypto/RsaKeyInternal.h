// The records behind RsaKey.h's opaque keys, shared by the key and key-generation files
// (private to crypto/), and the tests' seam into the private operation.
#pragma once

#include "crypto/BigInt.h"
#include "crypto/Montgomery.h"
#include "crypto/RsaKey.h"

struct RsaPublicKey {
    Montgomery n;                       // the modulus with its Montgomery constants
    uint64_t e[kBigIntMaxModulusLimbs]; // the public exponent
    size_t eSize;                       // its limbs, the top one not zero
};

struct RsaPrivateKey {
    RsaPublicKey pub;
    Montgomery p, q;                       // the primes with their constants
    uint64_t d[kBigIntMaxModulusLimbs];    // n's limbs
    uint64_t dp[kBigIntMaxModulusLimbs];   // d mod (p - 1), p's limbs
    uint64_t dq[kBigIntMaxModulusLimbs];   // d mod (q - 1), q's limbs
    uint64_t qinv[kBigIntMaxModulusLimbs]; // q^-1 mod p, p's limbs
};

// A private key from its eight components indexed by RsaComponent, checked as
// RsaPrivateKeyNew checks them. Null on any inconsistency.
RsaPrivateKey* RsaPrivateKeyFromBigInts(const BigInt* components);

// FIPS 186-4 B.3.3's conditions on the primes of a key, for primes of `bits` bits (values
// of bits / 64 limbs), as masks, all-ones when met: p >= sqrt(2) 2^(bits - 1), and
// |p - q| > 2^(bits - 100).
uint64_t RsaPrimeLargeEnough(const BigInt* p, size_t bits);
uint64_t RsaPrimesFarApart(const BigInt* p, const BigInt* q, size_t bits);

// Test seam: when set, the private operation hands it the half of its result modulo p
// (p's limbs, ordinary form) before recombining, so that a test can damage it and see the
// check against the public key refuse the answer. Null in normal use.
extern void (*rsaCrtFaultHook)(uint64_t* half, size_t limbs);

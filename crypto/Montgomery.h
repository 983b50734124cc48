// Montgomery arithmetic modulo an odd m (private to crypto/): the engine under modular
// exponentiation, primality tests and RSA. A value x is held in Montgomery form
// x R mod m, R = 2^(64 size), so that a product needs no division: MontgomeryMul gives
// a b R^-1 mod m. Values are arrays of `size` 64-bit limbs, least significant first,
// fully reduced (below m) unless a function says otherwise.
//
// Everything here takes time and touches memory independently of the values, except
// MontgomeryExpPublic, whose time depends on its exponent (and only on that). The
// modulus's length in bits is taken as public; its value need not be.
#pragma once

#include "crypto/BigInt.h"

#include <cstddef>
#include <cstdint>

struct Montgomery {
    size_t size;                          // limbs of m; the top one is not zero
    uint32_t bits;                        // bit length of m
    uint64_t m0inv;                       // -m^-1 mod 2^64
    uint64_t m[kBigIntMaxModulusLimbs];   // the modulus
    uint64_t rr[kBigIntMaxModulusLimbs];  // R^2 mod m: takes a value into the form
    uint64_t one[kBigIntMaxModulusLimbs]; // R mod m: 1 in Montgomery form
};

// Prepares `ctx` for the modulus m (`size` limbs; zero limbs on top are dropped). 0 when m
// is even, below 3, or longer than kBigIntMaxModulusBits.
int MontgomeryInit(Montgomery* ctx, const uint64_t* m, size_t size);

// r = a b R^-1 mod m. One of a and b may be any value below R, the other below m; r may
// be either.
void MontgomeryMul(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* b);
void MontgomerySquare(const Montgomery* ctx, uint64_t* r, const uint64_t* a);

// r = a R mod m for a of any `aSize` limbs (up to 2 kBigIntMaxModulusLimbs): reduces and
// takes into the form at once.
void MontgomeryEnter(const Montgomery* ctx, uint64_t* r, const uint64_t* a, size_t aSize);

// r = a R^-1 mod m: out of the form (a may be any value below R).
void MontgomeryLeave(const Montgomery* ctx, uint64_t* r, const uint64_t* a);

// r = a^e mod m for a below m, in the ordinary form (not Montgomery's), e of `eSize` limbs;
// by a fixed window whose table entries are all read at every step, so that the time
// depends on eSize and the modulus's size only. 0 when the table cannot be allocated.
int MontgomeryExp(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
                  size_t eSize);

// As MontgomeryExp for a public exponent: skips its zero bits, so that its time depends on
// e (never on a).
int MontgomeryExpPublic(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
                        size_t eSize);

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

// The vector engine (MontgomeryIfma.cpp) holds numbers in 52-bit digits, eight to a
// 512-bit register: up to this many digits, room for 8,192 bits and the two spare bits
// its reduction needs.
constexpr size_t kMontgomeryMaxDigits = 160;

struct Montgomery {
    size_t size;                          // limbs of m; the top one is not zero
    uint32_t bits;                        // bit length of m
    uint64_t m0inv;                       // -m^-1 mod 2^64
    uint64_t m[kBigIntMaxModulusLimbs];   // the modulus
    uint64_t rr[kBigIntMaxModulusLimbs];  // R^2 mod m: takes a value into the form
    uint64_t one[kBigIntMaxModulusLimbs]; // R mod m: 1 in Montgomery form
    // For the vector engine, when the processor has it (digits 0 otherwise): its R is
    // 2^(52 digits).
    uint32_t digits;                        // 52-bit digits of its R
    uint64_t digitK0;                       // -m^-1 mod 2^52
    uint64_t digitM[kMontgomeryMaxDigits];  // m in digits, zeros above
    uint64_t digitRR[kMontgomeryMaxDigits]; // its R^2 mod m in digits
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

// r1 = a1^e1 mod m1 and r2 = a2^e2 mod m2, each as MontgomeryExp: the two halves of an
// RSA private operation. The vector engine runs them interleaved, each hiding the other's
// latencies. 0 when a table cannot be allocated.
int MontgomeryExp2(const Montgomery* c1, uint64_t* r1, const uint64_t* a1, const uint64_t* e1,
                   size_t e1Size, const Montgomery* c2, uint64_t* r2, const uint64_t* a2,
                   const uint64_t* e2, size_t e2Size);

// Which engine serves exponentiation modulo ctx's modulus, for benchmarks and reports.
const char* MontgomeryEngineName(const Montgomery* ctx);

// With `portable` set, exponentiations take the portable 64-bit code even where the vector
// engine would serve (tests run both); 0 restores the choice by processor.
void MontgomeryUsePortable(int portable);

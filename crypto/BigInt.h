// Multi-precision unsigned integers for RSA: arithmetic, modular exponentiation, inverses,
// primality. BigInt.cpp opens with the design note (representation, constant-time rules).
//
// A BigInt is plain memory of the caller's: 64-bit limbs, least significant first, and a
// limb count `size` that is public. A value may carry zero limbs on top: a secret keeps the
// size of its kind (a prime of a 2,048-bit key has 16 limbs whatever its value), and
// results take sizes from their operands' sizes, never from their values. Functions are
// constant-time in the values (time and memory accesses depend on the sizes only) unless
// their comment says "public", where the time may depend on the values too.
//
// Results are 1 for success and 0 for failure; a failed call leaves its output undefined.
// Outputs may be the same objects as inputs unless a comment says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

// Moduli (and exponentiations) take up to 8,192 bits; values up to twice that, so that
// a product of two such numbers fits. Anything larger is refused with 0.
constexpr size_t kBigIntMaxModulusBits = 8192;
constexpr size_t kBigIntMaxModulusLimbs = kBigIntMaxModulusBits / 64;
constexpr size_t kBigIntMaxLimbs = 2 * kBigIntMaxModulusLimbs;

struct BigInt {
    size_t size;                    // limbs that count (1 to kBigIntMaxLimbs)
    uint64_t limb[kBigIntMaxLimbs]; // least significant first; those from `size` on unused
};

// From big-endian bytes (leading zeros allowed; an empty string is zero). The size is
// the limbs the byte count needs (at least 1). 0 when that exceeds kBigIntMaxLimbs.
int BigIntFromBytes(BigInt* r, const uint8_t* in, size_t inSize);

// To exactly `outSize` big-endian bytes, zeros in front. 0 when the value needs more.
int BigIntToBytes(const BigInt* a, uint8_t* out, size_t outSize);

// r = w, one limb.
void BigIntFromWord(BigInt* r, uint64_t w);

// Gives `a` exactly `size` limbs: zero limbs added on top, or dropped when they are zero.
// 0 (and `a` unchanged) when a limb to drop is not zero or size is out of range.
int BigIntResize(BigInt* a, size_t size);

// Public: drops the zero limbs on top (keeping one).
void BigIntTrim(BigInt* a);

// Bits of the value without leading zeros (0 for zero).
size_t BigIntBitLength(const BigInt* a);

// -1, 0 or 1 as a is less than, equal to or greater than b.
int BigIntCompare(const BigInt* a, const BigInt* b);

// 1 when a is zero.
int BigIntIsZero(const BigInt* a);

// r = a + b with max(a, b) + 1 limbs. 0 when that exceeds kBigIntMaxLimbs.
int BigIntAdd(BigInt* r, const BigInt* a, const BigInt* b);

// r = a - b with max(a, b) limbs. 1 when a >= b; 0 when a < b, r then holding
// a - b + 2^(64 size) (two's complement), which a constant-time caller may still use.
int BigIntSub(BigInt* r, const BigInt* a, const BigInt* b);

// r = a b with a + b limbs, r = a^2 with 2 a limbs. 0 when that exceeds kBigIntMaxLimbs.
int BigIntMul(BigInt* r, const BigInt* a, const BigInt* b);
int BigIntSquare(BigInt* r, const BigInt* a);

// r = a 2^bits with a + ceil(bits / 64) limbs; 0 when that exceeds kBigIntMaxLimbs.
// r = a / 2^bits (rounded down) keeps a's limbs less the whole ones shifted out (at least
// one). `bits` is public.
int BigIntShiftLeft(BigInt* r, const BigInt* a, size_t bits);
void BigIntShiftRight(BigInt* r, const BigInt* a, size_t bits);

// Public: quotient and remainder, a = q b + r with r < b (schoolbook division, Knuth's
// algorithm D). q takes a's limbs, r b's. Either may be null. 0 when b is zero. q and r
// must be distinct objects.
int BigIntDivRem(BigInt* q, BigInt* r, const BigInt* a, const BigInt* b);

// As BigIntDivRem, in constant time: one shift and conditional subtraction per bit of a,
// for secrets (key generation and checks). 0 when b is zero.
int BigIntDivRemSecret(BigInt* q, BigInt* r, const BigInt* a, const BigInt* b);

// r = base^e mod m for an odd m of at least 3 and at most kBigIntMaxModulusBits bits
// (m's length is taken as public); r takes m's limbs. BigIntModExp keeps the exponent
// secret (fixed window); BigIntModExpPublic is faster for public exponents. 0 on a bad
// modulus or when memory runs out.
int BigIntModExp(BigInt* r, const BigInt* base, const BigInt* e, const BigInt* m);
int BigIntModExpPublic(BigInt* r, const BigInt* base, const BigInt* e, const BigInt* m);

// r = a^-1 mod m with m's limbs, when gcd(a, m) = 1 and m > 1; m odd (any a), or m even
// and a odd (a's parity is then public). 0 when there is no inverse or m is longer than
// kBigIntMaxModulusLimbs limbs.
int BigIntModInverse(BigInt* r, const BigInt* a, const BigInt* m);

// r = gcd(a, b) with max(a, b) limbs (gcd(0, 0) = 0).
void BigIntGcd(BigInt* r, const BigInt* a, const BigInt* b);

// r uniform in [0, bound) with bound's limbs, from crypto/Random.h. The number of draws
// (each rejected one is discarded) depends on bound only. 0 when bound is zero or the
// generator fails.
int BigIntRandomBelow(BigInt* r, const BigInt* bound);

// Rounds of Miller-Rabin for a random candidate of `bits` (FIPS 186-4 table C.3 for the
// prime sizes of RSA keys; 64 below them, which bounds the error by 2^-128 for any input).
int BigIntMillerRabinRounds(size_t bits);

// Miller-Rabin with `rounds` random bases (FIPS 186-4 C.3.1). 1 for probably prime, 0 for
// composite, -1 when the generator fails. Constant-time for a prime; a composite may be
// reported early (it is thrown away). w's length is public.
int BigIntIsProbablePrime(const BigInt* w, int rounds);

// Multi-precision integers: conversions, comparison, addition, subtraction and shifts.
//
// Design note
//
// Representation. A number is an array of 64-bit limbs, least significant first, with a
// limb count. 64-bit limbs halve the products of 32-bit ones; GCC and Clang (MinGW-w64's
// included) give the 128-bit product and its carries through `unsigned __int128`, which on
// x86-64 is one MUL and ADD/ADC pairs. Values live in fixed arrays (kBigIntMaxLimbs, room
// for the product of two 8,192-bit numbers): no allocation in the arithmetic (only the
// tables of exponentiation come from the heap), and sizes are bounded everywhere.
// Montgomery form (Montgomery.h) carries modular arithmetic: a product and its reduction
// in one pass of multiply-adds, no division. Where the processor has AVX-512 IFMA,
// exponentiations run on 52-bit digits in vector registers instead (MontgomeryIfma.cpp),
// chosen at run time; everything else stays on 64-bit limbs.
//
// Sizes are public, values are not. A limb count says how long a number may be, not how
// long it is: a secret keeps the size of its kind (the primes of a 2,048-bit key have 16
// limbs even if the top one happens to be small), and each result's size follows from its
// operands' sizes. The lengths of moduli and exponents are public; the bits are not.
//
// Constant-time rules (the habits of BearSSL's big integers, checked under valgrind with
// the secret bytes marked undefined):
// - No branch and no memory index depends on a value; loops run over sizes.
// - A condition is a mask, all-ones or zero, made from a carry or borrow (LimbMaskLess) or
//   from x | -x (LimbMaskNonZero), and applied with AND and OR; both sides of a selection
//   are computed and read. Masks pass an empty asm barrier, so that the compiler cannot
//   turn them back into the branches they replace.
// - Comparisons are subtractions whose borrow becomes the answer.
// - Exponentiation with a secret exponent uses a fixed window: every window squares the
//   same number of times and multiplies (by 1 when its bits are zero), and each lookup
//   reads every table entry, keeping one by mask.
// - Division of secrets goes bit by bit (shift, compare, subtract by mask); Knuth's
//   division, whose quotient estimates branch, is for public values only.
// - Inverses run a fixed number of Bernstein-Yang divsteps for the modulus's length, gcd a
//   fixed number of binary steps.
// - The only value-dependent exits are where the value is thrown away (a prime candidate
//   found composite, a random draw above its bound) or a call ends on a verdict (a key
//   whose components disagree).
// - Temporaries that held secrets are wiped (CryptoWipe) before their memory goes back.
#include "crypto/BigInt.h"

#include "crypto/BigIntLimbs.h"

namespace {

size_t Larger(size_t a, size_t b) {
    return a > b ? a : b;
}

// Limb i of a, zero past its size (i public).
uint64_t LimbAt(const BigInt* a, size_t i) {
    return i < a->size ? a->limb[i] : 0;
}

} // namespace

int BigIntFromBytes(BigInt* r, const uint8_t* in, size_t inSize) {
    const size_t size = inSize == 0 ? 1 : (inSize + 7) / 8;
    if (size > kBigIntMaxLimbs)
        return 0;
    r->size = size;
    LimbsFromBytes(r->limb, size, in, inSize);
    return 1;
}

int BigIntToBytes(const BigInt* a, uint8_t* out, size_t outSize) {
    // Whatever lies above outSize bytes must be zero.
    uint64_t spill = 0;
    for (size_t i = 0; i < a->size; ++i) {
        const uint64_t limb = a->limb[i];
        if (8 * i >= outSize)
            spill |= limb;
        else if (8 * (i + 1) > outSize)
            spill |= limb >> (8 * (outSize - 8 * i));
    }
    LimbsToBytes(out, outSize, a->limb, a->size);
    return static_cast<int>(LimbMaskZero(spill) & 1);
}

void BigIntFromWord(BigInt* r, uint64_t w) {
    r->size = 1;
    r->limb[0] = w;
}

int BigIntResize(BigInt* a, size_t size) {
    if (size == 0 || size > kBigIntMaxLimbs)
        return 0;
    uint64_t dropped = 0;
    for (size_t i = size; i < a->size; ++i)
        dropped |= a->limb[i];
    if ((LimbMaskZero(dropped) & 1) == 0)
        return 0;
    for (size_t i = a->size; i < size; ++i)
        a->limb[i] = 0;
    a->size = size;
    return 1;
}

void BigIntTrim(BigInt* a) {
    while (a->size > 1 && a->limb[a->size - 1] == 0)
        --a->size;
}

size_t BigIntBitLength(const BigInt* a) {
    // The highest non-zero limb wins; clz is given a non-zero word whatever the limb.
    uint64_t length = 0;
    for (size_t i = 0; i < a->size; ++i) {
        const uint64_t limb = a->limb[i];
        const uint64_t here = 64 * i + 64 - static_cast<uint64_t>(__builtin_clzll(limb | 1));
        const uint64_t take = LimbMaskNonZero(limb);
        length = (here & take) | (length & ~take);
    }
    return static_cast<size_t>(length);
}

int BigIntCompare(const BigInt* a, const BigInt* b) {
    const size_t n = Larger(a->size, b->size);
    uint64_t less = 0, greater = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t x = LimbAt(a, i), y = LimbAt(b, i);
        const uint64_t lt = LimbMaskLess(x, y), gt = LimbMaskLess(y, x);
        // A higher limb that differs overrides the lower ones.
        const uint64_t differs = lt | gt;
        less = (lt & differs) | (less & ~differs);
        greater = (gt & differs) | (greater & ~differs);
    }
    return static_cast<int>(greater & 1) - static_cast<int>(less & 1);
}

int BigIntIsZero(const BigInt* a) {
    return static_cast<int>(LimbsIsZero(a->limb, a->size) & 1);
}

int BigIntAdd(BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t n = Larger(a->size, b->size);
    if (n + 1 > kBigIntMaxLimbs)
        return 0;
    uint64_t carry = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb s = static_cast<DoubleLimb>(LimbAt(a, i)) + LimbAt(b, i) + carry;
        r->limb[i] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
    }
    r->limb[n] = carry;
    r->size = n + 1;
    return 1;
}

int BigIntSub(BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t n = Larger(a->size, b->size);
    uint64_t borrow = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb d = static_cast<DoubleLimb>(LimbAt(a, i)) - LimbAt(b, i) - borrow;
        r->limb[i] = static_cast<uint64_t>(d);
        borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
    r->size = n;
    return static_cast<int>(borrow ^ 1);
}

int BigIntShiftLeft(BigInt* r, const BigInt* a, size_t bits) {
    if (bits > 64 * kBigIntMaxLimbs)
        return 0;
    const size_t limbs = bits / 64, shift = bits % 64;
    const size_t size = a->size + (bits + 63) / 64;
    if (size > kBigIntMaxLimbs)
        return 0;
    // From the top down, so that r may be a.
    for (size_t i = size; i-- > 0;) {
        const uint64_t high = i >= limbs ? LimbAt(a, i - limbs) : 0;
        const uint64_t low = i >= limbs + 1 ? LimbAt(a, i - limbs - 1) : 0;
        r->limb[i] = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
    }
    r->size = size;
    return 1;
}

void BigIntShiftRight(BigInt* r, const BigInt* a, size_t bits) {
    const size_t limbs = bits / 64, shift = bits % 64;
    const size_t size = a->size > limbs + 1 ? a->size - limbs : 1;
    // From the bottom up, so that r may be a.
    for (size_t i = 0; i < size; ++i) {
        const uint64_t low = LimbAt(a, i + limbs);
        const uint64_t high = LimbAt(a, i + limbs + 1);
        r->limb[i] = shift == 0 ? low : (low >> shift) | (high << (64 - shift));
    }
    r->size = size;
}

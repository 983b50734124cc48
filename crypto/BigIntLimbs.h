// Limb-level helpers of the multi-precision code (private to crypto/): masks, and add,
// subtract, compare, select and copy over arrays of 64-bit limbs, least significant limb
// first. Lengths are public; values may be secret, so nothing here branches on a value or
// indexes memory with one. Masks are all-ones (true) or zero (false).
#pragma once

#include <cstddef>
#include <cstdint>

__extension__ typedef unsigned __int128 DoubleLimb;

// Hides `x` from the optimiser, so that arithmetic on masks is not turned back into the
// branch it replaces.
static inline uint64_t LimbBarrier(uint64_t x) {
    __asm__("" : "+r"(x));
    return x;
}

static inline uint64_t LimbMaskNonZero(uint64_t x) {
    return LimbBarrier(0 - ((x | (0 - x)) >> 63));
}
static inline uint64_t LimbMaskZero(uint64_t x) {
    return ~LimbMaskNonZero(x);
}
static inline uint64_t LimbMaskEqual(uint64_t a, uint64_t b) {
    return LimbMaskZero(a ^ b);
}
// a < b, unsigned: the borrow of a - b spread over the word.
static inline uint64_t LimbMaskLess(uint64_t a, uint64_t b) {
    return LimbBarrier(static_cast<uint64_t>((static_cast<DoubleLimb>(a) - b) >> 64));
}
// All-ones when bit 0 of `bit` is set.
static inline uint64_t LimbMaskBit(uint64_t bit) {
    return LimbBarrier(0 - (bit & 1));
}

static inline void LimbsCopy(uint64_t* r, const uint64_t* a, size_t n) {
    for (size_t i = 0; i < n; ++i)
        r[i] = a[i];
}
static inline void LimbsZero(uint64_t* r, size_t n) {
    for (size_t i = 0; i < n; ++i)
        r[i] = 0;
}
// r = a with zero limbs added on top (or r's limbs dropped when n < an, a's must be zero).
static inline void LimbsCopyPad(uint64_t* r, size_t n, const uint64_t* a, size_t an) {
    for (size_t i = 0; i < n; ++i)
        r[i] = i < an ? a[i] : 0;
}

// r = a + b over n limbs; returns the carry out (0 or 1). r may be a or b.
static inline uint64_t LimbsAdd(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t carry = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb s = static_cast<DoubleLimb>(a[i]) + b[i] + carry;
        r[i] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
    }
    return carry;
}

// r = a - b over n limbs; returns the borrow out (0 or 1). r may be a or b.
static inline uint64_t LimbsSub(uint64_t* r, const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb d = static_cast<DoubleLimb>(a[i]) - b[i] - borrow;
        r[i] = static_cast<uint64_t>(d);
        borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
    return borrow;
}

// r += b where mask is all-ones; returns the carry (0 when mask is zero).
static inline uint64_t LimbsAddIf(uint64_t mask, uint64_t* r, const uint64_t* b, size_t n) {
    uint64_t carry = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb s = static_cast<DoubleLimb>(r[i]) + (b[i] & mask) + carry;
        r[i] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
    }
    return carry;
}

// r -= b where mask is all-ones; returns the borrow (0 when mask is zero).
static inline uint64_t LimbsSubIf(uint64_t mask, uint64_t* r, const uint64_t* b, size_t n) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb d = static_cast<DoubleLimb>(r[i]) - (b[i] & mask) - borrow;
        r[i] = static_cast<uint64_t>(d);
        borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
    return borrow;
}

// All-ones when a < b (both n limbs).
static inline uint64_t LimbsLess(const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb d = static_cast<DoubleLimb>(a[i]) - b[i] - borrow;
        borrow = static_cast<uint64_t>(d >> 64) & 1;
    }
    return LimbMaskBit(borrow);
}

static inline uint64_t LimbsIsZero(const uint64_t* a, size_t n) {
    uint64_t any = 0;
    for (size_t i = 0; i < n; ++i)
        any |= a[i];
    return LimbMaskZero(any);
}

static inline uint64_t LimbsEqual(const uint64_t* a, const uint64_t* b, size_t n) {
    uint64_t diff = 0;
    for (size_t i = 0; i < n; ++i)
        diff |= a[i] ^ b[i];
    return LimbMaskZero(diff);
}

// r = mask ? a : b, reading both whole. r may be a or b.
static inline void LimbsSelect(uint64_t* r, uint64_t mask, const uint64_t* a, const uint64_t* b,
                               size_t n) {
    for (size_t i = 0; i < n; ++i)
        r[i] = (a[i] & mask) | (b[i] & ~mask);
}

// Swaps a and b where mask is all-ones.
static inline void LimbsSwapIf(uint64_t mask, uint64_t* a, uint64_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint64_t t = (a[i] ^ b[i]) & mask;
        a[i] ^= t;
        b[i] ^= t;
    }
}

// r = (a + b) mod m for a, b < m (n limbs). r may be a or b.
static inline void LimbsModAdd(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m,
                               size_t n) {
    const uint64_t carry = LimbsAdd(r, a, b, n);
    // Subtract m when the sum overflowed or is at least m.
    LimbsSubIf(LimbMaskBit(carry) | ~LimbsLess(r, m, n), r, m, n);
}

// r = (a - b) mod m for a, b < m (n limbs). r may be a or b.
static inline void LimbsModSub(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m,
                               size_t n) {
    const uint64_t borrow = LimbsSub(r, a, b, n);
    LimbsAddIf(LimbMaskBit(borrow), r, m, n);
}

// r[0..n) += a[0..n) * w; returns the limb carried out.
static inline uint64_t LimbsMulAdd(uint64_t* r, const uint64_t* a, size_t n, uint64_t w) {
    uint64_t carry = 0;
    for (size_t i = 0; i < n; ++i) {
        const DoubleLimb p = static_cast<DoubleLimb>(a[i]) * w + r[i] + carry;
        r[i] = static_cast<uint64_t>(p);
        carry = static_cast<uint64_t>(p >> 64);
    }
    return carry;
}

// Bit i of a (n limbs), i public.
static inline uint64_t LimbsBit(const uint64_t* a, size_t n, size_t i) {
    return i / 64 < n ? (a[i / 64] >> (i % 64)) & 1 : 0;
}

// -m^-1 mod 2^64 for odd m0, by Newton's iteration (each step doubles the correct bits;
// m0 is its own inverse modulo 8).
static inline uint64_t LimbNegInverse(uint64_t m0) {
    uint64_t inv = m0;
    for (int i = 0; i < 5; ++i)
        inv *= 2 - m0 * inv;
    return 0 - inv;
}

// Big-endian bytes to limbs: `size` bytes into n limbs (n * 8 >= size), zero-filled on top.
static inline void LimbsFromBytes(uint64_t* r, size_t n, const uint8_t* bytes, size_t size) {
    LimbsZero(r, n);
    for (size_t i = 0; i < size; ++i)
        r[i / 8] |= static_cast<uint64_t>(bytes[size - 1 - i]) << (8 * (i % 8));
}

// Limbs to exactly `size` big-endian bytes; limbs beyond `size` bytes are not written out.
static inline void LimbsToBytes(uint8_t* out, size_t size, const uint64_t* a, size_t n) {
    for (size_t i = 0; i < size; ++i)
        out[size - 1 - i] = i / 8 < n ? static_cast<uint8_t>(a[i / 8] >> (8 * (i % 8))) : 0;
}

// r = x^-1 scale mod m (n limbs; m odd, x and scale below m), in constant time
// (BigIntInverse.cpp). All-ones when x is invertible, else zero with r undefined.
uint64_t LimbsModInverse(uint64_t* r, const uint64_t* x, const uint64_t* scale, const uint64_t* m,
                         size_t n);

// Montgomery multiplication and squaring on 64-bit limbs: the portable kernels.
//
// The two sizes RSA meets most (16 limbs, the primes of a 2,048-bit key; 32 limbs, its
// modulus and the primes of a 4,096-bit key) have kernels of their own, fully unrolled at
// compile time, in product-scanning form: each column of a b + q m is summed into a
// three-limb accumulator, whose add-with-carry chains keep the multiplier busy, and
// without the mispredicted loop exits of triangular loops. Other sizes take the
// operand-scanning loop (one row of a b_i, then one of q_i m, per limb of b). Both end
// with one subtraction of m kept or dropped by a mask.
#include "crypto/BigIntLimbs.h"
#include "crypto/Montgomery.h"

namespace {

// (c2 c1 c0) += x y.
inline __attribute__((always_inline)) void Accumulate(uint64_t& c0, uint64_t& c1, uint64_t& c2,
                                                      uint64_t x, uint64_t y) {
    const DoubleLimb p = static_cast<DoubleLimb>(x) * y;
    const DoubleLimb t = ((static_cast<DoubleLimb>(c1) << 64) | c0) + p;
    c2 += t < p;
    c0 = static_cast<uint64_t>(t);
    c1 = static_cast<uint64_t>(t >> 64);
}

// r = t - m when (top t) >= m, else t; t < 2m.
inline void FinalSubtract(uint64_t* r, const uint64_t* t, uint64_t top, const uint64_t* m,
                          size_t n) {
    uint64_t d[kBigIntMaxModulusLimbs];
    const uint64_t borrow = LimbsSub(d, t, m, n);
    // Keep t when the subtraction borrowed and no limb overflowed above it.
    const uint64_t keep = LimbMaskBit(borrow) & LimbMaskZero(top);
    LimbsSelect(r, keep, t, d, n);
}

template <size_t N>
void MulFixed(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m,
              uint64_t m0inv) {
    uint64_t q[N];
    uint64_t t[N];
    uint64_t c0 = 0, c1 = 0, c2 = 0;
#pragma GCC unroll 64
    for (size_t k = 0; k < N; ++k) {
#pragma GCC unroll 64
        for (size_t i = 0; i <= k; ++i)
            Accumulate(c0, c1, c2, a[i], b[k - i]);
#pragma GCC unroll 64
        for (size_t i = 0; i < k; ++i)
            Accumulate(c0, c1, c2, q[i], m[k - i]);
        q[k] = c0 * m0inv;
        Accumulate(c0, c1, c2, q[k], m[0]);
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
#pragma GCC unroll 64
    for (size_t k = N; k < 2 * N - 1; ++k) {
#pragma GCC unroll 64
        for (size_t i = k - N + 1; i < N; ++i)
            Accumulate(c0, c1, c2, a[i], b[k - i]);
#pragma GCC unroll 64
        for (size_t i = k - N + 1; i < N; ++i)
            Accumulate(c0, c1, c2, q[i], m[k - i]);
        t[k - N] = c0;
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    t[N - 1] = c0;
    FinalSubtract(r, t, c1, m, N);
}

// Squaring sums each column's products a_i a_j (i < j) once and doubles the sum.
template <size_t N>
void SquareFixed(uint64_t* r, const uint64_t* a, const uint64_t* m, uint64_t m0inv) {
    uint64_t q[N];
    uint64_t t[N];
    uint64_t c0 = 0, c1 = 0, c2 = 0;
#pragma GCC unroll 128
    for (size_t k = 0; k < 2 * N - 1; ++k) {
        uint64_t e0 = 0, e1 = 0, e2 = 0;
        const size_t low = k < N ? 0 : k - N + 1;
#pragma GCC unroll 64
        for (size_t i = low; i < k - i; ++i)
            Accumulate(e0, e1, e2, a[i], a[k - i]);
        e2 = (e2 << 1) | (e1 >> 63);
        e1 = (e1 << 1) | (e0 >> 63);
        e0 <<= 1;
        if (k % 2 == 0)
            Accumulate(e0, e1, e2, a[k / 2], a[k / 2]);
        DoubleLimb s = static_cast<DoubleLimb>(c0) + e0;
        c0 = static_cast<uint64_t>(s);
        s = static_cast<DoubleLimb>(c1) + e1 + static_cast<uint64_t>(s >> 64);
        c1 = static_cast<uint64_t>(s);
        c2 += e2 + static_cast<uint64_t>(s >> 64);
        if (k < N) {
#pragma GCC unroll 64
            for (size_t i = 0; i < k; ++i)
                Accumulate(c0, c1, c2, q[i], m[k - i]);
            q[k] = c0 * m0inv;
            Accumulate(c0, c1, c2, q[k], m[0]);
        } else {
#pragma GCC unroll 64
            for (size_t i = k - N + 1; i < N; ++i)
                Accumulate(c0, c1, c2, q[i], m[k - i]);
            t[k - N] = c0;
        }
        c0 = c1;
        c1 = c2;
        c2 = 0;
    }
    t[N - 1] = c0;
    FinalSubtract(r, t, c1, m, N);
}

// Any size: per limb of b, t += a b_i, then t += q m with q making the low limb zero,
// and t shifts down one limb. t stays below 2m.
void MulGeneric(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m,
                uint64_t m0inv, size_t n) {
    uint64_t t[kBigIntMaxModulusLimbs + 2];
    LimbsZero(t, n + 2);
    for (size_t i = 0; i < n; ++i) {
        uint64_t carry = LimbsMulAdd(t, a, n, b[i]);
        DoubleLimb s = static_cast<DoubleLimb>(t[n]) + carry;
        t[n] = static_cast<uint64_t>(s);
        t[n + 1] = static_cast<uint64_t>(s >> 64);
        const uint64_t q = t[0] * m0inv;
        DoubleLimb p = static_cast<DoubleLimb>(q) * m[0] + t[0];
        carry = static_cast<uint64_t>(p >> 64);
        for (size_t j = 1; j < n; ++j) {
            p = static_cast<DoubleLimb>(q) * m[j] + t[j] + carry;
            t[j - 1] = static_cast<uint64_t>(p);
            carry = static_cast<uint64_t>(p >> 64);
        }
        s = static_cast<DoubleLimb>(t[n]) + carry;
        t[n - 1] = static_cast<uint64_t>(s);
        t[n] = t[n + 1] + static_cast<uint64_t>(s >> 64);
    }
    FinalSubtract(r, t, t[n], m, n);
}

} // namespace

void MontgomeryMul(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* b) {
    switch (ctx->size) {
    case 16:
        MulFixed<16>(r, a, b, ctx->m, ctx->m0inv);
        break;
    case 32:
        MulFixed<32>(r, a, b, ctx->m, ctx->m0inv);
        break;
    default:
        MulGeneric(r, a, b, ctx->m, ctx->m0inv, ctx->size);
    }
}

void MontgomerySquare(const Montgomery* ctx, uint64_t* r, const uint64_t* a) {
    switch (ctx->size) {
    case 16:
        SquareFixed<16>(r, a, ctx->m, ctx->m0inv);
        break;
    case 32:
        SquareFixed<32>(r, a, ctx->m, ctx->m0inv);
        break;
    default:
        MulGeneric(r, a, a, ctx->m, ctx->m0inv, ctx->size);
    }
}

// Modular inverses and gcd in constant time.
//
// The inverse runs Bernstein and Yang's divsteps ("Fast constant-time gcd computation and
// modular inversion", 2019) on (f, g) = (m, x): a fixed number of steps for m's length
// (their theorem 11.2) brings g to 0 and f to +-gcd(m, x), whatever the values. Steps go
// 62 at a time on the low words, giving a 2x2 matrix that is then applied to the whole
// numbers, and to (d, e), which track f and g as multiples of x modulo m. Numbers are held
// in signed limbs of 62 bits, so that a matrix entry (at most 2^62) times a limb, summed
// twice, fits in 128 bits. The gcd is Stein's binary algorithm with a fixed step count.
#include "crypto/BigInt.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/Montgomery.h"

namespace {

__extension__ typedef __int128 SignedDouble;

constexpr int64_t kMask62 = (int64_t{1} << 62) - 1;
// Signed limbs of the longest modulus, with room for a sign and for d, e in (-2m, m).
constexpr size_t kMaxSigned62 = kBigIntMaxModulusBits / 62 + 2;

struct Transition {
    int64_t u, v, q, r; // 2^62 (f', g') = (u f + v g, q f + r g)
};

// 62 divsteps on the low words of f (odd) and g, from delta; returns the new delta. Only
// the low bits the steps need are right in f and g, and nothing branches on them.
int64_t DivSteps62(int64_t delta, uint64_t f, uint64_t g, Transition* t) {
    uint64_t u = 1, v = 0, q = 0, r = 1;
    for (int i = 0; i < 62; ++i) {
        const uint64_t odd = LimbMaskBit(g);
        const uint64_t positive = static_cast<uint64_t>((0 - delta) >> 63);
        const uint64_t swap = LimbBarrier(odd & positive);
        // delta > 0 and g odd: (f, g) = (g, -f), with the rows of the matrix likewise.
        uint64_t x = (f ^ g) & swap;
        f ^= x;
        g = ((g ^ x) ^ swap) - swap;
        x = (u ^ q) & swap;
        u ^= x;
        q = ((q ^ x) ^ swap) - swap;
        x = (v ^ r) & swap;
        v ^= x;
        r = ((r ^ x) ^ swap) - swap;
        delta = (delta ^ static_cast<int64_t>(swap)) - static_cast<int64_t>(swap);
        // g odd: g += f; then g is even and halves (f doubles relative to it).
        g += f & odd;
        q += u & odd;
        r += v & odd;
        g >>= 1;
        u <<= 1;
        v <<= 1;
        delta += 1;
    }
    t->u = static_cast<int64_t>(u);
    t->v = static_cast<int64_t>(v);
    t->q = static_cast<int64_t>(q);
    t->r = static_cast<int64_t>(r);
    return delta;
}

void ToSigned62(int64_t* out, size_t count, const uint64_t* a, size_t n) {
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 62 * i, limb = at / 64, shift = at % 64;
        uint64_t bits = limb < n ? a[limb] >> shift : 0;
        if (shift > 2 && limb + 1 < n)
            bits |= a[limb + 1] << (64 - shift);
        out[i] = static_cast<int64_t>(bits) & kMask62;
    }
}

// a (count limbs, non-negative, below 2^(64 n)) into n limbs.
void FromSigned62(uint64_t* out, size_t n, const int64_t* a, size_t count) {
    DoubleLimb window = 0;
    unsigned held = 0;
    size_t written = 0;
    for (size_t i = 0; i < count && written < n; ++i) {
        window |= static_cast<DoubleLimb>(static_cast<uint64_t>(a[i]) & kMask62) << held;
        held += 62;
        if (held >= 64) {
            out[written++] = static_cast<uint64_t>(window);
            window >>= 64;
            held -= 64;
        }
    }
    while (written < n) {
        out[written++] = static_cast<uint64_t>(window);
        window >>= 64;
    }
}

// Brings every limb but the top one into [0, 2^62).
void Carry62(int64_t* a, size_t count) {
    for (size_t i = 0; i + 1 < count; ++i) {
        a[i + 1] += a[i] >> 62;
        a[i] &= kMask62;
    }
}

void AddIf62(int64_t* a, const int64_t* m, int64_t mask, size_t count) {
    for (size_t i = 0; i < count; ++i)
        a[i] += m[i] & mask;
    Carry62(a, count);
}

void NegateIf62(int64_t* a, int64_t mask, size_t count) {
    for (size_t i = 0; i < count; ++i)
        a[i] = (a[i] ^ mask) - mask;
    Carry62(a, count);
}

// (f, g) = t (f, g) / 2^62, exactly.
void UpdateFG(int64_t* f, int64_t* g, size_t count, const Transition& t) {
    SignedDouble cf = static_cast<SignedDouble>(t.u) * f[0] + static_cast<SignedDouble>(t.v) * g[0];
    SignedDouble cg = static_cast<SignedDouble>(t.q) * f[0] + static_cast<SignedDouble>(t.r) * g[0];
    cf >>= 62;
    cg >>= 62;
    for (size_t i = 1; i < count; ++i) {
        cf += static_cast<SignedDouble>(t.u) * f[i] + static_cast<SignedDouble>(t.v) * g[i];
        cg += static_cast<SignedDouble>(t.q) * f[i] + static_cast<SignedDouble>(t.r) * g[i];
        f[i - 1] = static_cast<int64_t>(cf) & kMask62;
        g[i - 1] = static_cast<int64_t>(cg) & kMask62;
        cf >>= 62;
        cg >>= 62;
    }
    f[count - 1] = static_cast<int64_t>(cf);
    g[count - 1] = static_cast<int64_t>(cg);
}

// (d, e) = t (d, e) / 2^62 mod m: a multiple of m is added to each so that the division is
// exact, chosen (with m added first where d or e is negative) to keep both in (-2m, m).
void UpdateDE(int64_t* d, int64_t* e, size_t count, const Transition& t, const int64_t* m,
              uint64_t mInverse62) {
    const int64_t sd = d[count - 1] >> 63, se = e[count - 1] >> 63;
    int64_t md = (t.u & sd) + (t.v & se);
    int64_t me = (t.q & sd) + (t.r & se);
    SignedDouble cd = static_cast<SignedDouble>(t.u) * d[0] + static_cast<SignedDouble>(t.v) * e[0];
    SignedDouble ce = static_cast<SignedDouble>(t.q) * d[0] + static_cast<SignedDouble>(t.r) * e[0];
    md -= static_cast<int64_t>(
        (mInverse62 * static_cast<uint64_t>(cd) + static_cast<uint64_t>(md)) & kMask62);
    me -= static_cast<int64_t>(
        (mInverse62 * static_cast<uint64_t>(ce) + static_cast<uint64_t>(me)) & kMask62);
    cd += static_cast<SignedDouble>(m[0]) * md;
    ce += static_cast<SignedDouble>(m[0]) * me;
    cd >>= 62;
    ce >>= 62;
    for (size_t i = 1; i < count; ++i) {
        cd += static_cast<SignedDouble>(t.u) * d[i] + static_cast<SignedDouble>(t.v) * e[i] +
              static_cast<SignedDouble>(m[i]) * md;
        ce += static_cast<SignedDouble>(t.q) * d[i] + static_cast<SignedDouble>(t.r) * e[i] +
              static_cast<SignedDouble>(m[i]) * me;
        d[i - 1] = static_cast<int64_t>(cd) & kMask62;
        e[i - 1] = static_cast<int64_t>(ce) & kMask62;
        cd >>= 62;
        ce >>= 62;
    }
    d[count - 1] = static_cast<int64_t>(cd);
    e[count - 1] = static_cast<int64_t>(ce);
}

size_t Larger(size_t a, size_t b) {
    return a > b ? a : b;
}

} // namespace

uint64_t LimbsModInverse(uint64_t* r, const uint64_t* x, const uint64_t* scale, const uint64_t* m,
                         size_t n) {
    const size_t count = 64 * n / 62 + 2;
    int64_t f[kMaxSigned62], g[kMaxSigned62], d[kMaxSigned62], e[kMaxSigned62];
    int64_t modulus[kMaxSigned62];
    ToSigned62(modulus, count, m, n);
    ToSigned62(f, count, m, n);
    ToSigned62(g, count, x, n);
    ToSigned62(e, count, scale, n);
    for (size_t i = 0; i < count; ++i)
        d[i] = 0;
    // Invariant: d x = f scale and e x = g scale (mod m).
    const uint64_t mInverse62 = (0 - LimbNegInverse(m[0])) & static_cast<uint64_t>(kMask62);
    const size_t bits = 64 * n;
    const size_t steps = (49 * bits + (bits < 46 ? 80 : 57)) / 17 + 1;
    int64_t delta = 1;
    for (size_t done = 0; done < steps; done += 62) {
        Transition t;
        delta = DivSteps62(delta, static_cast<uint64_t>(f[0]), static_cast<uint64_t>(g[0]), &t);
        UpdateFG(f, g, count, t);
        UpdateDE(d, e, count, t, modulus, mInverse62);
    }
    // g is 0 and f is +-gcd: invertible when |f| = 1, the inverse times scale being +-d.
    const int64_t negative = f[count - 1] >> 63;
    NegateIf62(f, negative, count);
    uint64_t rest = static_cast<uint64_t>(f[0] ^ 1);
    for (size_t i = 1; i < count; ++i)
        rest |= static_cast<uint64_t>(f[i]);
    AddIf62(d, modulus, d[count - 1] >> 63, count);
    NegateIf62(d, negative, count);
    AddIf62(d, modulus, d[count - 1] >> 63, count);
    FromSigned62(r, n, d, count);
    CryptoWipe(f, sizeof f);
    CryptoWipe(g, sizeof g);
    CryptoWipe(d, sizeof d);
    CryptoWipe(e, sizeof e);
    CryptoWipe(modulus, sizeof modulus);
    return LimbMaskZero(rest);
}

int BigIntModInverse(BigInt* r, const BigInt* a, const BigInt* m) {
    if (m->size > kBigIntMaxModulusLimbs)
        return 0;
    uint64_t ok;
    uint64_t result[kBigIntMaxModulusLimbs];
    if ((m->limb[0] & 1) != 0) {
        // (a R)^-1 R = a^-1, with a R mod m from entering the Montgomery form.
        Montgomery ctx;
        if (MontgomeryInit(&ctx, m->limb, m->size) == 0)
            return 0;
        uint64_t x[kBigIntMaxModulusLimbs];
        MontgomeryEnter(&ctx, x, a->limb, a->size);
        ok = LimbsModInverse(result, x, ctx.one, ctx.m, ctx.size);
        LimbsCopyPad(r->limb, m->size, result, ctx.size);
        CryptoWipe(x, sizeof x);
        CryptoWipe(&ctx, sizeof ctx);
    } else {
        // Even m, odd a: with a' = a mod m (odd as well) and t = m^-1 mod a',
        // (1 + m (a' - t)) / a' is an integer, 1 mod m once multiplied by a, and below
        // m + 2 (m + 1 only for a' = 1): one subtraction reduces it.
        if ((a->limb[0] & 1) == 0)
            return 0;
        BigInt reducedA, x, t, scale, numerator;
        if (BigIntDivRemSecret(nullptr, &reducedA, a, m) == 0 ||
            BigIntDivRemSecret(nullptr, &x, m, &reducedA) == 0)
            return 0;
        const size_t n = m->size;
        // 1 mod a' (0 when a' is 1).
        uint64_t isOne = LimbMaskEqual(reducedA.limb[0], 1);
        for (size_t i = 1; i < n; ++i)
            isOne &= LimbMaskZero(reducedA.limb[i]);
        scale.size = t.size = n;
        LimbsZero(scale.limb, n);
        scale.limb[0] = 1 & ~isOne;
        ok = LimbsModInverse(t.limb, x.limb, scale.limb, reducedA.limb, n);
        BigIntSub(&t, &reducedA, &t);
        BigIntMul(&numerator, m, &t);
        // + 1, which cannot carry out of the product's limbs.
        uint64_t carry = 1;
        for (size_t i = 0; i < numerator.size; ++i) {
            const DoubleLimb sum = static_cast<DoubleLimb>(numerator.limb[i]) + carry;
            numerator.limb[i] = static_cast<uint64_t>(sum);
            carry = static_cast<uint64_t>(sum >> 64);
        }
        BigIntDivRemSecret(&x, nullptr, &numerator, &reducedA);
        BigInt lower;
        const uint64_t below = static_cast<uint64_t>(BigIntSub(&lower, &x, m)) - 1;
        LimbsSelect(result, below, x.limb, lower.limb, n);
        LimbsCopy(r->limb, result, n);
        CryptoWipe(&reducedA, sizeof reducedA);
        CryptoWipe(&x, sizeof x);
        CryptoWipe(&t, sizeof t);
        CryptoWipe(&numerator, sizeof numerator);
        CryptoWipe(&lower, sizeof lower);
    }
    r->size = m->size;
    CryptoWipe(result, sizeof result);
    return static_cast<int>(ok & 1);
}

void BigIntGcd(BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t n = Larger(a->size, b->size);
    uint64_t x[kBigIntMaxLimbs], y[kBigIntMaxLimbs], t[kBigIntMaxLimbs];
    LimbsCopyPad(x, n, a->limb, a->size);
    LimbsCopyPad(y, n, b->limb, b->size);
    uint64_t twos = 0;
    // Each step takes at least one bit off the two lengths together until one is zero.
    for (size_t step = 0; step < 128 * n; ++step) {
        // Both odd: (x, y) = (|x - y|, min(x, y)).
        const uint64_t bothOdd = LimbMaskBit(x[0] & y[0]);
        const uint64_t borrow = LimbMaskBit(LimbsSub(t, x, y, n));
        LimbsSwapIf(bothOdd & borrow, x, y, n);
        LimbsSubIf(bothOdd, x, y, n);
        // Halve the even ones; a factor 2 common to both is counted.
        const uint64_t xEven = ~LimbMaskBit(x[0]), yEven = ~LimbMaskBit(y[0]);
        twos += xEven & yEven & 1;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t xNext = i + 1 < n ? x[i + 1] : 0, yNext = i + 1 < n ? y[i + 1] : 0;
            x[i] = (((x[i] >> 1) | (xNext << 63)) & xEven) | (x[i] & ~xEven);
            y[i] = (((y[i] >> 1) | (yNext << 63)) & yEven) | (y[i] & ~yEven);
        }
    }
    // One of them is zero; the other times 2^twos, shifted by each power of two in twos.
    for (size_t i = 0; i < n; ++i)
        x[i] |= y[i];
    for (unsigned k = 0; (size_t{1} << k) < 64 * n; ++k) {
        const uint64_t take = LimbMaskBit(twos >> k);
        const size_t limbs = (size_t{1} << k) / 64, shift = (size_t{1} << k) % 64;
        for (size_t i = n; i-- > 0;) {
            const uint64_t high = i >= limbs ? x[i - limbs] : 0;
            const uint64_t low = i >= limbs + 1 ? x[i - limbs - 1] : 0;
            t[i] = shift == 0 ? high : (high << shift) | (low >> (64 - shift));
        }
        LimbsSelect(x, take, t, x, n);
    }
    LimbsCopy(r->limb, x, n);
    r->size = n;
    CryptoWipe(x, sizeof x);
    CryptoWipe(y, sizeof y);
    CryptoWipe(t, sizeof t);
}

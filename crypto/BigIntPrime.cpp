// Random numbers below a bound and probable-prime testing: trial division by the small
// primes, then Miller-Rabin (FIPS 186-4 appendix C.3.1).
#include "crypto/BigInt.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/Montgomery.h"
#include "crypto/Random.h"

namespace {

// Trial division by the odd primes below this: about a ninth of random odd candidates
// survive it, each having cost a few microseconds instead of a modular exponentiation.
constexpr uint32_t kSmallPrimeBound = 2048;
constexpr size_t kMaxSmallPrimes = 320;

// r mod d for r < 2^64 and 2 < d < 2^32 in constant time: Barrett's estimate with
// mu = floor((2^64 - 1) / d) is low by at most one.
uint64_t ReduceWord(uint64_t r, uint64_t d, uint64_t mu) {
    const uint64_t estimate = static_cast<uint64_t>((static_cast<DoubleLimb>(r) * mu) >> 64);
    uint64_t rest = r - estimate * d;
    rest -= d & ~LimbMaskLess(rest, d);
    return rest;
}

// The small odd primes, multiplied together in groups whose product stays below 2^32: a
// candidate's residue modulo a group's product, read 32 bits at a time, gives its
// residues modulo each prime of the group.
struct SmallPrimes {
    uint32_t prime[kMaxSmallPrimes];
    uint64_t primeMu[kMaxSmallPrimes];
    uint64_t product[kMaxSmallPrimes];
    uint64_t productMu[kMaxSmallPrimes];
    size_t groupEnd[kMaxSmallPrimes]; // one past the group's last prime
    size_t primes = 0, groups = 0;

    SmallPrimes() {
        bool composite[kSmallPrimeBound] = {};
        for (uint32_t p = 3; p < kSmallPrimeBound; p += 2) {
            if (composite[p])
                continue;
            for (uint32_t k = p * p; k < kSmallPrimeBound; k += 2 * p)
                composite[k] = true;
            const uint64_t mu = ~uint64_t{0} / p;
            if (groups == 0 || product[groups - 1] * p >= (uint64_t{1} << 32)) {
                product[groups] = 1;
                ++groups;
            }
            product[groups - 1] *= p;
            prime[primes] = p;
            primeMu[primes] = mu;
            ++primes;
            groupEnd[groups - 1] = primes;
        }
        for (size_t g = 0; g < groups; ++g)
            productMu[g] = ~uint64_t{0} / product[g];
    }
};

const SmallPrimes& Primes() {
    static const SmallPrimes primes;
    return primes;
}

// All-ones when a (n limbs, above every small prime) has a small prime factor.
uint64_t SmallFactorMask(const uint64_t* a, size_t n) {
    const SmallPrimes& table = Primes();
    uint64_t found = 0;
    size_t first = 0;
    for (size_t g = 0; g < table.groups; ++g) {
        uint64_t rest = 0;
        for (size_t half = 2 * n; half-- > 0;) {
            const uint64_t part = (a[half / 2] >> (32 * (half % 2))) & 0xffffffff;
            rest = ReduceWord((rest << 32) | part, table.product[g], table.productMu[g]);
        }
        for (size_t i = first; i < table.groupEnd[g]; ++i)
            found |= LimbMaskZero(ReduceWord(rest, table.prime[i], table.primeMu[i]));
        first = table.groupEnd[g];
    }
    return found;
}

// Public: primality of a word by trial division (the values are short enough to be
// their own evidence).
int WordIsPrime(uint64_t w) {
    if (w < 2)
        return 0;
    if (w % 2 == 0)
        return w == 2;
    for (uint64_t d = 3; d <= w / d; d += 2)
        if (w % d == 0)
            return 0;
    return 1;
}

// 0 or 1 from the low bit of a mask.
int Truth(uint64_t mask) {
    return static_cast<int>(mask & 1);
}

} // namespace

int BigIntRandomBelow(BigInt* r, const BigInt* bound) {
    const size_t bits = BigIntBitLength(bound);
    if (bits == 0)
        return 0;
    const size_t bytes = (bits + 7) / 8;
    uint8_t draw[8 * kBigIntMaxLimbs];
    r->size = bound->size;
    // Draws of `bits` bits until one is below the bound: fewer than two on average.
    for (int attempt = 0; attempt < 128; ++attempt) {
        if (CryptoRandomBytes(draw, bytes) == 0)
            return 0;
        draw[0] &= static_cast<uint8_t>(0xff >> (8 * bytes - bits));
        LimbsFromBytes(r->limb, r->size, draw, bytes);
        CryptoWipe(draw, bytes);
        if (Truth(LimbsLess(r->limb, bound->limb, r->size)) != 0)
            return 1;
    }
    return 0;
}

int BigIntMillerRabinRounds(size_t bits) {
    if (bits >= 1536)
        return 4;
    if (bits >= 1024)
        return 5;
    return bits >= 512 ? 7 : 64;
}

int BigIntIsProbablePrime(const BigInt* w, int rounds) {
    BigInt trimmed = *w;
    BigIntTrim(&trimmed);
    if (trimmed.size == 1 && trimmed.limb[0] < (uint64_t{1} << 32))
        return WordIsPrime(trimmed.limb[0]);
    if ((trimmed.limb[0] & 1) == 0 || trimmed.size > kBigIntMaxModulusLimbs)
        return 0;
    const size_t n = trimmed.size;
    // A small factor makes it composite, and it is thrown away: the exit may show.
    if (Truth(SmallFactorMask(trimmed.limb, n)) != 0)
        return 0;
    Montgomery ctx;
    if (MontgomeryInit(&ctx, trimmed.limb, n) == 0)
        return 0;
    // w - 1 = 2^a m with m odd. a is counted over every bit, and m shifted by each power of
    // two in a, without branches.
    uint64_t m[kBigIntMaxModulusLimbs], t[kBigIntMaxModulusLimbs];
    LimbsCopy(m, trimmed.limb, n);
    m[0] &= ~uint64_t{1};
    uint64_t a = 0, seen = 0;
    for (size_t bit = 0; bit < 64 * n; ++bit) {
        seen |= LimbMaskBit(m[bit / 64] >> (bit % 64));
        a += ~seen & 1;
    }
    for (unsigned k = 0; (size_t{1} << k) < 64 * n; ++k) {
        const size_t bits = size_t{1} << k, limbs = bits / 64, shift = bits % 64;
        for (size_t i = 0; i < n; ++i) {
            const uint64_t low = i + limbs < n ? m[i + limbs] : 0;
            const uint64_t high = i + limbs + 1 < n ? m[i + limbs + 1] : 0;
            t[i] = shift == 0 ? low : (low >> shift) | (high << (64 - shift));
        }
        LimbsSelect(m, LimbMaskBit(a >> k), t, m, n);
    }
    // -1 in the form: m - R mod m.
    uint64_t minusOne[kBigIntMaxModulusLimbs], z[kBigIntMaxModulusLimbs];
    LimbsSub(minusOne, ctx.m, ctx.one, n);
    BigInt bound, two, base;
    BigIntFromWord(&two, 3);
    BigIntSub(&bound, &trimmed, &two); // bases from [2, w - 2]: 2 + [0, w - 3)
    BigIntFromWord(&two, 2);
    int verdict = 1;
    for (int round = 0; round < rounds && verdict == 1; ++round) {
        if (BigIntRandomBelow(&base, &bound) == 0 || BigIntAdd(&base, &base, &two) == 0) {
            verdict = -1;
            break;
        }
        if (MontgomeryExp(&ctx, z, base.limb, m, n) == 0) {
            verdict = -1;
            break;
        }
        MontgomeryMul(&ctx, z, z, ctx.rr);
        uint64_t passed = LimbsEqual(z, ctx.one, n) | LimbsEqual(z, minusOne, n);
        uint64_t failed = 0;
        // Squarings 1 to a - 1 may reach -1 (a pass) or 1 first (composite); a prime runs
        // on to the length of w whatever happened, so that its time shows neither a nor
        // where -1 came.
        for (size_t j = 1; j < ctx.bits; ++j) {
            failed |= LimbMaskEqual(j, a) & ~passed;
            if (Truth(failed) != 0)
                break;
            MontgomerySquare(&ctx, z, z);
            const uint64_t counts = LimbMaskLess(j, a) & ~passed;
            passed |= counts & LimbsEqual(z, minusOne, n);
            failed |= counts & LimbsEqual(z, ctx.one, n);
        }
        if (Truth(failed) != 0)
            verdict = 0;
    }
    CryptoWipe(m, sizeof m);
    CryptoWipe(t, sizeof t);
    CryptoWipe(z, sizeof z);
    CryptoWipe(minusOne, sizeof minusOne);
    CryptoWipe(&base, sizeof base);
    CryptoWipe(&trimmed, sizeof trimmed);
    CryptoWipe(&bound, sizeof bound);
    CryptoWipe(&ctx, sizeof ctx);
    return verdict;
}

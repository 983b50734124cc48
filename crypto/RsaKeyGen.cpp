// RSA key generation after FIPS 186-4 appendix B.3.3 (random probable primes) and B.3.1
// (the private exponent).
#include "crypto/RsaKey.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/Random.h"
#include "crypto/RsaKeyInternal.h"

namespace {

// Fresh primes after a private exponent came out too small (B.3.1 asks for d > 2^(nlen/2),
// which a random key misses with a chance near 2^-(nlen/2)).
constexpr int kKeyAttempts = 16;

// 0 or 1 from the low bit of a mask.
int Truth(uint64_t mask) {
    return static_cast<int>(mask & 1);
}

// Values that are wiped when they go out of scope.
struct Secrets {
    BigInt value[12];
    Secrets() = default;
    ~Secrets() { CryptoWipe(value, sizeof value); }
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;
};

// All-ones when gcd(x, e) = 1 for the public exponent e: x R is invertible modulo e.
uint64_t CoprimeToExponent(const BigInt* x, const Montgomery* e) {
    uint64_t entered[1], inverse[1];
    MontgomeryEnter(e, entered, x->limb, x->size);
    const uint64_t ok = LimbsModInverse(inverse, entered, e->one, e->m, 1);
    CryptoWipe(entered, sizeof entered);
    CryptoWipe(inverse, sizeof inverse);
    return ok;
}

// B.3.3 steps 4 (other null) and 5 (other the first prime): a random prime of `bits` bits
// with p >= sqrt(2) 2^(bits - 1), gcd(p - 1, e) = 1 and, for the second,
// |p - other| > 2^(bits - 100). 1 on success, 0 after 5 bits candidates or on a failing
// generator.
int GeneratePrime(BigInt* p, size_t bits, const Montgomery* e, const BigInt* other) {
    const size_t bytes = bits / 8;
    uint8_t draw[kBigIntMaxModulusBits / 16];
    BigInt one;
    BigIntFromWord(&one, 1);
    const int rounds = BigIntMillerRabinRounds(bits);
    int verdict = 0;
    for (size_t i = 0; i < 5 * bits && verdict == 0;) {
        if (CryptoRandomBytes(draw, bytes) == 0)
            break;
        BigIntFromBytes(p, draw, bytes);
        CryptoWipe(draw, bytes);
        p->limb[0] |= 1;
        // Steps 4.4 and 5.4 draw again without counting the candidate.
        if (Truth(RsaPrimeLargeEnough(p, bits)) == 0 ||
            (other != nullptr && Truth(RsaPrimesFarApart(p, other, bits)) == 0))
            continue;
        ++i;
        BigInt p1;
        BigIntSub(&p1, p, &one);
        const int coprime = Truth(CoprimeToExponent(&p1, e));
        CryptoWipe(&p1, sizeof p1);
        if (coprime == 0)
            continue;
        verdict = BigIntIsProbablePrime(p, rounds);
        if (verdict < 0)
            break;
    }
    return verdict > 0 ? 1 : 0;
}

} // namespace

uint64_t RsaPrimeLargeEnough(const BigInt* p, size_t bits) {
    // p >= sqrt(2) 2^(bits - 1) exactly when p^2 >= 2^(2 bits - 1): its top bit.
    BigInt square;
    BigIntSquare(&square, p);
    const uint64_t top = LimbMaskBit(square.limb[(2 * bits - 1) / 64] >> ((2 * bits - 1) % 64));
    CryptoWipe(&square, sizeof square);
    return top;
}

uint64_t RsaPrimesFarApart(const BigInt* p, const BigInt* q, size_t bits) {
    // |p - q|: the difference, negated (complemented, plus one) when it borrowed, against
    // 2^(bits - 100).
    BigInt distance, bound;
    const uint64_t negative = LimbMaskBit(BigIntSub(&distance, p, q) ^ 1);
    uint64_t carry = negative & 1;
    for (size_t j = 0; j < distance.size; ++j) {
        const DoubleLimb sum = static_cast<DoubleLimb>(distance.limb[j] ^ negative) + carry;
        distance.limb[j] = static_cast<uint64_t>(sum);
        carry = static_cast<uint64_t>(sum >> 64);
    }
    BigIntFromWord(&bound, 1);
    BigIntShiftLeft(&bound, &bound, bits - 100);
    const uint64_t apart =
        LimbMaskEqual(static_cast<uint64_t>(BigIntCompare(&distance, &bound)), 1);
    CryptoWipe(&distance, sizeof distance);
    return apart;
}

RsaPrivateKey* RsaGenerateKey(uint32_t bits, uint64_t e) {
    if ((bits != 2048 && bits != 3072 && bits != 4096) || e < 65537 || (e & 1) == 0)
        return nullptr;
    Montgomery exponent;
    if (MontgomeryInit(&exponent, &e, 1) == 0)
        return nullptr;
    const size_t half = bits / 2;
    Secrets s;
    BigInt* component = s.value; // the eight components, by RsaComponent
    BigInt& p1 = s.value[8];
    BigInt& q1 = s.value[9];
    BigInt& lambda = s.value[10];
    BigInt& gcd = s.value[11];
    BigInt one, floor;
    BigIntFromWord(&one, 1);
    BigIntFromWord(&floor, 1);
    BigIntShiftLeft(&floor, &floor, half);
    BigIntFromWord(&component[RSA_E], e);
    for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
        BigInt& p = component[RSA_P];
        BigInt& q = component[RSA_Q];
        if (GeneratePrime(&p, half, &exponent, nullptr) == 0 ||
            GeneratePrime(&q, half, &exponent, &p) == 0)
            return nullptr;
        // d = e^-1 mod lcm(p - 1, q - 1), lcm = (p - 1)(q - 1) / gcd.
        BigIntSub(&p1, &p, &one);
        BigIntSub(&q1, &q, &one);
        BigIntGcd(&gcd, &p1, &q1);
        BigIntMul(&lambda, &p1, &q1);
        if (BigIntDivRemSecret(&lambda, nullptr, &lambda, &gcd) == 0 ||
            BigIntResize(&lambda, bits / 64) == 0 ||
            BigIntModInverse(&component[RSA_D], &component[RSA_E], &lambda) == 0)
            return nullptr;
        // B.3.1: d > 2^(nlen/2), else new primes.
        if (BigIntCompare(&component[RSA_D], &floor) <= 0)
            continue;
        if (BigIntMul(&component[RSA_N], &p, &q) == 0 ||
            BigIntDivRemSecret(nullptr, &component[RSA_DP], &component[RSA_D], &p1) == 0 ||
            BigIntDivRemSecret(nullptr, &component[RSA_DQ], &component[RSA_D], &q1) == 0 ||
            BigIntModInverse(&component[RSA_QINV], &q, &p) == 0)
            return nullptr;
        // The key's own checks run once more over what was made.
        return RsaPrivateKeyFromBigInts(component);
    }
    return nullptr;
}

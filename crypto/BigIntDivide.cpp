// Multiplication and division of BigInts: schoolbook products, Knuth's division for public
// values, bit-serial division for secrets.
#include "crypto/BigInt.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"

namespace {

// r (an + bn limbs) = a b, operand scanning; r must not overlap a or b.
void MulLimbs(uint64_t* r, const uint64_t* a, size_t an, const uint64_t* b, size_t bn) {
    LimbsZero(r, an + bn);
    for (size_t i = 0; i < bn; ++i)
        r[an + i] = LimbsMulAdd(r + i, a, an, b[i]);
}

size_t TrimmedSize(const BigInt* a) {
    size_t n = a->size;
    while (n > 1 && a->limb[n - 1] == 0)
        --n;
    return n;
}

} // namespace

int BigIntMul(BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t size = a->size + b->size;
    if (size > kBigIntMaxLimbs)
        return 0;
    uint64_t product[kBigIntMaxLimbs];
    MulLimbs(product, a->limb, a->size, b->limb, b->size);
    LimbsCopy(r->limb, product, size);
    r->size = size;
    CryptoWipe(product, size * sizeof(uint64_t));
    return 1;
}

int BigIntSquare(BigInt* r, const BigInt* a) {
    return BigIntMul(r, a, a);
}

int BigIntDivRem(BigInt* q, BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t bn = TrimmedSize(b);
    if (bn == 1 && b->limb[0] == 0)
        return 0;
    const size_t an = TrimmedSize(a);
    uint64_t quotient[kBigIntMaxLimbs] = {};
    uint64_t remainder[kBigIntMaxLimbs] = {};
    if (an < bn) {
        LimbsCopy(remainder, a->limb, an);
    } else if (bn == 1) {
        const uint64_t d = b->limb[0];
        uint64_t rest = 0;
        for (size_t i = an; i-- > 0;) {
            const DoubleLimb n = (static_cast<DoubleLimb>(rest) << 64) | a->limb[i];
            quotient[i] = static_cast<uint64_t>(n / d);
            rest = static_cast<uint64_t>(n % d);
        }
        remainder[0] = rest;
    } else {
        // Algorithm D (Knuth, TAOCP vol. 2, 4.3.1) on operands shifted so that the
        // divisor's top bit is set, which keeps each quotient-limb estimate within two of
        // the truth.
        const int shift = __builtin_clzll(b->limb[bn - 1]);
        uint64_t v[kBigIntMaxLimbs];
        uint64_t u[kBigIntMaxLimbs + 1];
        for (size_t i = bn; i-- > 0;)
            v[i] =
                (b->limb[i] << shift) | (shift != 0 && i > 0 ? b->limb[i - 1] >> (64 - shift) : 0);
        u[an] = shift != 0 ? a->limb[an - 1] >> (64 - shift) : 0;
        for (size_t i = an; i-- > 0;)
            u[i] =
                (a->limb[i] << shift) | (shift != 0 && i > 0 ? a->limb[i - 1] >> (64 - shift) : 0);
        const uint64_t top = v[bn - 1], next = v[bn - 2];
        for (size_t j = an - bn + 1; j-- > 0;) {
            const DoubleLimb n = (static_cast<DoubleLimb>(u[j + bn]) << 64) | u[j + bn - 1];
            DoubleLimb qhat = n / top;
            DoubleLimb rhat = n % top;
            while ((qhat >> 64) != 0 || qhat * next > ((rhat << 64) | u[j + bn - 2])) {
                --qhat;
                rhat += top;
                if ((rhat >> 64) != 0)
                    break;
            }
            // u[j .. j + bn] -= qhat v; add v back once if that went negative.
            const uint64_t qd = static_cast<uint64_t>(qhat);
            uint64_t carry = 0, borrow = 0;
            for (size_t i = 0; i < bn; ++i) {
                const DoubleLimb p = static_cast<DoubleLimb>(qd) * v[i] + carry;
                carry = static_cast<uint64_t>(p >> 64);
                const DoubleLimb d =
                    static_cast<DoubleLimb>(u[i + j]) - static_cast<uint64_t>(p) - borrow;
                u[i + j] = static_cast<uint64_t>(d);
                borrow = static_cast<uint64_t>(d >> 64) & 1;
            }
            const DoubleLimb d = static_cast<DoubleLimb>(u[j + bn]) - carry - borrow;
            u[j + bn] = static_cast<uint64_t>(d);
            quotient[j] = qd;
            if ((static_cast<uint64_t>(d >> 64) & 1) != 0) {
                --quotient[j];
                u[j + bn] += LimbsAdd(u + j, u + j, v, bn);
            }
        }
        for (size_t i = 0; i < bn; ++i)
            remainder[i] = (u[i] >> shift) | (shift != 0 ? u[i + 1] << (64 - shift) : 0);
    }
    if (q != nullptr) {
        q->size = a->size;
        LimbsCopy(q->limb, quotient, a->size);
    }
    if (r != nullptr) {
        r->size = b->size;
        LimbsCopy(r->limb, remainder, b->size);
    }
    return 1;
}

int BigIntDivRemSecret(BigInt* q, BigInt* r, const BigInt* a, const BigInt* b) {
    const size_t n = b->size;
    // A zero divisor gives 0, found without a branch: the loop runs either way.
    const uint64_t zero = LimbsIsZero(b->limb, n);
    // The running remainder stays below 2b: n + 1 limbs.
    uint64_t rest[kBigIntMaxLimbs + 1] = {};
    uint64_t divisor[kBigIntMaxLimbs + 1];
    uint64_t quotient[kBigIntMaxLimbs] = {};
    LimbsCopyPad(divisor, n + 1, b->limb, n);
    for (size_t bit = 64 * a->size; bit-- > 0;) {
        uint64_t in = (a->limb[bit / 64] >> (bit % 64)) & 1;
        for (size_t i = 0; i <= n; ++i) {
            const uint64_t out = rest[i] >> 63;
            rest[i] = (rest[i] << 1) | in;
            in = out;
        }
        const uint64_t fits = ~LimbsLess(rest, divisor, n + 1);
        LimbsSubIf(fits, rest, divisor, n + 1);
        quotient[bit / 64] |= (fits & 1) << (bit % 64);
    }
    const size_t aSize = a->size;
    if (q != nullptr) {
        q->size = aSize;
        LimbsCopy(q->limb, quotient, aSize);
    }
    if (r != nullptr) {
        r->size = n;
        LimbsCopy(r->limb, rest, n);
    }
    CryptoWipe(rest, sizeof rest);
    CryptoWipe(quotient, sizeof quotient);
    return static_cast<int>(~zero & 1);
}

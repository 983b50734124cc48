// The multi-precision functions that promise constant time, their secret operands
// undefined (sizes, and moduli where the function takes their length as public, stay
// defined).
#include "CtCheck.h"

#include "crypto/BigInt.h"
#include "crypto/BigIntLimbs.h"

#include <random>

namespace {

// A value of `limbs` random limbs, the top one not zero.
BigInt Random(std::mt19937_64& random, size_t limbs) {
    BigInt r;
    r.size = limbs;
    for (size_t i = 0; i < limbs; ++i)
        r.limb[i] = random();
    r.limb[limbs - 1] |= uint64_t{1} << 60;
    return r;
}

void Secret(BigInt* a) {
    CT_SECRET(a->limb, a->size * sizeof(uint64_t));
}
void Public(BigInt* a) {
    CT_PUBLIC(a->limb, a->size * sizeof(uint64_t));
}

} // namespace

CT_CASE(BigIntModExpSecretExponent) {
    std::mt19937_64 random(1);
    BigInt m = Random(random, 16), base = Random(random, 16), e = Random(random, 16), r, check;
    m.limb[0] |= 1;
    BigIntModExpPublic(&check, &base, &e, &m);
    Secret(&base);
    Secret(&e);
    int ok = BigIntModExp(&r, &base, &e, &m);
    CT_PUBLIC(&ok, sizeof ok);
    Public(&r);
    if (ok != 1 || BigIntCompare(&r, &check) != 0)
        CtFail("wrong power");
}

CT_CASE(LimbsModInverseSecretModulus) {
    std::mt19937_64 random(2);
    for (size_t limbs : {1, 16, 32}) {
        BigInt m = Random(random, limbs), x = Random(random, limbs), r, one;
        m.limb[0] |= 1;
        x.limb[limbs - 1] = 0; // below m
        BigIntFromWord(&one, 1);
        BigIntResize(&one, limbs);
        Secret(&m);
        Secret(&x);
        r.size = limbs;
        uint64_t ok = LimbsModInverse(r.limb, x.limb, one.limb, m.limb, limbs);
        CT_PUBLIC(&ok, sizeof ok);
        Public(&m);
        Public(&x);
        Public(&r);
        // x r = 1 (mod m) when x is invertible (a random x almost always is).
        BigInt product;
        BigIntMul(&product, &x, &r);
        BigIntDivRem(nullptr, &product, &product, &m);
        if ((ok & 1) != 0 && BigIntCompare(&product, &one) != 0)
            CtFail("wrong inverse");
    }
}

CT_CASE(BigIntDivRemSecretOperands) {
    std::mt19937_64 random(3);
    BigInt a = Random(random, 32), b = Random(random, 16), q, r, q2, r2;
    BigIntDivRem(&q2, &r2, &a, &b);
    Secret(&a);
    Secret(&b);
    int ok = BigIntDivRemSecret(&q, &r, &a, &b);
    CT_PUBLIC(&ok, sizeof ok);
    Public(&q);
    Public(&r);
    if (ok != 1 || BigIntCompare(&q, &q2) != 0 || BigIntCompare(&r, &r2) != 0)
        CtFail("wrong division");
}

CT_CASE(BigIntGcdAndArithmetic) {
    std::mt19937_64 random(4);
    BigInt a = Random(random, 16), b = Random(random, 16), g, s, d, p;
    Secret(&a);
    Secret(&b);
    BigIntGcd(&g, &a, &b);
    BigIntAdd(&s, &a, &b);
    BigIntSub(&d, &a, &b);
    BigIntMul(&p, &a, &b);
    int order = BigIntCompare(&a, &b);
    size_t bits = BigIntBitLength(&a);
    CT_PUBLIC(&order, sizeof order);
    CT_PUBLIC(&bits, sizeof bits);
    if (bits == 0 || order == 2)
        CtFail("impossible answers");
}

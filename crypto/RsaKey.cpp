// RSA keys: construction with consistency checks, components, and the public and private
// operations (see RsaKey.h).
#include "crypto/RsaKey.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/Random.h"
#include "crypto/RsaKeyInternal.h"

#include <cstdlib>

void (*rsaCrtFaultHook)(uint64_t* half, size_t limbs) = nullptr;

namespace {

// A value wiped when it goes out of scope.
template <typename T>
struct Wiped {
    T value;
    Wiped() = default;
    ~Wiped() { CryptoWipe(&value, sizeof value); }
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
};

// Fills the public part from n and e, or returns 0 when they are not a key RsaKey.h takes.
int InitPublic(RsaPublicKey* key, const BigInt* n, const BigInt* e) {
    BigInt modulus = *n, exponent = *e;
    BigIntTrim(&modulus);
    BigIntTrim(&exponent);
    const size_t bits = BigIntBitLength(&modulus);
    if (bits < kRsaMinBits || bits > kRsaMaxBits || (modulus.limb[0] & 1) == 0)
        return 0;
    BigInt three;
    BigIntFromWord(&three, 3);
    if ((exponent.limb[0] & 1) == 0 || BigIntCompare(&exponent, &three) < 0 ||
        BigIntCompare(&exponent, &modulus) >= 0)
        return 0;
    if (MontgomeryInit(&key->n, modulus.limb, modulus.size) == 0)
        return 0;
    key->eSize = exponent.size;
    LimbsCopy(key->e, exponent.limb, exponent.size);
    return 1;
}

// 0 or 1 from the low bit of a mask.
int Truth(uint64_t mask) {
    return static_cast<int>(mask & 1);
}

// a mod b == expected (all secret), as a mask.
uint64_t ModEquals(const BigInt* a, const BigInt* b, const BigInt* expected) {
    Wiped<BigInt> rest;
    if (BigIntDivRemSecret(nullptr, &rest.value, a, b) == 0)
        return 0;
    return LimbMaskZero(static_cast<uint64_t>(BigIntCompare(&rest.value, expected)));
}

// (a b) mod c == 1, as a mask.
uint64_t ProductIsOne(const BigInt* a, const BigInt* b, const BigInt* c) {
    Wiped<BigInt> product;
    BigInt one;
    BigIntFromWord(&one, 1);
    if (BigIntMul(&product.value, a, b) == 0)
        return 0;
    return ModEquals(&product.value, c, &one);
}

// Minimal big-endian bytes of `n` limbs into out (see RsaPublicKeyComponent).
size_t WriteComponent(const uint64_t* limbs, size_t n, uint8_t* out, size_t outSize) {
    size_t bytes = 8 * n;
    while (bytes > 1 && ((limbs[(bytes - 1) / 8] >> (8 * ((bytes - 1) % 8))) & 0xff) == 0)
        --bytes;
    if (out == nullptr)
        return bytes;
    if (outSize < bytes)
        return 0;
    LimbsToBytes(out, bytes, limbs, n);
    return bytes;
}

} // namespace

RsaPublicKey* RsaPublicKeyNew(const uint8_t* n, size_t nSize, const uint8_t* e, size_t eSize) {
    BigInt modulus, exponent;
    if (n == nullptr || e == nullptr || BigIntFromBytes(&modulus, n, nSize) == 0 ||
        BigIntFromBytes(&exponent, e, eSize) == 0)
        return nullptr;
    auto* key = static_cast<RsaPublicKey*>(calloc(1, sizeof(RsaPublicKey)));
    if (key != nullptr && InitPublic(key, &modulus, &exponent) == 0) {
        free(key);
        key = nullptr;
    }
    return key;
}

RsaPrivateKey* RsaPrivateKeyFromBigInts(const BigInt* components) {
    const BigInt* n = &components[RSA_N];
    const BigInt* p = &components[RSA_P];
    const BigInt* q = &components[RSA_Q];
    auto* key = static_cast<RsaPrivateKey*>(calloc(1, sizeof(RsaPrivateKey)));
    if (key == nullptr)
        return nullptr;
    if (InitPublic(&key->pub, n, &components[RSA_E]) == 0 ||
        MontgomeryInit(&key->p, p->limb, p->size) == 0 ||
        MontgomeryInit(&key->q, q->limb, q->size) == 0) {
        RsaPrivateKeyFree(key);
        return nullptr;
    }
    const size_t nSize = key->pub.n.size, pSize = key->p.size, qSize = key->q.size;
    // The checks run on the secrets without branching; only their joint verdict decides.
    Wiped<BigInt> product, p1, q1, d, dp, dq, qinv;
    BigInt one;
    BigIntFromWord(&one, 1);
    uint64_t ok = ~uint64_t{0};
    if (BigIntMul(&product.value, p, q) != 0)
        ok &= LimbMaskZero(static_cast<uint64_t>(BigIntCompare(&product.value, n)));
    else
        ok = 0;
    BigIntSub(&p1.value, p, &one);
    BigIntSub(&q1.value, q, &one);
    d.value = components[RSA_D];
    dp.value = components[RSA_DP];
    dq.value = components[RSA_DQ];
    qinv.value = components[RSA_QINV];
    ok &= LimbMaskEqual(static_cast<uint64_t>(BigIntCompare(&d.value, n)), ~uint64_t{0});
    ok &= ModEquals(&d.value, &p1.value, &dp.value);
    ok &= ModEquals(&d.value, &q1.value, &dq.value);
    ok &= ProductIsOne(&components[RSA_E], &dp.value, &p1.value);
    ok &= ProductIsOne(&components[RSA_E], &dq.value, &q1.value);
    ok &= ProductIsOne(&qinv.value, q, p);
    ok &= LimbMaskEqual(static_cast<uint64_t>(BigIntCompare(&qinv.value, p)), ~uint64_t{0});
    // Each value now fits the limbs of its modulus (below it, as checked).
    if (Truth(ok) == 0 || BigIntResize(&d.value, nSize) == 0 ||
        BigIntResize(&dp.value, pSize) == 0 || BigIntResize(&dq.value, qSize) == 0 ||
        BigIntResize(&qinv.value, pSize) == 0) {
        RsaPrivateKeyFree(key);
        return nullptr;
    }
    LimbsCopy(key->d, d.value.limb, nSize);
    LimbsCopy(key->dp, dp.value.limb, pSize);
    LimbsCopy(key->dq, dq.value.limb, qSize);
    LimbsCopy(key->qinv, qinv.value.limb, pSize);
    return key;
}

RsaPrivateKey* RsaPrivateKeyNew(const RsaComponentsView* components) {
    if (components == nullptr)
        return nullptr;
    Wiped<BigInt[8]> values;
    for (int i = 0; i < 8; ++i) {
        if (components->data[i] == nullptr ||
            BigIntFromBytes(&values.value[i], components->data[i], components->size[i]) == 0)
            return nullptr;
    }
    return RsaPrivateKeyFromBigInts(values.value);
}

void RsaPublicKeyFree(RsaPublicKey* key) {
    if (key == nullptr)
        return;
    CryptoWipe(key, sizeof *key);
    free(key);
}

void RsaPrivateKeyFree(RsaPrivateKey* key) {
    if (key == nullptr)
        return;
    CryptoWipe(key, sizeof *key);
    free(key);
}

const RsaPublicKey* RsaPrivateKeyPublic(const RsaPrivateKey* key) {
    return key == nullptr ? nullptr : &key->pub;
}

uint32_t RsaKeyBits(const RsaPublicKey* key) {
    return key == nullptr ? 0 : key->n.bits;
}

size_t RsaKeySize(const RsaPublicKey* key) {
    return (RsaKeyBits(key) + 7) / 8;
}

size_t RsaPublicKeyComponent(const RsaPublicKey* key, RsaComponent which, uint8_t* out,
                             size_t outSize) {
    if (key == nullptr)
        return 0;
    if (which == RSA_N)
        return WriteComponent(key->n.m, key->n.size, out, outSize);
    if (which == RSA_E)
        return WriteComponent(key->e, key->eSize, out, outSize);
    return 0;
}

size_t RsaPrivateKeyComponent(const RsaPrivateKey* key, RsaComponent which, uint8_t* out,
                              size_t outSize) {
    if (key == nullptr)
        return 0;
    switch (which) {
    case RSA_N:
    case RSA_E:
        return RsaPublicKeyComponent(&key->pub, which, out, outSize);
    case RSA_D:
        return WriteComponent(key->d, key->pub.n.size, out, outSize);
    case RSA_P:
        return WriteComponent(key->p.m, key->p.size, out, outSize);
    case RSA_Q:
        return WriteComponent(key->q.m, key->q.size, out, outSize);
    case RSA_DP:
        return WriteComponent(key->dp, key->p.size, out, outSize);
    case RSA_DQ:
        return WriteComponent(key->dq, key->q.size, out, outSize);
    case RSA_QINV:
        return WriteComponent(key->qinv, key->p.size, out, outSize);
    }
    return 0;
}

int RsaPublicOp(const RsaPublicKey* key, const uint8_t* in, size_t inSize, uint8_t* out,
                size_t outSize) {
    if (key == nullptr || in == nullptr || out == nullptr)
        return 0;
    const size_t k = RsaKeySize(key), n = key->n.size;
    if (inSize != k || outSize != k)
        return 0;
    uint64_t x[kBigIntMaxModulusLimbs];
    LimbsFromBytes(x, n, in, inSize);
    if (Truth(LimbsLess(x, key->n.m, n)) == 0 ||
        MontgomeryExpPublic(&key->n, x, x, key->e, key->eSize) == 0)
        return 0;
    LimbsToBytes(out, outSize, x, n);
    return 1;
}

int RsaPrivateOp(const RsaPrivateKey* key, const uint8_t* in, size_t inSize, uint8_t* out,
                 size_t outSize) {
    if (key == nullptr || in == nullptr || out == nullptr)
        return 0;
    const Montgomery* n = &key->pub.n;
    const Montgomery* p = &key->p;
    const Montgomery* q = &key->q;
    const size_t k = RsaKeySize(&key->pub), size = n->size;
    if (inSize != k || outSize != k)
        return 0;
    uint64_t c[kBigIntMaxModulusLimbs];
    LimbsFromBytes(c, size, in, inSize);
    // From here on a failure leaves zeros.
    CryptoWipe(out, outSize);
    if (Truth(LimbsLess(c, n->m, size)) == 0)
        return 0;

    // Blinding: the exponentiations see c r^e for a fresh random r, never c itself. r is
    // 64 bits longer than n before its reduction modulo n, which leaves it within 2^-64 of
    // uniform; r = 0 or an r sharing a prime with n (never met in practice) fails the
    // check at the end rather than branching here.
    struct Work {
        uint64_t r[kBigIntMaxModulusLimbs + 1]; // the blinding factor
        uint64_t rInv[kBigIntMaxModulusLimbs];  // r^-1 in Montgomery form
        uint64_t x[kBigIntMaxModulusLimbs];     // c r^e, then the blinded result
        uint64_t xp[kBigIntMaxModulusLimbs];    // modulo p, then its power
        uint64_t xq[kBigIntMaxModulusLimbs];    // modulo q, then its power
        uint64_t t[kBigIntMaxModulusLimbs];     // Garner's difference
        uint64_t u[2 * kBigIntMaxModulusLimbs]; // h q
        uint8_t draw[8 * kBigIntMaxModulusLimbs + 8];
    };
    Wiped<Work> work;
    Work& w = work.value;
    if (CryptoRandomBytes(w.draw, 8 * size + 8) == 0)
        return 0;
    LimbsFromBytes(w.r, size + 1, w.draw, 8 * size + 8);
    MontgomeryEnter(n, w.r, w.r, size + 1);
    MontgomeryLeave(n, w.r, w.r);
    uint64_t ok = LimbsModInverse(w.rInv, w.r, n->one, n->m, size);
    if (MontgomeryExpPublic(n, w.x, w.r, key->pub.e, key->pub.eSize) == 0)
        return 0;
    MontgomeryMul(n, w.x, w.x, c);     // r^e c R^-1
    MontgomeryMul(n, w.x, w.x, n->rr); // r^e c

    // The two halves, x^dp mod p and x^dq mod q.
    MontgomeryEnter(p, w.xp, w.x, size);
    MontgomeryLeave(p, w.xp, w.xp);
    MontgomeryEnter(q, w.xq, w.x, size);
    MontgomeryLeave(q, w.xq, w.xq);
    if (MontgomeryExp2(p, w.xp, w.xp, key->dp, p->size, q, w.xq, w.xq, key->dq, q->size) == 0)
        return 0;
    if (rsaCrtFaultHook != nullptr)
        rsaCrtFaultHook(w.xp, p->size);

    // Garner: y = yq + q ((yp - yq) qinv mod p), below n.
    MontgomeryEnter(p, w.t, w.xp, p->size);
    MontgomeryEnter(p, w.u, w.xq, q->size);
    LimbsModSub(w.t, w.t, w.u, p->m, p->size);
    MontgomeryMul(p, w.t, w.t, key->qinv);
    const size_t productSize = p->size + q->size;
    LimbsZero(w.u, productSize + 1);
    for (size_t i = 0; i < q->size; ++i)
        w.u[p->size + i] = LimbsMulAdd(w.u + i, w.t, p->size, q->m[i]);
    uint64_t carry = 0;
    for (size_t i = 0; i < productSize; ++i) {
        const DoubleLimb s = static_cast<DoubleLimb>(w.u[i]) + (i < q->size ? w.xq[i] : 0) + carry;
        w.u[i] = static_cast<uint64_t>(s);
        carry = static_cast<uint64_t>(s >> 64);
    }
    LimbsCopyPad(w.x, size, w.u, productSize < size ? productSize : size);

    // Unblinding (x r^-1), then the check: the result raised to e must give c back, or a
    // fault somewhere above would let a wrong half, and with it a factor of n, out.
    MontgomeryMul(n, w.x, w.x, w.rInv);
    if (MontgomeryExpPublic(n, w.t, w.x, key->pub.e, key->pub.eSize) == 0)
        return 0;
    ok &= LimbsEqual(w.t, c, size);
    // Zeros go out on failure; the verdict is returned, not branched on here.
    for (size_t i = 0; i < size; ++i)
        w.x[i] &= ok;
    LimbsToBytes(out, outSize, w.x, size);
    return Truth(ok);
}

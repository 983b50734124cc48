// RSA keys: what the constructors take and refuse, components out, the two operations
// (round trips on both engines, edges, a fault the check must catch), and generated keys'
// FIPS 186-4 properties. The keys are those of the PKCS#1 OAEP examples (1,024, 1,025 and
// 2,048 bits).
#include "BigIntTestHelpers.h"
#include "TestHelpers.h"
#include "support/RsaVectors.h"

#include "crypto/RsaKey.h"
#include "crypto/RsaKeyInternal.h"

namespace {

const char kOaepFile[] = "pkcs-1v2-1d2-vec/oaep-vect.txt";

PrivateKeyPtr ExampleKey(int example = 1) {
    PrivateKeyPtr key = FirstVectorKey(kOaepFile, example);
    EXPECT_NE(nullptr, key) << "example " << example << " of " << kOaepFile;
    return key;
}

Bytes Component(const RsaPrivateKey* key, RsaComponent which) {
    Bytes out(RsaPrivateKeyComponent(key, which, nullptr, 0));
    EXPECT_EQ(out.size(), RsaPrivateKeyComponent(key, which, out.data(), out.size()));
    return out;
}

std::vector<Bytes> Components(const RsaPrivateKey* key) {
    std::vector<Bytes> all;
    for (int i = 0; i < 8; ++i)
        all.push_back(Component(key, static_cast<RsaComponent>(i)));
    return all;
}

PrivateKeyPtr MakePrivate(const std::vector<Bytes>& parts) {
    RsaComponentsView view;
    for (int i = 0; i < 8; ++i) {
        view.data[i] = parts[i].data();
        view.size[i] = parts[i].size();
    }
    return PrivateKeyPtr(RsaPrivateKeyNew(&view));
}

PublicKeyPtr MakePublic(const std::string& nHex, const std::string& eHex) {
    const Bytes n = BytesFromHex(nHex.size() % 2 ? "0" + nHex : nHex);
    const Bytes e = BytesFromHex(eHex.size() % 2 ? "0" + eHex : eHex);
    return PublicKeyPtr(RsaPublicKeyNew(n.data(), n.size(), e.data(), e.size()));
}

BigInt Value(const Bytes& bytes) {
    BigInt r;
    EXPECT_EQ(1, BigIntFromBytes(&r, bytes.data(), bytes.size()));
    return r;
}

Bytes Fixed(const BigInt& x, size_t k) {
    Bytes out(k);
    EXPECT_EQ(1, BigIntToBytes(&x, out.data(), k));
    return out;
}

// The operations' output, or empty when refused.
Bytes PublicOp(const RsaPublicKey* key, const Bytes& in) {
    Bytes out(RsaKeySize(key), 0x5a);
    return RsaPublicOp(key, in.data(), in.size(), out.data(), out.size()) ? out : Bytes();
}
Bytes PrivateOp(const RsaPrivateKey* key, const Bytes& in) {
    Bytes out(RsaKeySize(RsaPrivateKeyPublic(key)), 0x5a);
    return RsaPrivateOp(key, in.data(), in.size(), out.data(), out.size()) ? out : Bytes();
}

// Hex of 2^bits + 1.
std::string PowerOfTwoPlusOne(size_t bits) {
    std::string hex(bits / 4 + 1, '0');
    hex[0] = "1248"[bits % 4];
    hex.back() = '1';
    return hex;
}

// What the constructor takes (with its size in bits and bytes, the modulus back minimal)
// and refuses.
TEST(RsaPublicKey, TakesAndRefuses) {
    const PrivateKeyPtr example = ExampleKey();
    ASSERT_NE(nullptr, example);
    const std::string n = HexOf(Component(example.get(), RSA_N));
    BigInt below = Value(Component(example.get(), RSA_N)), two;
    BigIntFromWord(&two, 2);
    BigIntSub(&below, &below, &two);
    const struct {
        std::string n, e;
        uint32_t bits; // 0: refused
    } cases[] = {
        {n, "10001", 1024},
        {"0000" + n, "0010001", 1024}, // leading zeros
        {n, BigToHex(below), 1024},    // n - 2, the largest odd exponent below n
        {n, "1", 0},
        {n, "10000", 0},
        {n, "", 0},
        {n, n, 0},
        {n, n.substr(0, n.size() - 2) + "ff", 0}, // above n
        {n.substr(0, n.size() - 1) + "0", "10001", 0},
        {PowerOfTwoPlusOne(510), "3", 0},
        {PowerOfTwoPlusOne(511), "3", 512},
        {PowerOfTwoPlusOne(515), "3", 516},
        {PowerOfTwoPlusOne(1024), "3", 1025},
        {PowerOfTwoPlusOne(8191), "3", 8192},
        {PowerOfTwoPlusOne(8192), "3", 0},
    };
    FOR_EACH_CASE(c, cases) {
        const PublicKeyPtr key = MakePublic(c.n, c.e);
        ASSERT_EQ(c.bits != 0, key != nullptr);
        if (key == nullptr)
            continue;
        EXPECT_EQ(c.bits, RsaKeyBits(key.get()));
        const size_t size = (c.bits + 7) / 8;
        EXPECT_EQ(size, RsaKeySize(key.get()));
        EXPECT_EQ(size, RsaPublicKeyComponent(key.get(), RSA_N, nullptr, 0));
        Bytes out(size + 1, 0x5a);
        EXPECT_EQ(0u, RsaPublicKeyComponent(key.get(), RSA_N, out.data(), size - 1));
        EXPECT_EQ(size, RsaPublicKeyComponent(key.get(), RSA_N, out.data(), size + 1));
        EXPECT_EQ(BigToHex(BigFromHex(c.n)), BigToHex(Value(Bytes(out.begin(), out.end() - 1))));
        EXPECT_EQ(0x5a, out[size]);
        const size_t eSize = RsaPublicKeyComponent(key.get(), RSA_E, out.data(), size);
        EXPECT_EQ(BigToHex(BigFromHex(c.e)), HexOf(out.data(), eSize).substr(out[0] < 16));
        EXPECT_EQ(0u, RsaPublicKeyComponent(key.get(), RSA_D, out.data(), size));
    }
    const uint8_t byte = 3;
    EXPECT_EQ(nullptr, RsaPublicKeyNew(nullptr, 0, &byte, 1));
    EXPECT_EQ(nullptr, RsaPublicKeyNew(&byte, 1, nullptr, 0));
    EXPECT_EQ(0u, RsaKeyBits(nullptr));
    EXPECT_EQ(0u, RsaPublicKeyComponent(nullptr, RSA_N, nullptr, 0));
}

TEST(RsaPrivateKey, ComponentsComeBack) {
    for (int example : {1, 2, 10}) {
        const PrivateKeyPtr key = ExampleKey(example);
        ASSERT_NE(nullptr, key);
        const std::vector<Bytes> parts = Components(key.get());
        for (const Bytes& part : parts)
            EXPECT_TRUE(part.size() == 1 || part[0] != 0) << "not minimal";
        const PrivateKeyPtr again = MakePrivate(parts);
        ASSERT_NE(nullptr, again);
        EXPECT_EQ(parts, Components(again.get()));
        uint8_t small[4];
        EXPECT_EQ(0u, RsaPrivateKeyComponent(key.get(), RSA_D, small, sizeof small));
    }
    EXPECT_EQ(0u, RsaPrivateKeyComponent(nullptr, RSA_D, nullptr, 0));
    EXPECT_EQ(nullptr, RsaPrivateKeyPublic(nullptr));
    EXPECT_EQ(nullptr, RsaPrivateKeyNew(nullptr));
    RsaComponentsView missing = {};
    EXPECT_EQ(nullptr, RsaPrivateKeyNew(&missing));
    RsaPrivateKeyFree(nullptr);
    RsaPublicKeyFree(nullptr);
}

// a + delta (delta may be negative), as minimal bytes.
Bytes Plus(const Bytes& a, int64_t delta) {
    BigInt x = Value(a), d, r;
    BigIntFromWord(&d, static_cast<uint64_t>(delta < 0 ? -delta : delta));
    if (delta < 0)
        BigIntSub(&r, &x, &d);
    else
        BigIntAdd(&r, &x, &d);
    std::string hex = BigToHex(r);
    return BytesFromHex(hex.size() % 2 ? "0" + hex : hex);
}

TEST(RsaPrivateKey, RefusesInconsistentComponents) {
    const PrivateKeyPtr example = ExampleKey();
    ASSERT_NE(nullptr, example);
    const std::vector<Bytes> good = Components(example.get());
    // d mod (p - 1) plus p - 1: congruent, not reduced.
    BigInt unreduced;
    const BigInt dp = Value(good[RSA_DP]), p1 = Value(Plus(good[RSA_P], -1));
    BigIntAdd(&unreduced, &dp, &p1);
    const struct {
        RsaComponent which;
        Bytes value;
    } cases[] = {
        {RSA_N, Plus(good[RSA_N], 2)},
        {RSA_E, {3}},
        {RSA_E, Plus(good[RSA_E], 2)},
        {RSA_D, Plus(good[RSA_D], 2)},
        {RSA_D, {0}},
        {RSA_P, Plus(good[RSA_P], 2)},
        {RSA_Q, Plus(good[RSA_Q], -2)},
        {RSA_P, good[RSA_Q]},
        {RSA_P, {1}},
        {RSA_DP, Plus(good[RSA_DP], 1)},
        {RSA_DP, Fixed(unreduced, 65)},
        {RSA_DQ, Plus(good[RSA_DQ], -1)},
        {RSA_QINV, Plus(good[RSA_QINV], 1)},
        {RSA_QINV, {0}},
    };
    FOR_EACH_CASE(c, cases) {
        std::vector<Bytes> damaged = good;
        damaged[c.which] = c.value;
        EXPECT_EQ(nullptr, MakePrivate(damaged));
    }
    // p and q swapped want the coefficient of the new order, p^-1 mod q.
    std::vector<Bytes> swapped = good;
    std::swap(swapped[RSA_P], swapped[RSA_Q]);
    std::swap(swapped[RSA_DP], swapped[RSA_DQ]);
    EXPECT_EQ(nullptr, MakePrivate(swapped));
    BigInt inverse;
    const BigInt p = Value(good[RSA_P]), q = Value(good[RSA_Q]);
    ASSERT_EQ(1, BigIntModInverse(&inverse, &p, &q));
    swapped[RSA_QINV] = Fixed(inverse, 64);
    EXPECT_NE(nullptr, MakePrivate(swapped));
}

// priv(pub(x)) = x and pub(priv(x)) = x for numbers of every limb pattern; 0, 1 and
// n - 1 are their own powers (e odd); inputs that are no number below n in k bytes, and
// too short an output, are refused.
void CheckRoundTrips(const RsaPrivateKey* key, uint64_t seed) {
    const RsaPublicKey* pub = RsaPrivateKeyPublic(key);
    const size_t k = RsaKeySize(pub);
    const BigInt n = Value(Component(key, RSA_N));
    BigInt one, x;
    BigIntFromWord(&one, 1);
    BigIntSub(&x, &n, &one);
    std::vector<Bytes> inputs = {Bytes(k), Fixed(one, k), Fixed(x, k)};
    for (const Bytes& in : inputs)
        EXPECT_EQ(HexOf(in), HexOf(PublicOp(pub, in)));
    TestNumbers numbers(seed);
    for (int i = 0; i < 5; ++i) {
        BigInt r = numbers.Number(n.size);
        BigIntDivRem(nullptr, &r, &r, &n);
        inputs.push_back(Fixed(r, k));
    }
    FOR_EACH_CASE(in, inputs) {
        EXPECT_EQ(HexOf(in), HexOf(PublicOp(pub, PrivateOp(key, in))));
        EXPECT_EQ(HexOf(in), HexOf(PrivateOp(key, PublicOp(pub, in))));
    }
    for (const Bytes& in : {Fixed(n, k), Bytes(k, 0xff), Bytes(k - 1, 1), Bytes(k + 1)}) {
        EXPECT_EQ(Bytes(), PublicOp(pub, in));
        EXPECT_EQ(Bytes(), PrivateOp(key, in));
    }
    Bytes buffer(k);
    EXPECT_EQ(0, RsaPublicOp(pub, buffer.data(), k, buffer.data(), k - 1));
    EXPECT_EQ(0, RsaPrivateOp(key, buffer.data(), k, buffer.data(), k - 1));
    EXPECT_EQ(0, RsaPublicOp(nullptr, buffer.data(), k, buffer.data(), k));
}

TEST(RsaPrivateKey, RoundTrips) {
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        for (int example : {1, 2, 10}) {
            const PrivateKeyPtr key = ExampleKey(example);
            ASSERT_NE(nullptr, key);
            CheckRoundTrips(key.get(), 7);
        }
    }
}

int faults = 0;
void FlipBit(uint64_t* half, size_t limbs) {
    half[(limbs - 1) / 2] ^= uint64_t{1} << 17;
    ++faults;
}

// In place; an input at the modulus and a fault in the computation leave zeros in the
// output and nothing of the faulty result.
TEST(RsaPrivateKey, InPlaceFaultAndRefusedInput) {
    const PrivateKeyPtr key = ExampleKey();
    ASSERT_NE(nullptr, key);
    Bytes buffer(128);
    buffer[127] = 9;
    const Bytes in = buffer, good = PrivateOp(key.get(), in);
    ASSERT_EQ(1, RsaPrivateOp(key.get(), buffer.data(), 128, buffer.data(), 128));
    EXPECT_EQ(good, buffer);
    const Bytes n = Component(key.get(), RSA_N);
    Bytes out(128, 0x5a);
    EXPECT_EQ(0, RsaPrivateOp(key.get(), n.data(), 128, out.data(), 128));
    EXPECT_EQ(Bytes(128), out);
    faults = 0;
    rsaCrtFaultHook = FlipBit;
    out.assign(128, 0x5a);
    const int status = RsaPrivateOp(key.get(), in.data(), 128, out.data(), 128);
    rsaCrtFaultHook = nullptr;
    EXPECT_EQ(1, faults);
    EXPECT_EQ(0, status);
    EXPECT_EQ(Bytes(128), out);
    EXPECT_EQ(good, PrivateOp(key.get(), in));
}

TEST(RsaGenerateKey, RefusedArguments) {
    const struct {
        uint32_t bits;
        uint64_t e;
    } cases[] = {{1024, 65537}, {2047, 65537}, {8192, 65537}, {2048, 3},
                 {2048, 65535}, {2048, 65538}, {2048, 0}};
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(nullptr, RsaGenerateKey(c.bits, c.e));
    }
}

// The B.3.3 conditions on candidate primes, at their edges (1,024-bit primes).
TEST(RsaGenerateKey, PrimeConditions) {
    // floor(sqrt(2) 2^1023), whose square is below 2^2047 (from Python's math.isqrt).
    const std::string root =
        "b504f333f9de6484597d89b3754abe9f1d6f60ba893ba84ced17ac85833399154afc83043ab8a2c3a8b1fe6f"
        "dc83db390f74a85e439c7b4a780487363dfa2768d2202e8742af1f4e53059c6011bc337bcab1bc911688458a"
        "460abc722f7c4e33c6d5a8a38bb7e9dccb2a634331f3c84df52f120f836e582eeaa4a0899040ca4a";
    const struct {
        std::string p;
        bool large;
    } sizes[] = {
        {root, false},
        {root.substr(0, root.size() - 1) + "b", true},
        {"8" + std::string(255, '0'), false},
        {std::string(256, 'f'), true},
    };
    FOR_EACH_CASE(c, sizes) {
        const BigInt p = BigFromHex(c.p, 16);
        EXPECT_EQ(c.large, (RsaPrimeLargeEnough(&p, 1024) & 1) != 0);
    }
    // |p - q| against 2^924, either way round.
    const BigInt q = BigFromHex(root, 16);
    const struct {
        int64_t delta; // p = q + delta 2^924 + extra
        int extra;
        bool apart;
    } distances[] = {{1, 0, false},  {1, 1, true},  {-1, 0, false},
                     {-1, -1, true}, {0, 0, false}, {1, -1, false}};
    BigInt step, unit;
    BigIntFromWord(&unit, 1);
    BigIntShiftLeft(&step, &unit, 924);
    const auto add = [](BigInt* x, const BigInt& y, int64_t sign) {
        if (sign != 0)
            (sign > 0 ? BigIntAdd : BigIntSub)(x, x, &y);
    };
    FOR_EACH_CASE(c, distances) {
        BigInt p = q;
        add(&p, step, c.delta);
        add(&p, unit, c.extra);
        BigIntResize(&p, 16);
        EXPECT_EQ(c.apart, (RsaPrimesFarApart(&p, &q, 1024) & 1) != 0);
        EXPECT_EQ(c.apart, (RsaPrimesFarApart(&q, &p, 1024) & 1) != 0);
    }
}

// FIPS 186-4's conditions on a generated key, and its round trips.
void CheckGenerated(const RsaPrivateKey* key, uint64_t exponent) {
    EXPECT_EQ(2048u, RsaKeyBits(RsaPrivateKeyPublic(key)));
    const BigInt n = Value(Component(key, RSA_N)), e = Value(Component(key, RSA_E));
    const BigInt d = Value(Component(key, RSA_D)), p = Value(Component(key, RSA_P));
    const BigInt q = Value(Component(key, RSA_Q));
    EXPECT_EQ(exponent, e.limb[0]);
    EXPECT_EQ(1u, e.size);
    BigInt r, t, one, p1, q1, g, lambda;
    BigIntFromWord(&one, 1);
    ASSERT_EQ(1, BigIntMul(&r, &p, &q));
    EXPECT_EQ(0, BigIntCompare(&r, &n));
    for (const BigInt* prime : {&p, &q}) {
        EXPECT_EQ(1, BigIntIsProbablePrime(prime, 20));
        // p >= sqrt(2) 2^1023: p^2 has 2,048 bits.
        ASSERT_EQ(1, BigIntSquare(&r, prime));
        EXPECT_EQ(2048u, BigIntBitLength(&r));
    }
    // |p - q| > 2^(1024 - 100); d > 2^1024; e d = 1 mod lcm(p - 1, q - 1), d below it.
    if (BigIntSub(&r, &p, &q) == 0)
        BigIntSub(&r, &q, &p);
    EXPECT_GT(BigIntBitLength(&r), 924u);
    EXPECT_GT(BigIntBitLength(&d), 1024u);
    BigIntSub(&p1, &p, &one);
    BigIntSub(&q1, &q, &one);
    BigIntGcd(&g, &p1, &q1);
    ASSERT_EQ(1, BigIntMul(&t, &p1, &q1));
    ASSERT_EQ(1, BigIntDivRem(&lambda, nullptr, &t, &g));
    EXPECT_LT(BigIntCompare(&d, &lambda), 0);
    ASSERT_EQ(1, BigIntMul(&t, &d, &e));
    ASSERT_EQ(1, BigIntDivRem(nullptr, &r, &t, &lambda));
    EXPECT_EQ("1", BigToHex(r));
    CheckRoundTrips(key, exponent);
}

// The largest exponent the interface takes (odd, below 2^64) beside the usual one.
TEST(RsaGenerateKey, Fips186Properties) {
    for (uint64_t exponent : {uint64_t{65537}, uint64_t{0xffffffffffffffc5}}) {
        const PrivateKeyPtr key(RsaGenerateKey(2048, exponent));
        ASSERT_NE(nullptr, key);
        CheckGenerated(key.get(), exponent);
    }
}

} // namespace

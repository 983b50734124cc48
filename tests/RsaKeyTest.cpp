// RSA keys: what the constructors take and refuse, components out, the two operations
// (round trips, edges, a fault that the check must catch), and generated keys' FIPS 186-4
// properties. Natively, libcrypto's BN checks the private operation too.
#include "BigIntTestHelpers.h"
#include "TestHelpers.h"

#include "crypto/RsaKey.h"
#include "crypto/RsaKeyInternal.h"

#include <vector>

#ifdef KIV_HAVE_OPENSSL
#include <openssl/bn.h>
#endif

namespace {

// Keys made by `openssl genpkey` (components as `openssl pkey -text` prints them), in
// RsaComponent order: n, e, d, p, q, dp, dq, qinv.
const char* const kKey512[8] = {
    "c939a782038fdc0435ca8bacf4bc5d445e3aafcf5b576906a41fef1607cbdf9b73f24580be9231d72d9b807b08"
    "74c78329462b56a107b4a64a89520f8ee8046d",
    "10001",
    "8f6676e9408094daab3adcaf34f9c7bda1295181042716c194d4ed1d561104180fedecc02e5cd9799433f7adef3a"
    "7179b393bf9460c3a0c92b21b7527e87061",
    "f4c974554d827dd92c56dc7f6c53c8cd312a2c9f26e63c30b5f22e033eac2c69",
    "d2715d3d2f2052c8b1ffe7c3f82b5700d69f1750f3d0f3c8eb446cd12bb2a765",
    "7543687250ce39416727393be5860184a28fc48e7d50fff689c2b95e1e90d639",
    "41bc97db9cf503e71d734afab473156275a88ca80501a8a58298854571d904e1",
    "a4d7f8ccd95d5d7cff7e875519f3e300ccf6aeff5d97c622352ca2e738a3175e",
};
const char* const kKey1024[8] = {
    "d1747bccf379125e99794c992327d3a6cb40ede8e0308af730f561e56f3a1d5d3e60e46e569829ee007f26b72f"
    "1b48b95b138bd4fe0f0dec115f62ae926e5f551f1f43d7b5b39a4e6d4115a6d276da74ebe902e7c0b903c5c403"
    "35423143a51e75a7d71c5e34477601ca7a515e6d9198db905eadf2754a4110c4c8de1a5d3301",
    "10001",
    "2e4307110679a84802a7daf63be0910bd6fab951652af3969356af4fa8987261e4e42bafff2a4ea085b58fcc87"
    "f803c104cfb563ced56e62c49787c93d0869bf919033715e86c7ed916ece43015df0f8e26935a09b0ee2a72041"
    "cc842b7000c03f3dbb0560ce953b34bf5cc13329908775cba4d937bf3d48cd6d794b72a20d01",
    "fda3fe70f19e97958eb20e3429f36debaca4f39bb4cdef8cb46ae5c7c9f4af3ea169d618af45086ad1ac304585"
    "e9b43209acf896a2ea252d0a44952ec96020b1",
    "d36744bcaa6f696621237ceb5e9696d7e37539a85177a1d06a9b522f420aac3a0fbcb794e2bc8ef80d6d3aaae0"
    "7143d629bfb29e8f65fc9851bb108fff0f4b51",
    "bf745372739faf722fc50d5da8b0dc2f02217cd4f2946416c474d03f8f9d07cef1ce4ed251327d990bedba7e30"
    "07e981bfb5f5ead6cc81054f73d75bfa9b79f1",
    "79d915e7609d22b4f8f8c971a86d47b85ba41f7d82a75f9f0f33432575fd4cd3926a85adcd1a3d957fb7ab8efe"
    "1a8aad10172bcef47c26216d4a52fb8c59b661",
    "3c6325f08c25bf6a5e054fb552460e4bc90a3db754b7410c28be067fb1d610ec40032ad54c56f16aef969725ae"
    "2047dd07cc48b615b3411e7edafc4bac79f064",
};
// 2^e mod n for kKey1024, from Python's pow.
const char kTwoToE1024[] =
    "4d1b3179f1e7a6632f0fc1265a5c3a2bc3f4fd18de4abaa3518a1037698b79539084793754211217a4fd5c8b0021"
    "9da148f19bfb2367a099bd35ceb83b4f7bddf0975c33bcea4a0d9f625dbc51476fd4b4983ca04147b3597e3f27c0"
    "8f9a94c31701f4fa14a1ec76377ac9ab85c15dbb39002261cccf2e060ad1b65ccff69c67";

using Bytes = std::string;

const uint8_t* Data(const Bytes& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.data());
}

Bytes FromHex(const std::string& hex) {
    return Unhex(hex.size() % 2 != 0 ? "0" + hex : hex);
}

struct PublicDeleter {
    void operator()(RsaPublicKey* key) const { RsaPublicKeyFree(key); }
};
struct PrivateDeleter {
    void operator()(RsaPrivateKey* key) const { RsaPrivateKeyFree(key); }
};
using PublicKey = std::unique_ptr<RsaPublicKey, PublicDeleter>;
using PrivateKey = std::unique_ptr<RsaPrivateKey, PrivateDeleter>;

PublicKey MakePublic(const std::string& nHex, const std::string& eHex) {
    const Bytes n = FromHex(nHex), e = FromHex(eHex);
    return PublicKey(RsaPublicKeyNew(Data(n), n.size(), Data(e), e.size()));
}

PrivateKey MakePrivate(const std::vector<std::string>& hex) {
    std::vector<Bytes> bytes;
    for (const std::string& h : hex)
        bytes.push_back(FromHex(h));
    RsaComponentsView view;
    for (int i = 0; i < 8; ++i) {
        view.data[i] = Data(bytes[i]);
        view.size[i] = bytes[i].size();
    }
    return PrivateKey(RsaPrivateKeyNew(&view));
}

std::vector<std::string> Components(const char* const (&key)[8]) {
    return std::vector<std::string>(key, key + 8);
}

std::string Component(const RsaPrivateKey* key, RsaComponent which) {
    const size_t size = RsaPrivateKeyComponent(key, which, nullptr, 0);
    Bytes out(size, '\0');
    EXPECT_EQ(size, RsaPrivateKeyComponent(key, which, reinterpret_cast<uint8_t*>(&out[0]), size));
    return Hex(out.data(), out.size());
}

// x as exactly k bytes.
Bytes Fixed(const BigInt& x, size_t k) {
    Bytes out(k, '\0');
    EXPECT_EQ(1, BigIntToBytes(&x, reinterpret_cast<uint8_t*>(&out[0]), k));
    return out;
}

Bytes PublicOp(const RsaPublicKey* key, const Bytes& in) {
    Bytes out(RsaKeySize(key), '\x5a');
    if (RsaPublicOp(key, Data(in), in.size(), reinterpret_cast<uint8_t*>(&out[0]), out.size()) == 0)
        return "(refused)";
    return out;
}

Bytes PrivateOp(const RsaPrivateKey* key, const Bytes& in) {
    Bytes out(RsaKeySize(RsaPrivateKeyPublic(key)), '\x5a');
    if (RsaPrivateOp(key, Data(in), in.size(), reinterpret_cast<uint8_t*>(&out[0]), out.size()) ==
        0)
        return "(refused)";
    return out;
}

// Hex of 2^bits + 1 (odd, bits + 1 long).
std::string PowerOfTwoPlusOne(size_t bits) {
    std::string hex = "1" + std::string(bits / 4, '0');
    hex[0] = "1248"[bits % 4];
    hex.back() = '1';
    return hex;
}

TEST(RsaPublicKey, TakesAndRefuses) {
    const std::string n1024 = kKey1024[RSA_N];
    const struct {
        std::string n, e;
        bool taken;
    } cases[] = {
        {n1024, "10001", true},
        {"0000" + n1024, "0010001", true}, // leading zeros
        {n1024, "3", true},                // the smallest exponent
        {n1024, "1", false},
        {n1024, "10000", false}, // even
        {n1024, "0", false},
        {n1024, "", false},
        {n1024, n1024, false},                        // e = n
        {n1024, n1024.substr(0, 255) + "f", false},   // e = n + 14
        {n1024, n1024.substr(0, 254) + "ff", false},  // e = n + 254
        {n1024.substr(0, 255) + "0", "10001", false}, // even modulus
        {PowerOfTwoPlusOne(510), "3", false},         // 511 bits
        {PowerOfTwoPlusOne(511), "3", true},          // 512 bits, kRsaMinBits
        {PowerOfTwoPlusOne(8191), "10001", true},     // 8,192 bits, kRsaMaxBits
        {PowerOfTwoPlusOne(8192), "10001", false},    // 8,193 bits
    };
    FOR_EACH_CASE(c, cases) {
        PublicKey key = MakePublic(c.n, c.e);
        EXPECT_EQ(c.taken, key != nullptr);
    }
    // e = n - 2 is the largest odd exponent below n.
    BigInt n = BigFromHex(n1024), two;
    BigIntFromWord(&two, 2);
    BigIntSub(&n, &n, &two);
    EXPECT_NE(nullptr, MakePublic(n1024, BigToHex(n)));
    const uint8_t byte = 3;
    EXPECT_EQ(nullptr, RsaPublicKeyNew(nullptr, 0, &byte, 1));
    EXPECT_EQ(nullptr, RsaPublicKeyNew(&byte, 1, nullptr, 0));
}

TEST(RsaPublicKey, SizesAndComponents) {
    const struct {
        std::string n;
        uint32_t bits;
        size_t bytes;
    } cases[] = {
        {kKey1024[RSA_N], 1024, 128},          {"00" + std::string(kKey1024[RSA_N]), 1024, 128},
        {PowerOfTwoPlusOne(511), 512, 64},     {PowerOfTwoPlusOne(512 + 3), 516, 65},
        {PowerOfTwoPlusOne(8191), 8192, 1024},
    };
    FOR_EACH_CASE(c, cases) {
        PublicKey key = MakePublic(c.n, "10001");
        ASSERT_NE(nullptr, key);
        EXPECT_EQ(c.bits, RsaKeyBits(key.get()));
        EXPECT_EQ(c.bytes, RsaKeySize(key.get()));
        // The modulus comes back minimal, the buffer's size asked first.
        const size_t size = RsaPublicKeyComponent(key.get(), RSA_N, nullptr, 0);
        EXPECT_EQ(c.bytes, size);
        Bytes out(size + 1, '\x5a');
        auto* buffer = reinterpret_cast<uint8_t*>(&out[0]);
        EXPECT_EQ(0u, RsaPublicKeyComponent(key.get(), RSA_N, buffer, size - 1));
        EXPECT_EQ(size, RsaPublicKeyComponent(key.get(), RSA_N, buffer, size + 1));
        std::string want = BigToHex(BigFromHex(c.n));
        EXPECT_EQ(want.size() % 2 != 0 ? "0" + want : want, Hex(out.data(), size));
        EXPECT_EQ('\x5a', out[size]);
        EXPECT_EQ(3u, RsaPublicKeyComponent(key.get(), RSA_E, buffer, size));
        EXPECT_EQ("010001", Hex(out.data(), 3));
        EXPECT_EQ(0u, RsaPublicKeyComponent(key.get(), RSA_D, buffer, size));
    }
    EXPECT_EQ(0u, RsaKeyBits(nullptr));
    EXPECT_EQ(0u, RsaPublicKeyComponent(nullptr, RSA_N, nullptr, 0));
}

TEST(RsaPublicKey, Operation) {
    PublicKey key = MakePublic(kKey1024[RSA_N], kKey1024[RSA_E]);
    ASSERT_NE(nullptr, key);
    const size_t k = RsaKeySize(key.get());
    BigInt n = BigFromHex(kKey1024[RSA_N]), one, x;
    BigIntFromWord(&one, 1);
    BigIntSub(&x, &n, &one);
    const struct {
        Bytes in;
        Bytes out; // "(refused)" when refused
    } cases[] = {
        {Bytes(k - 1, '\0') + "\x02", FromHex(kTwoToE1024)},
        {Bytes(k, '\0'), Bytes(k, '\0')},
        {Bytes(k - 1, '\0') + "\x01", Bytes(k - 1, '\0') + "\x01"},
        {Fixed(x, k), Fixed(x, k)}, // (n - 1)^e = -1 for odd e
        {Fixed(n, k), "(refused)"}, // not below n
        {Bytes(k, '\xff'), "(refused)"},
        {Bytes(k - 1, '\x01'), "(refused)"}, // a byte short
        {Bytes(k + 1, '\0'), "(refused)"},
    };
    FOR_EACH_CASE(c, cases) {
        const Bytes out = PublicOp(key.get(), c.in);
        EXPECT_EQ(Hex(c.out.data(), c.out.size()), Hex(out.data(), out.size()));
    }
    uint8_t buffer[128] = {};
    EXPECT_EQ(0, RsaPublicOp(key.get(), buffer, k, buffer, k - 1));
    EXPECT_EQ(0, RsaPublicOp(nullptr, buffer, k, buffer, k));
}

TEST(RsaPrivateKey, ComponentsRoundTrip) {
    for (const auto* key : {&kKey512, &kKey1024}) {
        PrivateKey made = MakePrivate(Components(*key));
        ASSERT_NE(nullptr, made);
        for (int i = 0; i < 8; ++i) {
            std::string want = BigToHex(BigFromHex((*key)[i]));
            if (want.size() % 2 != 0)
                want = "0" + want;
            EXPECT_EQ(want, Component(made.get(), static_cast<RsaComponent>(i))) << i;
        }
        const RsaPublicKey* pub = RsaPrivateKeyPublic(made.get());
        const BigInt n = BigFromHex((*key)[RSA_N]);
        EXPECT_EQ(BigIntBitLength(&n), RsaKeyBits(pub));
    }
    PrivateKey made = MakePrivate(Components(kKey512));
    uint8_t small[4];
    EXPECT_EQ(0u, RsaPrivateKeyComponent(made.get(), RSA_D, small, sizeof small));
    EXPECT_EQ(0u, RsaPrivateKeyComponent(nullptr, RSA_D, nullptr, 0));
    EXPECT_EQ(nullptr, RsaPrivateKeyPublic(nullptr));
    EXPECT_EQ(nullptr, RsaPrivateKeyNew(nullptr));
    RsaPrivateKeyFree(nullptr);
    RsaPublicKeyFree(nullptr);
}

// Adds `delta` (which may be negative) to a hex number.
std::string Plus(const std::string& hex, int64_t delta) {
    BigInt a = BigFromHex(hex), d, r;
    BigIntFromWord(&d, static_cast<uint64_t>(delta < 0 ? -delta : delta));
    if (delta < 0)
        BigIntSub(&r, &a, &d);
    else
        BigIntAdd(&r, &a, &d);
    return BigToHex(r);
}

TEST(RsaPrivateKey, RefusesInconsistentComponents) {
    const std::vector<std::string> good = Components(kKey1024);
    // p - 1 and d + (p - 1): congruent to the right values but not reduced.
    const std::string p1 = Plus(good[RSA_P], -1);
    BigInt dpUnreduced;
    BigInt a = BigFromHex(good[RSA_DP]), b = BigFromHex(p1);
    BigIntAdd(&dpUnreduced, &a, &b);
    const struct {
        int component;
        std::string value;
    } cases[] = {
        {RSA_N, Plus(good[RSA_N], 2)},
        {RSA_N, Plus(good[RSA_N], -2)},
        {RSA_E, "3"},
        {RSA_E, Plus(good[RSA_E], 2)},
        {RSA_D, Plus(good[RSA_D], 2)},
        {RSA_D, "0"},
        {RSA_P, Plus(good[RSA_P], 2)},
        {RSA_Q, Plus(good[RSA_Q], -2)},
        {RSA_P, good[RSA_Q]}, // p = q
        {RSA_DP, Plus(good[RSA_DP], 1)},
        {RSA_DP, BigToHex(dpUnreduced)},
        {RSA_DQ, Plus(good[RSA_DQ], -1)},
        {RSA_QINV, Plus(good[RSA_QINV], 1)},
        {RSA_QINV, "0"},
        {RSA_P, "1"},
        {RSA_Q, "0"},
    };
    ASSERT_NE(nullptr, MakePrivate(good));
    FOR_EACH_CASE(c, cases) {
        std::vector<std::string> damaged = good;
        damaged[c.component] = c.value;
        EXPECT_EQ(nullptr, MakePrivate(damaged));
    }
    // p and q swapped need the coefficient for the new order: p^-1 mod q.
    std::vector<std::string> swapped = good;
    std::swap(swapped[RSA_P], swapped[RSA_Q]);
    std::swap(swapped[RSA_DP], swapped[RSA_DQ]);
    EXPECT_EQ(nullptr, MakePrivate(swapped));
    BigInt inverse, p = BigFromHex(good[RSA_P]), q = BigFromHex(good[RSA_Q]);
    ASSERT_EQ(1, BigIntModInverse(&inverse, &p, &q));
    swapped[RSA_QINV] = BigToHex(inverse);
    EXPECT_NE(nullptr, MakePrivate(swapped));
    // A missing component.
    RsaComponentsView view = {};
    EXPECT_EQ(nullptr, RsaPrivateKeyNew(&view));
}

// priv(pub(x)) = x and pub(priv(x)) = x for edges and numbers of every limb pattern.
void CheckRoundTrips(const RsaPrivateKey* key, uint64_t seed) {
    const RsaPublicKey* pub = RsaPrivateKeyPublic(key);
    const size_t k = RsaKeySize(pub);
    BigInt n;
    n.size = 0;
    {
        const size_t size = RsaPrivateKeyComponent(key, RSA_N, nullptr, 0);
        Bytes bytes(size, '\0');
        RsaPrivateKeyComponent(key, RSA_N, reinterpret_cast<uint8_t*>(&bytes[0]), size);
        BigIntFromBytes(&n, Data(bytes), bytes.size());
    }
    TestNumbers numbers(seed);
    std::vector<Bytes> inputs = {Bytes(k, '\0'), Bytes(k - 1, '\0') + "\x01"};
    BigInt one, x;
    BigIntFromWord(&one, 1);
    BigIntSub(&x, &n, &one);
    inputs.push_back(Fixed(x, k));
    for (int i = 0; i < 6; ++i) {
        BigInt r = numbers.Number(n.size);
        BigIntDivRem(nullptr, &r, &r, &n);
        inputs.push_back(Fixed(r, k));
    }
    FOR_EACH_CASE(in, inputs) {
        const Bytes signature = PrivateOp(key, in);
        EXPECT_EQ(Hex(in.data(), in.size()), Hex(PublicOp(pub, signature).data(), k));
        const Bytes cipher = PublicOp(pub, in);
        EXPECT_EQ(Hex(in.data(), in.size()), Hex(PrivateOp(key, cipher).data(), k));
    }
    EXPECT_EQ("(refused)", PrivateOp(key, Fixed(n, k)));
    EXPECT_EQ("(refused)", PrivateOp(key, Bytes(k - 1, '\x01')));
}

TEST(RsaPrivateKey, RoundTrips) {
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        for (const auto* key : {&kKey512, &kKey1024}) {
            PrivateKey made = MakePrivate(Components(*key));
            ASSERT_NE(nullptr, made);
            CheckRoundTrips(made.get(), 7);
        }
    }
}

#ifdef KIV_HAVE_OPENSSL
TEST(RsaPrivateKey, OperationAgainstOracle) {
    PrivateKey key = MakePrivate(Components(kKey1024));
    ASSERT_NE(nullptr, key);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM *n = nullptr, *d = nullptr;
    BN_hex2bn(&n, kKey1024[RSA_N]);
    BN_hex2bn(&d, kKey1024[RSA_D]);
    TestNumbers numbers(8);
    const BigInt modulus = BigFromHex(kKey1024[RSA_N]);
    for (int round = 0; round < 20; ++round) {
        BigInt x = numbers.Number(16);
        BigIntDivRem(nullptr, &x, &x, &modulus);
        const Bytes in = Fixed(x, 128);
        BIGNUM* bx = BN_bin2bn(Data(in), 128, nullptr);
        BN_mod_exp(bx, bx, d, n, ctx);
        Bytes want(128, '\0');
        BN_bn2binpad(bx, reinterpret_cast<uint8_t*>(&want[0]), 128);
        BN_free(bx);
        EXPECT_EQ(Hex(want.data(), 128), Hex(PrivateOp(key.get(), in).data(), 128));
    }
    BN_free(n);
    BN_free(d);
    BN_CTX_free(ctx);
}
#endif

int faults = 0;
void FlipBit(uint64_t* half, size_t limbs) {
    half[(limbs - 1) / 2] ^= uint64_t{1} << 17;
    ++faults;
}

TEST(RsaPrivateKey, FaultIsRefused) {
    PrivateKey key = MakePrivate(Components(kKey1024));
    ASSERT_NE(nullptr, key);
    const Bytes in = Bytes(127, '\0') + "\x07";
    const Bytes good = PrivateOp(key.get(), in);
    ASSERT_NE("(refused)", good);
    faults = 0;
    rsaCrtFaultHook = FlipBit;
    Bytes out(128, '\x5a');
    const int status =
        RsaPrivateOp(key.get(), Data(in), in.size(), reinterpret_cast<uint8_t*>(&out[0]), 128);
    rsaCrtFaultHook = nullptr;
    EXPECT_EQ(1, faults);
    EXPECT_EQ(0, status);
    // Nothing of the faulty result goes out.
    EXPECT_EQ(Bytes(128, '\0'), out);
    EXPECT_EQ(good, PrivateOp(key.get(), in));
}

TEST(RsaGenerateKey, RefusedArguments) {
    const struct {
        uint32_t bits;
        uint64_t e;
    } cases[] = {
        {1024, 65537}, {2047, 65537}, {2049, 65537}, {8192, 65537}, {0, 65537},
        {2048, 3},     {2048, 65535}, {2048, 65538}, {2048, 0},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(nullptr, RsaGenerateKey(c.bits, c.e));
    }
}

// Reads a component of a key as a BigInt.
BigInt Value(const RsaPrivateKey* key, RsaComponent which) {
    return BigFromHex(Component(key, which));
}

TEST(RsaGenerateKey, Fips186Properties) {
    PrivateKey key(RsaGenerateKey(2048, 65537));
    ASSERT_NE(nullptr, key);
    const RsaPublicKey* pub = RsaPrivateKeyPublic(key.get());
    EXPECT_EQ(2048u, RsaKeyBits(pub));
    const BigInt n = Value(key.get(), RSA_N), e = Value(key.get(), RSA_E);
    const BigInt d = Value(key.get(), RSA_D), p = Value(key.get(), RSA_P);
    const BigInt q = Value(key.get(), RSA_Q);
    EXPECT_EQ("10001", BigToHex(e));
    BigInt r, one, p1, q1, t;
    BigIntFromWord(&one, 1);
    ASSERT_EQ(1, BigIntMul(&r, &p, &q));
    EXPECT_EQ(0, BigIntCompare(&r, &n));
    for (const BigInt* prime : {&p, &q}) {
        EXPECT_EQ(1, BigIntIsProbablePrime(prime, 20));
        EXPECT_EQ(1024u, BigIntBitLength(prime));
        // p >= sqrt(2) 2^1023: p^2 has 2,048 bits.
        ASSERT_EQ(1, BigIntSquare(&r, prime));
        EXPECT_EQ(2048u, BigIntBitLength(&r));
    }
    // |p - q| > 2^(1024 - 100).
    if (BigIntSub(&r, &p, &q) == 0)
        BigIntSub(&r, &q, &p);
    EXPECT_GT(BigIntBitLength(&r), 924u);
    // d > 2^1024 and e d = 1 mod lcm(p - 1, q - 1), d below it.
    EXPECT_GT(BigIntBitLength(&d), 1024u);
    BigIntSub(&p1, &p, &one);
    BigIntSub(&q1, &q, &one);
    BigInt g, lambda;
    BigIntGcd(&g, &p1, &q1);
    ASSERT_EQ(1, BigIntMul(&t, &p1, &q1));
    ASSERT_EQ(1, BigIntDivRem(&lambda, nullptr, &t, &g));
    EXPECT_LT(BigIntCompare(&d, &lambda), 0);
    ASSERT_EQ(1, BigIntMul(&t, &d, &e));
    ASSERT_EQ(1, BigIntDivRem(nullptr, &r, &t, &lambda));
    EXPECT_EQ("1", BigToHex(r));
    // gcd(p - 1, e) = gcd(q - 1, e) = 1 follows from the inverse; the CRT values match.
    ASSERT_EQ(1, BigIntDivRem(nullptr, &r, &d, &p1));
    EXPECT_EQ(BigToHex(r), BigToHex(Value(key.get(), RSA_DP)));
    ASSERT_EQ(1, BigIntDivRem(nullptr, &r, &d, &q1));
    EXPECT_EQ(BigToHex(r), BigToHex(Value(key.get(), RSA_DQ)));
    CheckRoundTrips(key.get(), 9);
}

TEST(RsaGenerateKey, LargerExponent) {
    // The largest exponent the interface takes: odd, below 2^64.
    PrivateKey key(RsaGenerateKey(2048, 0xffffffffffffffc5));
    ASSERT_NE(nullptr, key);
    EXPECT_EQ("ffffffffffffffc5", Component(key.get(), RSA_E));
    CheckRoundTrips(key.get(), 10);
}

} // namespace

// The arithmetic against OpenSSL's BN functions on numbers of many sizes, the limbs biased
// towards all-ones and zeros (native build only: libcrypto is linked into the tests as an
// oracle, never into the library).
#ifdef KIV_HAVE_OPENSSL

#include "BigIntTestHelpers.h"
#include "TestHelpers.h"

#include "crypto/Montgomery.h"

#include <openssl/bn.h>

#include <memory>

namespace {

using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

Bn ToBn(const BigInt& a) {
    std::string bytes(8 * a.size, '\0');
    BigIntToBytes(&a, reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size());
    return Bn(BN_bin2bn(reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<int>(bytes.size()), nullptr),
              BN_free);
}

Bn NewBn() {
    return Bn(BN_new(), BN_free);
}

std::string BnHex(const BIGNUM* a) {
    char* text = BN_bn2hex(a);
    std::string hex = text;
    OPENSSL_free(text);
    for (char& c : hex)
        c = static_cast<char>(tolower(c));
    const size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

struct BnCtx {
    BN_CTX* ctx = BN_CTX_new();
    ~BnCtx() { BN_CTX_free(ctx); }
};

// Limb counts that cover one limb, the unrolled Montgomery kernels (16, 32) and the
// generic one on either side of them, up to the longest modulus.
const size_t kSizes[] = {1, 2, 3, 4, 7, 8, 15, 16, 17, 24, 31, 32, 33, 48, 64, 128};

TEST(BigIntOracle, AddSubMulSquareShiftCompare) {
    TestNumbers numbers(1);
    BnCtx bn;
    for (size_t round = 0; round < 400; ++round) {
        const size_t an = kSizes[numbers.Below(std::size(kSizes))];
        const size_t bn_ = kSizes[numbers.Below(std::size(kSizes))];
        const BigInt a = numbers.Number(an), b = numbers.Number(bn_);
        SCOPED_TRACE(BigToHex(a) + " " + BigToHex(b));
        Bn x = ToBn(a), y = ToBn(b), want = NewBn();
        BigInt r;

        ASSERT_EQ(1, BigIntAdd(&r, &a, &b));
        BN_add(want.get(), x.get(), y.get());
        EXPECT_EQ(BnHex(want.get()), BigToHex(r));

        const int order = BN_cmp(x.get(), y.get());
        EXPECT_EQ(order, BigIntCompare(&a, &b));
        EXPECT_EQ(order >= 0 ? 1 : 0, BigIntSub(&r, &a, &b));
        if (order >= 0) {
            BN_sub(want.get(), x.get(), y.get());
            EXPECT_EQ(BnHex(want.get()), BigToHex(r));
        }

        ASSERT_EQ(1, BigIntMul(&r, &a, &b));
        BN_mul(want.get(), x.get(), y.get(), bn.ctx);
        EXPECT_EQ(BnHex(want.get()), BigToHex(r));
        EXPECT_EQ(an + bn_, r.size);

        ASSERT_EQ(1, BigIntSquare(&r, &a));
        BN_sqr(want.get(), x.get(), bn.ctx);
        EXPECT_EQ(BnHex(want.get()), BigToHex(r));

        const size_t shift = numbers.Below(200);
        ASSERT_EQ(1, BigIntShiftLeft(&r, &a, shift));
        BN_lshift(want.get(), x.get(), static_cast<int>(shift));
        EXPECT_EQ(BnHex(want.get()), BigToHex(r));
        BigIntShiftRight(&r, &a, shift);
        BN_rshift(want.get(), x.get(), static_cast<int>(shift));
        EXPECT_EQ(BnHex(want.get()), BigToHex(r));

        EXPECT_EQ(static_cast<size_t>(BN_num_bits(x.get())), BigIntBitLength(&a));
    }
}

TEST(BigIntOracle, Division) {
    TestNumbers numbers(2);
    BnCtx bn;
    for (size_t round = 0; round < 400; ++round) {
        const BigInt a = numbers.Number(kSizes[numbers.Below(std::size(kSizes))]);
        BigInt b = numbers.Number(kSizes[numbers.Below(std::size(kSizes) - 3)]);
        if (BigIntIsZero(&b))
            b.limb[0] = 1;
        SCOPED_TRACE(BigToHex(a) + " / " + BigToHex(b));
        Bn x = ToBn(a), y = ToBn(b), q = NewBn(), r = NewBn();
        BN_div(q.get(), r.get(), x.get(), y.get(), bn.ctx);
        BigInt quotient, rest;
        ASSERT_EQ(1, BigIntDivRem(&quotient, &rest, &a, &b));
        EXPECT_EQ(BnHex(q.get()), BigToHex(quotient));
        EXPECT_EQ(BnHex(r.get()), BigToHex(rest));
        ASSERT_EQ(1, BigIntDivRemSecret(&quotient, &rest, &a, &b));
        EXPECT_EQ(BnHex(q.get()), BigToHex(quotient));
        EXPECT_EQ(BnHex(r.get()), BigToHex(rest));
    }
}

// Both engines (the vector one where the processor has it, and the portable code), whose
// multiplication and squaring kernels run at every size here.
TEST(BigIntOracle, ModularExponentiation) {
    TestNumbers numbers(4);
    BnCtx bn;
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        for (size_t size : kSizes) {
            const int rounds = size >= 64 ? 2 : 5;
            for (int round = 0; round < rounds; ++round) {
                const BigInt m = numbers.Odd(size);
                if (size == 1 && m.limb[0] < 3)
                    continue;
                const BigInt base = numbers.Number(kSizes[numbers.Below(std::size(kSizes))]);
                const BigInt e = numbers.Number(1 + numbers.Below(size < 32 ? size : 8));
                SCOPED_TRACE("size " + std::to_string(size) + " portable " +
                             std::to_string(portable));
                Bn want = NewBn();
                BN_mod_exp(want.get(), ToBn(base).get(), ToBn(e).get(), ToBn(m).get(), bn.ctx);
                BigInt r;
                ASSERT_EQ(1, BigIntModExp(&r, &base, &e, &m));
                EXPECT_EQ(BnHex(want.get()), BigToHex(r));
                ASSERT_EQ(1, BigIntModExpPublic(&r, &base, &e, &m));
                EXPECT_EQ(BnHex(want.get()), BigToHex(r));
            }
        }
    }
}

// Two exponentiations at once, of equal and of different sizes.
TEST(BigIntOracle, PairedExponentiation) {
    TestNumbers numbers(11);
    BnCtx bn;
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        for (size_t size : {8, 16, 17, 24, 32, 64}) {
            const size_t other = size == 17 ? 16 : size;
            const BigInt m1 = numbers.Odd(size), m2 = numbers.Odd(other);
            Montgomery c1, c2;
            ASSERT_EQ(1, MontgomeryInit(&c1, m1.limb, size));
            ASSERT_EQ(1, MontgomeryInit(&c2, m2.limb, other));
            Bn b1 = ToBn(numbers.Number(size)), b2 = ToBn(numbers.Number(other));
            BN_mod(b1.get(), b1.get(), ToBn(m1).get(), bn.ctx);
            BN_mod(b2.get(), b2.get(), ToBn(m2).get(), bn.ctx);
            const BigInt a1 = BigFromHex(BnHex(b1.get()), size);
            const BigInt a2 = BigFromHex(BnHex(b2.get()), other);
            const BigInt e1 = numbers.Number(size), e2 = numbers.Number(other);
            BigInt r1, r2;
            r1.size = size;
            r2.size = other;
            ASSERT_EQ(1, MontgomeryExp2(&c1, r1.limb, a1.limb, e1.limb, size, &c2, r2.limb, a2.limb,
                                        e2.limb, other));
            Bn want = NewBn();
            BN_mod_exp(want.get(), b1.get(), ToBn(e1).get(), ToBn(m1).get(), bn.ctx);
            EXPECT_EQ(BnHex(want.get()), BigToHex(r1)) << size << " " << portable;
            BN_mod_exp(want.get(), b2.get(), ToBn(e2).get(), ToBn(m2).get(), bn.ctx);
            EXPECT_EQ(BnHex(want.get()), BigToHex(r2)) << other << " " << portable;
        }
    }
}

TEST(BigIntOracle, InverseAndGcd) {
    TestNumbers numbers(5);
    BnCtx bn;
    // Up to half the longest modulus: the fixed step counts make the longest slow, and
    // their code is the same.
    const size_t sizes = std::size(kSizes) - 2;
    for (size_t round = 0; round < 300; ++round) {
        const size_t size = kSizes[numbers.Below(sizes)];
        BigInt m = numbers.Full(size);
        BigInt a = numbers.Number(kSizes[numbers.Below(sizes)]);
        // Half the moduli even (then a odd), a quarter of the pairs sharing the factor 3.
        if (round % 2 == 0) {
            m.limb[0] |= 1;
        } else {
            m.limb[0] &= ~uint64_t{1};
            a.limb[0] |= 1;
        }
        if (round % 4 == 1 && size < 128) {
            BigInt three;
            BigIntFromWord(&three, 3);
            ASSERT_EQ(1, BigIntMul(&a, &a, &three));
            ASSERT_EQ(1, BigIntMul(&m, &m, &three));
        }
        SCOPED_TRACE(BigToHex(a) + " mod " + BigToHex(m));
        Bn x = ToBn(a), y = ToBn(m), g = NewBn(), inverse = NewBn();
        BN_gcd(g.get(), x.get(), y.get(), bn.ctx);
        BigInt r;
        BigIntGcd(&r, &a, &m);
        EXPECT_EQ(BnHex(g.get()), BigToHex(r));
        const bool invertible = BN_is_one(g.get()) && !BN_is_one(y.get());
        if (BN_is_one(y.get()) || (size == 1 && m.limb[0] < 3 && (m.limb[0] & 1) != 0))
            continue;
        EXPECT_EQ(invertible ? 1 : 0, BigIntModInverse(&r, &a, &m));
        if (invertible) {
            BN_mod_inverse(inverse.get(), x.get(), y.get(), bn.ctx);
            EXPECT_EQ(BnHex(inverse.get()), BigToHex(r));
            EXPECT_EQ(m.size, r.size);
        }
    }
}

TEST(BigIntOracle, ProbablePrimes) {
    TestNumbers numbers(6);
    BnCtx bn;
    // Random odd numbers of several sizes, and products of two primes, which trial division
    // cannot settle.
    for (size_t bits : {40, 64, 100, 256, 512}) {
        for (int round = 0; round < 20; ++round) {
            Bn x = NewBn();
            BN_rand(x.get(), static_cast<int>(bits), BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD);
            BigInt w = BigFromHex(BnHex(x.get()));
            const int prime = BN_check_prime(x.get(), bn.ctx, nullptr);
            EXPECT_EQ(prime, BigIntIsProbablePrime(&w, 20)) << BnHex(x.get());
        }
        Bn p = NewBn(), q = NewBn(), n = NewBn();
        BN_generate_prime_ex(p.get(), static_cast<int>(bits), 0, nullptr, nullptr, nullptr);
        BN_generate_prime_ex(q.get(), static_cast<int>(bits), 0, nullptr, nullptr, nullptr);
        BN_mul(n.get(), p.get(), q.get(), bn.ctx);
        BigInt a = BigFromHex(BnHex(p.get())), b = BigFromHex(BnHex(n.get()));
        EXPECT_EQ(1, BigIntIsProbablePrime(&a, 20)) << BnHex(p.get());
        EXPECT_EQ(0, BigIntIsProbablePrime(&b, 20)) << BnHex(n.get());
    }
}

} // namespace

#endif // KIV_HAVE_OPENSSL

// The multi-precision arithmetic where OpenSSL's comparison (BigIntOracleTest.cpp, native
// only) seldom looks: result sizes, outputs that are inputs, carries at limb edges,
// division's rare corrections, the limits and refusals. The expected values come from
// Python's integers; the same tables run in the Windows build.
#include "BigIntTestHelpers.h"
#include "KeyTestUtil.h"
#include "TestHelpers.h"

#include "crypto/Montgomery.h"

#include <algorithm>
#include <set>

namespace {

using keytest::U8;

const std::string kOnes64 = "ffffffffffffffff";
const std::string kOnes128 = kOnes64 + kOnes64;

std::string Zeros(size_t digits) {
    return std::string(digits, '0');
}

BigInt FromLimbs(const uint64_t* limbs, size_t n) {
    BigInt r;
    r.size = n;
    std::copy(limbs, limbs + n, r.limb);
    return r;
}

TEST(BigInt, BytesInAndOut) {
    const struct {
        std::string in; // hex of the bytes
        size_t limbs;
    } cases[] = {{"", 1}, {"010203040506070809", 2}, {Zeros(31) + "1", 2}, {"ff" + kOnes128, 3}};
    FOR_EACH_CASE(c, cases) {
        const std::string bytes = Unhex(c.in);
        BigInt a;
        ASSERT_EQ(1, BigIntFromBytes(&a, U8(bytes), bytes.size()));
        EXPECT_EQ(c.limbs, a.size);
        // Out at the input's own length, and at one byte more with a zero in front.
        std::string out(bytes.size() + 1, '\x5a');
        auto* buffer = reinterpret_cast<uint8_t*>(&out[0]);
        EXPECT_EQ(1, BigIntToBytes(&a, buffer, bytes.size()));
        EXPECT_EQ(c.in, Hex(out.data(), bytes.size()));
        EXPECT_EQ(1, BigIntToBytes(&a, buffer, bytes.size() + 1));
        EXPECT_EQ("00" + c.in, Hex(out.data(), bytes.size() + 1));
    }
    // Too short an output: a non-zero byte anywhere above it refuses, zeros do not.
    const struct {
        std::string value;
        size_t outSize;
        int ok;
    } sizes[] = {{"1" + Zeros(16), 8, 0},  {"1" + Zeros(16), 9, 1}, {"ff", 0, 0}, {"0", 0, 1},
                 {"1" + Zeros(62), 31, 0}, {"1" + Zeros(62), 32, 1}};
    FOR_EACH_CASE(c, sizes) {
        const BigInt a = BigFromHex(c.value, 4);
        uint8_t out[40];
        EXPECT_EQ(c.ok, BigIntToBytes(&a, out, c.outSize));
    }
    // The longest input: twice the longest modulus.
    const std::string longest(8 * kBigIntMaxLimbs + 1, '\x01');
    BigInt a;
    EXPECT_EQ(1, BigIntFromBytes(&a, U8(longest), longest.size() - 1));
    EXPECT_EQ(0, BigIntFromBytes(&a, U8(longest), longest.size()));
}

TEST(BigInt, AddSubtractMultiplyShift) {
    const struct {
        std::string a, b, sum;
    } sums[] = {{kOnes64, "1", "1" + Zeros(16)},
                {kOnes128, kOnes128, "1" + std::string(31, 'f') + "e"},
                {kOnes64 + Zeros(16), "1" + Zeros(16), "1" + Zeros(32)}};
    FOR_EACH_CASE(c, sums) {
        for (int swap = 0; swap < 2; ++swap) {
            const BigInt a = BigFromHex(swap ? c.b : c.a), b = BigFromHex(swap ? c.a : c.b);
            BigInt r;
            ASSERT_EQ(1, BigIntAdd(&r, &a, &b));
            EXPECT_EQ(c.sum, BigToHex(r));
            EXPECT_EQ(std::max(a.size, b.size) + 1, r.size);
        }
        // sum - b = a, sum - a = b; the result may be an operand.
        BigInt sum = BigFromHex(c.sum), b = BigFromHex(c.b), r;
        EXPECT_EQ(1, BigIntSub(&r, &sum, &b));
        EXPECT_EQ(BigToHex(BigFromHex(c.a)), BigToHex(r));
        EXPECT_EQ(1, BigIntSub(&sum, &sum, &r));
        EXPECT_EQ(BigToHex(b), BigToHex(sum));
    }
    // Negative results report 0 and wrap around in two's complement.
    const struct {
        std::string a, b, wrapped;
    } below[] = {{"1" + Zeros(16), "1" + Zeros(17), "fffffffffffffff1" + Zeros(16)},
                 {Zeros(32), "1", kOnes128}};
    FOR_EACH_CASE(c, below) {
        const BigInt a = BigFromHex(c.a), b = BigFromHex(c.b);
        BigInt r;
        EXPECT_EQ(0, BigIntSub(&r, &a, &b));
        EXPECT_EQ(c.wrapped, BigToHex(r));
    }
    const BigInt a = BigFromHex("123456789abcdef"), b = BigFromHex("fedcba987654321", 2);
    BigInt x = a;
    ASSERT_EQ(1, BigIntMul(&x, &x, &b));
    EXPECT_EQ("121fa00ad77d7422236d88fe5618cf", BigToHex(x));
    EXPECT_EQ(3u, x.size);
    ASSERT_EQ(1, BigIntShiftLeft(&x, &x, 65));
    EXPECT_EQ(5u, x.size);
    BigIntShiftRight(&x, &x, 65);
    EXPECT_EQ("121fa00ad77d7422236d88fe5618cf", BigToHex(x));
    EXPECT_EQ(4u, x.size);
    // Carries and products past the largest value are refused.
    BigInt big = BigFromHex("1", kBigIntMaxLimbs), half = BigFromHex("1", kBigIntMaxLimbs / 2),
           more = BigFromHex("1", kBigIntMaxLimbs / 2 + 1), r;
    EXPECT_EQ(0, BigIntAdd(&r, &big, &big));
    EXPECT_EQ(1, BigIntMul(&r, &half, &half));
    EXPECT_EQ(0, BigIntMul(&r, &half, &more));
    EXPECT_EQ(0, BigIntSquare(&r, &more));
    BigInt shifted = BigFromHex("1", kBigIntMaxLimbs - 1);
    EXPECT_EQ(1, BigIntShiftLeft(&r, &shifted, 64));
    EXPECT_EQ(0, BigIntShiftLeft(&r, &shifted, 65));
    EXPECT_EQ(0, BigIntShiftLeft(&r, &shifted, ~size_t{0}));
}

TEST(BigInt, CompareLengthAndResize) {
    // Zero limbs on top do not count.
    const BigInt one = BigFromHex("1" + Zeros(16), 2), ones = BigFromHex(kOnes64, 4);
    EXPECT_EQ(1, BigIntCompare(&one, &ones));
    EXPECT_EQ(-1, BigIntCompare(&ones, &one));
    const BigInt zero = BigFromHex("0", 3), top = BigFromHex("8" + Zeros(31), 4);
    EXPECT_EQ(0u, BigIntBitLength(&zero));
    EXPECT_EQ(1, BigIntIsZero(&zero));
    EXPECT_EQ(128u, BigIntBitLength(&top));
    EXPECT_EQ(0, BigIntIsZero(&top));
    BigInt a = BigFromHex("1" + Zeros(16), 4);
    EXPECT_EQ(0, BigIntResize(&a, 1)); // would drop the 1
    EXPECT_EQ(4u, a.size);
    for (size_t limbs : {size_t{2}, kBigIntMaxLimbs, size_t{5}})
        EXPECT_EQ(1, BigIntResize(&a, limbs));
    EXPECT_EQ(0, BigIntResize(&a, 0));
    EXPECT_EQ(0, BigIntResize(&a, kBigIntMaxLimbs + 1));
    EXPECT_EQ(5u, a.size);
    EXPECT_EQ("1" + Zeros(16), BigToHex(a));
    BigIntTrim(&a);
    EXPECT_EQ(2u, a.size);
    a = BigFromHex("0", 3);
    BigIntTrim(&a);
    EXPECT_EQ(1u, a.size);
}

TEST(BigInt, Division) {
    const struct {
        std::string a, b, q, r;
    } cases[] = {
        {"0", "7", "0", "0"},
        {"1" + Zeros(32), kOnes64, "10000000000000001", "1"},
        {kOnes64, kOnes128, "0", kOnes64},
        {"1" + Zeros(48), "1" + Zeros(15) + "1", kOnes64 + Zeros(16), "1" + Zeros(16)},
        // Quotient estimates one too large: the multiply-and-subtract goes negative and
        // the divisor is added back.
        {"7fffffffffffffff000000000000000180000000000000018000000000000001",
         "7fffffffffffffff80000000000000017fffffffffffffff", "fffffffffffffffe",
         "7fffffffffffffff00000000000000057fffffffffffffff"},
        {"80000000000000007fffffffffffffff7fffffffffffffff7fffffffffffffff8000000000000001",
         "80000000000000007ffffffffffffffffffffffffffffffe", kOnes128,
         "1ffffffffffffffff7fffffffffffffff"},
        {"fffffffffffffffe00000000000000007fffffffffffffff7fffffffffffffff",
         "7fffffffffffffff00000000000000007fffffffffffffff", "1ffffffffffffffff",
         "7ffffffffffffffe8000000000000001fffffffffffffffe"},
    };
    FOR_EACH_CASE(c, cases) {
        const BigInt a = BigFromHex(c.a), b = BigFromHex(c.b);
        for (auto divide : {BigIntDivRem, BigIntDivRemSecret}) {
            BigInt q, r, x = a;
            ASSERT_EQ(1, divide(&q, &r, &a, &b));
            EXPECT_EQ(c.q, BigToHex(q));
            EXPECT_EQ(c.r, BigToHex(r));
            EXPECT_EQ(a.size, q.size);
            EXPECT_EQ(b.size, r.size);
            // Only the remainder, in place.
            ASSERT_EQ(1, divide(nullptr, &x, &x, &b));
            EXPECT_EQ(c.r, BigToHex(x));
        }
    }
    // Division by zero, however many zero limbs.
    const BigInt a = BigFromHex("5"), zero = BigFromHex("0", 3);
    BigInt q, r;
    EXPECT_EQ(0, BigIntDivRem(&q, &r, &a, &zero));
    EXPECT_EQ(0, BigIntDivRemSecret(&q, &r, &a, &zero));
}

TEST(BigInt, ModularExponentiation) {
    const struct {
        std::string base, e, m, result;
    } cases[] = {
        {"3", "1" + Zeros(50), "3b9aca07", "1b11154c"}, // 3^(2^200) mod 1000000007
        {"0", "5", "7", "0"},
        {"0", "0", "7", "1"},
        {"6", "2" + Zeros(40), "7", "1"},     // (-1)^even
        {kOnes128 + kOnes128, "1", "7", "1"}, // base above m by several limbs
        {"2", "40", kOnes64, "1"},            // 2^64 mod 2^64 - 1
    };
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        FOR_EACH_CASE(c, cases) {
            const BigInt base = BigFromHex(c.base), e = BigFromHex(c.e), m = BigFromHex(c.m);
            // Zero limbs on top of the exponent change nothing.
            const BigInt longer = BigFromHex(c.e, e.size + 2);
            BigInt r;
            ASSERT_EQ(1, BigIntModExp(&r, &base, &e, &m));
            EXPECT_EQ(c.result, BigToHex(r));
            EXPECT_EQ(m.size, r.size);
            ASSERT_EQ(1, BigIntModExpPublic(&r, &base, &e, &m));
            EXPECT_EQ(c.result, BigToHex(r));
            ASSERT_EQ(1, BigIntModExp(&r, &base, &longer, &m));
            EXPECT_EQ(c.result, BigToHex(r));
        }
    }
    // Moduli the exponentiation refuses: even, below 3, longer than 8,192 bits.
    const std::string refused[] = {"0", "1", "2", "10", "1" + Zeros(2048) + "1"};
    FOR_EACH_CASE(m, refused) {
        const BigInt base = BigFromHex("2"), e = BigFromHex("3"), modulus = BigFromHex(m);
        BigInt r;
        EXPECT_EQ(0, BigIntModExp(&r, &base, &e, &modulus));
        EXPECT_EQ(0, BigIntModExpPublic(&r, &base, &e, &modulus));
    }
    // 8,192 bits is taken: (m - 1)^3 = -1.
    const BigInt m = BigFromHex("8" + Zeros(2046) + "1"), three = BigFromHex("3");
    const BigInt base = BigFromHex("8" + Zeros(2047));
    BigInt r;
    ASSERT_EQ(1, BigIntModExp(&r, &base, &three, &m));
    EXPECT_EQ("8" + Zeros(2047), BigToHex(r));
}

TEST(BigInt, InverseAndGcd) {
    const struct {
        std::string a, m, inverse; // "" when there is none
    } cases[] = {{"3", "1" + Zeros(32), "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab"},
                 {"a", "7", "5"},
                 {"1", "2", "1"},
                 {"3", "4", "3"},
                 {"0", "7", ""},
                 {"7", "7", ""},
                 {"6", "9", ""},
                 {"2", "4", ""},
                 {"3", "1", ""},
                 {"3", "0", ""}};
    FOR_EACH_CASE(c, cases) {
        const BigInt a = BigFromHex(c.a), m = BigFromHex(c.m);
        BigInt r;
        const int ok = BigIntModInverse(&r, &a, &m);
        EXPECT_EQ(c.inverse.empty() ? 0 : 1, ok);
        if (ok != 0) {
            EXPECT_EQ(c.inverse, BigToHex(r));
        }
    }
    const struct {
        std::string a, b, gcd;
    } gcds[] = {{"0", "0", "0"},
                {"0", "c", "c"},
                {"1" + Zeros(50), "3" + Zeros(25), "1" + Zeros(25)},
                {kOnes128, kOnes64, kOnes64}};
    FOR_EACH_CASE(c, gcds) {
        const BigInt a = BigFromHex(c.a), b = BigFromHex(c.b);
        BigInt r;
        BigIntGcd(&r, &a, &b);
        EXPECT_EQ(c.gcd, BigToHex(r));
        BigIntGcd(&r, &b, &a);
        EXPECT_EQ(c.gcd, BigToHex(r));
    }
}

TEST(BigInt, ProbablePrimes) {
    const struct {
        std::string w;
        int prime;
    } cases[] = {
        {"0", 0},
        {"1", 0},
        {"2", 1},
        {"3", 1},
        {"4", 0},
        {"231", 0},                       // 561, a Carmichael number
        {"10000000f", 1},                 // 2^32 + 15, past trial division's reach
        {"10000000000000001", 0},         // 2^64 + 1 = 274177 x 67280421310721
        {"1758340b19", 0},                // Carmichael 2557 x 5113 x 7669
        {"351591274f9af9fb", 0},          // strong pseudoprime to the bases 2 to 37
        {"1" + std::string(130, 'f'), 1}, // 2^521 - 1
        {"334" + Zeros(31) + "1", 1},     // 205 2^130 + 1: 130 squarings after the power
        {"64" + Zeros(31) + "1", 0},      // 25 2^130 + 1: composite, 2^130 dividing w - 1
        {"1" + Zeros(31) + "0", 0},
    };
    FOR_EACH_CASE(c, cases) {
        const BigInt w = BigFromHex(c.w), padded = BigFromHex(c.w, w.size + 1);
        EXPECT_EQ(c.prime, BigIntIsProbablePrime(&w, 10));
        EXPECT_EQ(c.prime, BigIntIsProbablePrime(&padded, 10));
    }
    const struct {
        size_t bits;
        int rounds;
    } rounds[] = {{256, 64}, {511, 64}, {512, 7},  {1023, 7},
                  {1024, 5}, {1535, 5}, {1536, 4}, {2048, 4}};
    FOR_EACH_CASE(c, rounds) {
        EXPECT_EQ(c.rounds, BigIntMillerRabinRounds(c.bits));
    }
}

TEST(BigInt, RandomBelow) {
    const struct {
        std::string bound;
        size_t limbs;
    } cases[] = {{"1", 1}, {"2", 1}, {"7", 2}, {"1" + Zeros(16) + "1", 2}, {"8" + Zeros(63), 4}};
    FOR_EACH_CASE(c, cases) {
        const BigInt bound = BigFromHex(c.bound, c.limbs);
        for (int i = 0; i < 50; ++i) {
            BigInt r;
            ASSERT_EQ(1, BigIntRandomBelow(&r, &bound));
            EXPECT_EQ(c.limbs, r.size);
            EXPECT_LT(BigIntCompare(&r, &bound), 0);
        }
    }
    // Every value below a small bound comes up; the top bit of a long one is reached.
    const BigInt seven = BigFromHex("7"), top = BigFromHex("8" + Zeros(63)),
                 zero = BigFromHex("0", 2);
    std::set<uint64_t> seen;
    bool high = false;
    BigInt r;
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(1, BigIntRandomBelow(&r, &seven));
        seen.insert(r.limb[0]);
        ASSERT_EQ(1, BigIntRandomBelow(&r, &top));
        high = high || BigIntBitLength(&r) == 255;
    }
    EXPECT_EQ(7u, seen.size());
    EXPECT_TRUE(high);
    EXPECT_EQ(0, BigIntRandomBelow(&r, &zero));
}

TEST(Montgomery, ContextsAndForms) {
    const struct {
        std::string m;
        size_t limbs;
        bool taken;
    } cases[] = {
        {"0", 1, false},
        {"1", 1, false},
        {"2", 1, false},
        {"3", 1, true},
        {"3", 5, true}, // zero limbs on top are dropped
        {kOnes64, 1, true},
        {"1" + Zeros(32), 3, false},
        {"1" + Zeros(31) + "1", 3, true},
        {"8" + Zeros(2046) + "1", 128, true},  // 8,192 bits
        {"1" + Zeros(2047) + "1", 129, false}, // 8,193 bits
    };
    FOR_EACH_CASE(c, cases) {
        const BigInt m = BigFromHex(c.m, c.limbs);
        Montgomery ctx;
        ASSERT_EQ(c.taken ? 1 : 0, MontgomeryInit(&ctx, m.limb, m.size));
        if (!c.taken)
            continue;
        BigInt trimmed = m, big, r;
        BigIntTrim(&trimmed);
        EXPECT_EQ(trimmed.size, ctx.size);
        EXPECT_EQ(BigIntBitLength(&m), ctx.bits);
        // R mod m and R^2 mod m against division; entering a long value against division.
        BigIntFromWord(&big, 1);
        BigIntShiftLeft(&big, &big, 64 * ctx.size);
        BigIntDivRem(nullptr, &big, &big, &trimmed);
        EXPECT_EQ(BigToHex(big), BigToHex(FromLimbs(ctx.one, ctx.size)));
        BigIntSquare(&big, &big);
        BigIntDivRem(nullptr, &big, &big, &trimmed);
        r = FromLimbs(ctx.rr, ctx.size);
        EXPECT_EQ(BigToHex(big), BigToHex(r));
        const BigInt value =
            BigFromHex(kOnes128 + "123456789" + kOnes128,
                       ctx.size < 3 ? 5 : std::min(2 * ctx.size + 1, kBigIntMaxLimbs));
        MontgomeryEnter(&ctx, r.limb, value.limb, value.size);
        MontgomeryLeave(&ctx, r.limb, r.limb);
        BigIntDivRem(nullptr, &big, &value, &trimmed);
        EXPECT_EQ(BigToHex(big), BigToHex(r));
    }
}

// An exponent of no limbs at all gives 1, on either engine, alone or paired.
TEST(Montgomery, EmptyExponent) {
    const BigInt m = BigFromHex("8" + Zeros(255) + "f"), a = BigFromHex("1234567", m.size);
    for (int portable = 0; portable < 2; ++portable) {
        const ExponentiationEngine engine(portable);
        Montgomery ctx;
        ASSERT_EQ(1, MontgomeryInit(&ctx, m.limb, m.size));
        BigInt r = a, r2 = a, r3 = a;
        ASSERT_EQ(1, MontgomeryExp(&ctx, r.limb, a.limb, a.limb, 0));
        ASSERT_EQ(1, MontgomeryExpPublic(&ctx, r2.limb, a.limb, a.limb, 0));
        EXPECT_EQ("1 1", BigToHex(r) + " " + BigToHex(r2));
        r = a;
        ASSERT_EQ(
            1, MontgomeryExp2(&ctx, r.limb, a.limb, a.limb, 0, &ctx, r3.limb, a.limb, a.limb, 0));
        EXPECT_EQ("1 1", BigToHex(r) + " " + BigToHex(r3));
    }
}

// The vector engine serves exactly where the processor has AVX-512 IFMA (asked apart from
// the library) and the modulus is long enough; forcing the portable code takes it away.
TEST(Montgomery, EngineChoice) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool ifma = __builtin_cpu_supports("avx512ifma") && __builtin_cpu_supports("avx512f") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#else
    const bool ifma = false;
#endif
    const std::pair<std::string, bool> cases[] = {
        {"8" + Zeros(126) + "1", true},       // 512 bits
        {"7" + std::string(127, 'f'), false}, // 511 bits
        {"8" + Zeros(2046) + "1", true},      // 8,192 bits
        {"f", false},
    };
    FOR_EACH_CASE(c, cases) {
        const BigInt m = BigFromHex(c.first);
        Montgomery ctx;
        ASSERT_EQ(1, MontgomeryInit(&ctx, m.limb, m.size));
        const std::string name = MontgomeryEngineName(&ctx);
        EXPECT_EQ(ifma && c.second, name.find("IFMA") != std::string::npos) << name;
        EXPECT_EQ(ifma && c.second, ctx.digits != 0);
        const ExponentiationEngine portable(1);
        EXPECT_EQ(std::string::npos, std::string(MontgomeryEngineName(&ctx)).find("IFMA"));
    }
}

} // namespace

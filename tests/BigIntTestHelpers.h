// Shared by the big-integer and RSA tests: BigInts from and to hex, and a deterministic
// source of test numbers whose limbs favour the values where carries and borrows turn.
#pragma once

#include "CryptoTestHelpers.h"

#include "crypto/BigInt.h"
#include "crypto/Montgomery.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

// Exponentiations started inside take the portable code or the engine the processor allows.
using ExponentiationEngine = PortableScope<MontgomeryUsePortable>;

// A BigInt from hex (any length, odd allowed); `limbs` pads it to that many limbs.
inline BigInt BigFromHex(const std::string& hex, size_t limbs = 0) {
    const std::string bytes = Unhex(hex.size() % 2 != 0 ? "0" + hex : hex);
    BigInt r;
    EXPECT_EQ(1, BigIntFromBytes(&r, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        << hex;
    if (limbs != 0) {
        EXPECT_EQ(1, BigIntResize(&r, limbs)) << hex;
    }
    return r;
}

// Lower-case hex without leading zeros ("0" for zero).
inline std::string BigToHex(const BigInt& a) {
    std::string bytes(8 * a.size, '\0');
    BigIntToBytes(&a, reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size());
    std::string hex = Hex(bytes.data(), bytes.size());
    const size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

// Test numbers of a given limb count: random limbs mixed with all-ones, zero, a lone top
// or bottom bit, so that carry and borrow chains cross limb boundaries often.
class TestNumbers {
public:
    explicit TestNumbers(uint64_t seed) : random_(seed) {}

    uint64_t Limb() {
        switch (random_() % 8) {
        case 0:
            return ~uint64_t{0};
        case 1:
            return 0;
        case 2:
            return uint64_t{1} << 63;
        case 3:
            return 1;
        case 4:
            return ~uint64_t{0} >> (random_() % 64);
        default:
            return random_();
        }
    }
    BigInt Number(size_t limbs) {
        BigInt r;
        r.size = limbs;
        for (size_t i = 0; i < limbs; ++i)
            r.limb[i] = Limb();
        return r;
    }
    // With the top limb not zero (a value that needs all its limbs).
    BigInt Full(size_t limbs) {
        BigInt r = Number(limbs);
        if (r.limb[limbs - 1] == 0)
            r.limb[limbs - 1] = random_() | 1;
        return r;
    }
    BigInt Odd(size_t limbs) {
        BigInt r = Full(limbs);
        r.limb[0] |= 1;
        return r;
    }
    size_t Below(size_t n) { return static_cast<size_t>(random_() % n); }

private:
    std::mt19937_64 random_;
};

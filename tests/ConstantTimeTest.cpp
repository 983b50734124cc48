// The constant-time helpers over the edge values of their words and every bit of their
// buffers.
#include "crypto/ConstantTime.h"
#include "TestHelpers.h"

#include <cstring>
#include <string>

namespace {

const uint64_t kAll = ~uint64_t{0};

TEST(ConstantTime, MasksOverEdgeValues) {
    const uint64_t values[] = {0,        1,     2,         0x7f,         0x80,
                               0xff,     0x100, kAll >> 1, ~(kAll >> 1), ~(kAll >> 1) + 1,
                               kAll - 1, kAll};
    for (uint64_t a : values) {
        EXPECT_EQ(a == 0 ? kAll : 0, CtMaskZero(a)) << a;
        for (uint64_t b : values) {
            EXPECT_EQ(a == b ? kAll : 0, CtMaskEqual(a, b)) << a << " " << b;
            EXPECT_EQ(a < b ? kAll : 0, CtMaskLess(a, b)) << a << " " << b;
        }
    }
}

TEST(ConstantTime, EqualSeesEveryBit) {
    for (size_t size : {0u, 1u, 7u, 32u, 65u}) {
        std::string a(size, '\0');
        for (size_t i = 0; i < size; ++i)
            a[i] = static_cast<char>(i * 37 + 11);
        std::string b = a;
        EXPECT_EQ(1, CryptoEqual(a.data(), b.data(), size));
        for (size_t i = 0; i < 8 * size; ++i) {
            b[i / 8] = static_cast<char>(a[i / 8] ^ (1 << i % 8));
            EXPECT_EQ(0, CryptoEqual(a.data(), b.data(), size)) << size << " bit " << i;
            b[i / 8] = a[i / 8];
        }
    }
}

TEST(ConstantTime, CopyIfAndWipe) {
    const std::string source = "source bytes", start = "destination!";
    for (uint64_t mask : {uint64_t{0}, kAll}) {
        std::string destination = start;
        CtCopyIf(mask, &destination[0], source.data(), source.size());
        EXPECT_EQ(mask ? source : start, destination);
    }
    std::string bytes = "secret, then more";
    CryptoWipe(&bytes[0], 6);
    EXPECT_EQ(std::string(6, '\0') + ", then more", bytes);
    CryptoWipe(nullptr, 0);
}

} // namespace

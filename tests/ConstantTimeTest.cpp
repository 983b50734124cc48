// The constant-time helpers' results over the edge values of their words and every byte
// position of their buffers.
#include "crypto/ConstantTime.h"
#include "TestHelpers.h"

#include <cstring>
#include <string>

namespace {

const uint64_t kAll = ~uint64_t{0};
const uint64_t kValues[] = {0,
                            1,
                            2,
                            0x7f,
                            0x80,
                            0xff,
                            0x100,
                            0x7fffffffffffffffull,
                            0x8000000000000000ull,
                            0x8000000000000001ull,
                            kAll - 1,
                            kAll};

TEST(ConstantTime, MasksOverEdgeValues) {
    for (uint64_t a : kValues) {
        EXPECT_EQ(a == 0 ? kAll : 0, CtMaskZero(a)) << a;
        for (uint64_t b : kValues) {
            EXPECT_EQ(a == b ? kAll : 0, CtMaskEqual(a, b)) << a << " " << b;
            EXPECT_EQ(a < b ? kAll : 0, CtMaskLess(a, b)) << a << " " << b;
        }
    }
}

// Every byte and every bit of a difference counts, wherever it is.
TEST(ConstantTime, EqualSeesEveryBit) {
    const size_t sizes[] = {0, 1, 7, 32, 65};
    FOR_EACH_CASE(size, sizes) {
        std::string a(size, '\0');
        for (size_t i = 0; i < size; ++i)
            a[i] = static_cast<char>(i * 37 + 11);
        std::string b = a;
        EXPECT_EQ(1, CryptoEqual(a.data(), b.data(), size));
        for (size_t i = 0; i < size; ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                b[i] = static_cast<char>(b[i] ^ (1 << bit));
                EXPECT_EQ(0, CryptoEqual(a.data(), b.data(), size)) << i << " bit " << bit;
                b[i] = a[i];
            }
        }
        EXPECT_EQ(1, CryptoEqual(a.data(), b.data(), size));
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

// Differential tests against the C library's inet_ntop/inet_pton. Only where there is a C
// library to compare with; the Windows build runs the tables of KivIpAddrTest.cpp.
#ifndef _WIN32

#include "net/KivIpAddr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr uint32_t kSeed = 20240611;
constexpr int kRandomV6 = 100000;
constexpr int kRandomV4 = 50000;
constexpr int kMutations = 100000;

// Raw engine output only: distributions differ between standard libraries.
struct Random {
    std::mt19937 engine{kSeed};
    uint32_t Next(uint32_t bound) { return static_cast<uint32_t>(engine() % bound); }
};

// Biased towards the shapes the printer treats specially: zero runs, mapped and
// compatible addresses, tails whose first bytes are zero.
void MakeV6(Random* random, uint8_t out[16]) {
    static const unsigned kGroups[] = {0, 0, 0, 1, 0xFFFF, 0x102, 0xFF};
    uint32_t shape = random->Next(5);
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<uint8_t>(random->Next(256));
    if (shape == 1) { // each group zero, small or random
        for (int g = 0; g < 8; ++g) {
            uint32_t pick = random->Next(10);
            if (pick < 7) {
                out[2 * g] = static_cast<uint8_t>(kGroups[pick] >> 8);
                out[2 * g + 1] = static_cast<uint8_t>(kGroups[pick]);
            }
        }
    } else if (shape == 2 || shape == 3) { // mapped or compatible, tail often mostly zero
        memset(out, 0, 12);
        if (shape == 2)
            out[10] = out[11] = 0xFF;
        for (int i = 12; i < 16; ++i)
            if (random->Next(3) == 0)
                out[i] = 0;
    } else if (shape == 4) { // one zero run at a random place
        uint32_t start = random->Next(8);
        uint32_t length = 1 + random->Next(8 - start);
        memset(out + 2 * start, 0, 2 * length);
    }
}

std::string Ntop(int family, const void* bytes) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(family, bytes, text, sizeof text) ? text : "";
}

// One IPv6 address: our text equals inet_ntop's, and that text read by both parsers gives
// the same bytes back (also in upper case).
void CompareV6(const uint8_t bytes[16], int index) {
    KivIpAddr ours(bytes, 16);
    std::string expected = Ntop(AF_INET6, bytes);
    ASSERT_EQ(expected, ours.Text()) << "address " << index;
    std::string upper = expected;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const std::string& text : {expected, upper}) {
        uint8_t theirs[16];
        ASSERT_EQ(1, inet_pton(AF_INET6, text.c_str(), theirs)) << text;
        KivIpAddr parsed;
        ASSERT_EQ(1, parsed.ParseV6(text.c_str())) << text;
        ASSERT_EQ(0, memcmp(theirs, parsed.Bytes(), 16)) << text;
        ASSERT_EQ(0, memcmp(bytes, parsed.Bytes(), 16)) << text;
    }
}

TEST(KivIpAddrDifferential, Ipv6EveryRunShape) {
    // Groups from {0, 1, ffff, 0102} in all 4^8 combinations: every placement of zero
    // runs, mapped and compatible forms included.
    static const unsigned kValues[] = {0, 1, 0xFFFF, 0x102};
    for (int code = 0; code < 65536; ++code) {
        uint8_t bytes[16];
        for (int g = 0, c = code; g < 8; ++g, c /= 4) {
            bytes[2 * g] = static_cast<uint8_t>(kValues[c % 4] >> 8);
            bytes[2 * g + 1] = static_cast<uint8_t>(kValues[c % 4]);
        }
        CompareV6(bytes, code);
        if (HasFatalFailure())
            return;
    }
}

TEST(KivIpAddrDifferential, Ipv6Random) {
    Random random;
    for (int i = 0; i < kRandomV6; ++i) {
        uint8_t bytes[16];
        MakeV6(&random, bytes);
        CompareV6(bytes, i);
        if (HasFatalFailure())
            return;
    }
}

TEST(KivIpAddrDifferential, Ipv4Random) {
    Random random;
    for (int i = 0; i < kRandomV4; ++i) {
        uint8_t bytes[4];
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random.Next(4) == 0 ? 0 : random.Next(256));
        std::string expected = Ntop(AF_INET, bytes);
        KivIpAddr ours(bytes, 4);
        ASSERT_EQ(expected, ours.Text()) << i;
        uint8_t theirs[4];
        ASSERT_EQ(1, inet_pton(AF_INET, expected.c_str(), theirs));
        KivIpAddr parsed;
        ASSERT_EQ(1, parsed.ParseV4(expected.c_str())) << expected;
        ASSERT_EQ(0, memcmp(theirs, parsed.Bytes(), 4)) << expected;
    }
}

// The C library refuses leading zeros in a dotted part and more than four digits in a
// group; we read both (decimal, and the group's value). Texts with such parts are left
// out of the comparison; KivIpAddrTest.cpp pins what we do with them.
bool HasLeadingZeroParts(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        if (!isxdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && isxdigit(static_cast<unsigned char>(text[i])))
            ++i;
        bool dotted = (start > 0 && text[start - 1] == '.') || (i < text.size() && text[i] == '.');
        if (i - start > 4 || (dotted && i - start > 1 && text[start] == '0'))
            return true;
    }
    return false;
}

TEST(KivIpAddrDifferential, MutatedTextsAcceptedAlike) {
    static const char kAlphabet[] = "0123456789abcdefABCDEF:.g ";
    Random random;
    int compared = 0;
    for (int i = 0; i < kMutations; ++i) {
        std::string text;
        bool v6 = random.Next(2) == 0;
        if (v6) {
            uint8_t bytes[16];
            MakeV6(&random, bytes);
            text = Ntop(AF_INET6, bytes);
        } else {
            uint8_t bytes[4];
            for (uint8_t& b : bytes)
                b = static_cast<uint8_t>(random.Next(256));
            text = Ntop(AF_INET, bytes);
        }
        for (uint32_t edits = 1 + random.Next(3); edits > 0; --edits) {
            size_t at = random.Next(static_cast<uint32_t>(text.size() + 1));
            char c = kAlphabet[random.Next(sizeof kAlphabet - 1)];
            switch (random.Next(3)) {
            case 0:
                text.insert(at, 1, c);
                break;
            case 1:
                if (at < text.size())
                    text.erase(at, 1);
                break;
            default:
                if (at < text.size())
                    text[at] = c;
                break;
            }
        }
        if (HasLeadingZeroParts(text))
            continue;
        ++compared;
        uint8_t theirs[16];
        int family = v6 ? AF_INET6 : AF_INET;
        int expected = inet_pton(family, text.c_str(), theirs);
        KivIpAddr ours;
        int result = v6 ? ours.ParseV6(text.c_str()) : ours.ParseV4(text.c_str());
        ASSERT_EQ(expected, result) << "case " << i << ": \"" << text << "\"";
        if (expected == 1) {
            ASSERT_EQ(0, memcmp(theirs, ours.Bytes(), v6 ? 16 : 4)) << text;
        }
    }
    EXPECT_GT(compared, kMutations / 2);
}

} // namespace

#endif // _WIN32

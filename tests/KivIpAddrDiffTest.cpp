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

// Raw engine output only: distributions differ between standard libraries.
struct Random {
    std::mt19937 engine{20240611};
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
        memset(out + 2 * start, 0, 2 * (1 + random->Next(8 - start)));
    }
}

void MakeV4(Random* random, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(random->Next(4) == 0 ? 0 : random->Next(256));
}

std::string Ntop(int family, const void* bytes) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(family, bytes, text, sizeof text) ? text : "";
}

// One address: our text equals inet_ntop's, and that text (also in upper case) read by
// both parsers gives the same bytes back.
void Compare(const uint8_t* bytes, uint32_t length) {
    const int family = length == 4 ? AF_INET : AF_INET6;
    const std::string expected = Ntop(family, bytes);
    ASSERT_EQ(expected, KivIpAddr(bytes, length).Text());
    std::string upper = expected;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const std::string& text : {expected, upper}) {
        uint8_t theirs[16];
        KivIpAddr parsed;
        ASSERT_EQ(1, inet_pton(family, text.c_str(), theirs)) << text;
        ASSERT_EQ(1, length == 4 ? parsed.ParseV4(text.c_str()) : parsed.ParseV6(text.c_str()))
            << text;
        ASSERT_EQ(0, memcmp(theirs, parsed.Bytes(), length)) << text;
        ASSERT_EQ(0, memcmp(bytes, parsed.Bytes(), length)) << text;
    }
}

TEST(KivIpAddrDifferential, TextForms) {
    // Groups from {0, 1, ffff, 0102} in all 4^8 combinations: every placement of zero
    // runs, mapped and compatible forms included.
    static const unsigned kValues[] = {0, 1, 0xFFFF, 0x102};
    for (int code = 0; code < 65536; ++code) {
        uint8_t bytes[16];
        for (int g = 0, c = code; g < 8; ++g, c /= 4) {
            bytes[2 * g] = static_cast<uint8_t>(kValues[c % 4] >> 8);
            bytes[2 * g + 1] = static_cast<uint8_t>(kValues[c % 4]);
        }
        ASSERT_NO_FATAL_FAILURE(Compare(bytes, 16)) << "code " << code;
    }
    Random random;
    for (int i = 0; i < 100000; ++i) {
        uint8_t v6[16], v4[4];
        MakeV6(&random, v6);
        ASSERT_NO_FATAL_FAILURE(Compare(v6, 16)) << "address " << i;
        MakeV4(&random, v4);
        ASSERT_NO_FATAL_FAILURE(Compare(v4, 4)) << "address " << i;
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
    const int kMutations = 100000;
    Random random;
    int compared = 0;
    for (int i = 0; i < kMutations; ++i) {
        const bool v6 = random.Next(2) == 0;
        uint8_t bytes[16];
        if (v6)
            MakeV6(&random, bytes);
        else
            MakeV4(&random, bytes);
        std::string text = Ntop(v6 ? AF_INET6 : AF_INET, bytes);
        for (uint32_t edits = 1 + random.Next(3); edits > 0; --edits) {
            size_t at = random.Next(static_cast<uint32_t>(text.size() + 1));
            char c = kAlphabet[random.Next(sizeof kAlphabet - 1)];
            uint32_t kind = random.Next(3);
            if (kind == 0)
                text.insert(at, 1, c);
            else if (at < text.size())
                kind == 1 ? text.erase(at, 1) : text.replace(at, 1, 1, c);
        }
        if (HasLeadingZeroParts(text))
            continue;
        ++compared;
        uint8_t theirs[16];
        const int expected = inet_pton(v6 ? AF_INET6 : AF_INET, text.c_str(), theirs);
        KivIpAddr ours;
        ASSERT_EQ(expected, v6 ? ours.ParseV6(text.c_str()) : ours.ParseV4(text.c_str()))
            << "case " << i << ": \"" << text << "\"";
        ASSERT_TRUE(expected != 1 || memcmp(theirs, ours.Bytes(), v6 ? 16 : 4) == 0) << text;
    }
    EXPECT_GT(compared, kMutations / 2);
}

} // namespace

#endif // _WIN32

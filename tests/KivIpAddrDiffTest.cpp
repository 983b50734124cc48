// Differential tests against the C library's inet_ntop/inet_pton. Only where there is a C
// library to compare with; the Windows build runs the tables of KivIpAddrTest.cpp.
#ifndef _WIN32

#include "net/KivIpAddr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <regex>
#include <string>

namespace {

// Raw engine output only: distributions differ between standard libraries.
struct Random {
    std::mt19937 engine{20240611};
    uint32_t Next(uint32_t bound) { return static_cast<uint32_t>(engine() % bound); }
};

// Groups from {0, 1, ffff, 0102} by the digits of `code` in base 4: each of the 4^8 codes
// places zero runs, mapped and compatible forms differently.
void ShapeV6(uint32_t code, uint8_t out[16]) {
    static const unsigned kValues[] = {0, 1, 0xFFFF, 0x102};
    for (int g = 0; g < 8; ++g, code /= 4) {
        out[2 * g] = static_cast<uint8_t>(kValues[code % 4] >> 8);
        out[2 * g + 1] = static_cast<uint8_t>(kValues[code % 4]);
    }
}

// A random shape with about a quarter of its bytes replaced by random ones.
void MakeV6(Random* random, uint8_t out[16]) {
    ShapeV6(random->Next(65536), out);
    for (int i = 0; i < 16; ++i)
        if (random->Next(4) == 0)
            out[i] = static_cast<uint8_t>(random->Next(256));
}

void MakeV4(Random* random, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(random->Next(4) == 0 ? 0 : random->Next(256));
}

std::string Ntop(int family, const void* bytes) {
    char text[INET6_ADDRSTRLEN];
    return inet_ntop(family, bytes, text, sizeof text) ? text : "";
}

// One address: our text equals inet_ntop's, and reading it back (also in upper case)
// gives the same bytes.
void Compare(const uint8_t* bytes, uint32_t length) {
    const int family = length == 4 ? AF_INET : AF_INET6;
    const std::string expected = Ntop(family, bytes);
    ASSERT_EQ(expected, KivIpAddr(bytes, length).Text());
    std::string upper = expected;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const std::string& text : {expected, upper}) {
        KivIpAddr parsed;
        ASSERT_EQ(1, length == 4 ? parsed.ParseV4(text.c_str()) : parsed.ParseV6(text.c_str()))
            << text;
        ASSERT_EQ(0, memcmp(bytes, parsed.Bytes(), length)) << text;
    }
}

TEST(KivIpAddrDifferential, TextForms) {
    for (uint32_t code = 0; code < 65536; ++code) {
        uint8_t bytes[16];
        ShapeV6(code, bytes);
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
const std::regex
    kLeadingZeroParts("[[:xdigit:]]{5}|\\.0[[:xdigit:]]|(^|[^[:xdigit:]])0[[:xdigit:]]+\\.");

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
        if (std::regex_search(text, kLeadingZeroParts))
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

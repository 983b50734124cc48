// Differential tests against the C library's inet_ntop/inet_pton (the fuzz harness compares
// mutated texts). Only where there is a C
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

} // namespace

#endif // _WIN32

// Both text forms against the C library's inet_ntop/inet_pton, where there is one to
// compare with; the Windows build runs the tables of KivIpAddrTest.cpp.
#ifndef _WIN32

#include "net/KivIpAddr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

namespace {

// Our text equals inet_ntop's, and reading it back (also in upper case) gives the bytes.
void Compare(const uint8_t* bytes, uint32_t length) {
    char text[INET6_ADDRSTRLEN];
    ASSERT_TRUE(inet_ntop(length == 4 ? AF_INET : AF_INET6, bytes, text, sizeof text));
    ASSERT_STREQ(text, KivIpAddr(bytes, length).Text());
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const std::string& form : {std::string(text), upper}) {
        KivIpAddr parsed;
        ASSERT_EQ(1, length == 4 ? parsed.ParseV4(form.c_str()) : parsed.ParseV6(form.c_str()))
            << form;
        ASSERT_EQ(0, memcmp(bytes, parsed.Bytes(), length)) << form;
    }
}

// Groups from {0, 1, ffff, 0102} by the base-4 digits of a code: the 4^8 codes place
// zero runs, mapped and compatible forms every way; then random shapes with about a
// quarter of their bytes random (raw engine output: distributions differ between
// standard libraries).
TEST(KivIpAddrDifferential, TextForms) {
    static const unsigned kValues[] = {0, 1, 0xFFFF, 0x102};
    std::mt19937 engine(20240611);
    for (uint32_t i = 0; i < 65536 + 100000; ++i) {
        uint8_t v6[16], v4[4];
        uint32_t code = i < 65536 ? i : engine() % 65536;
        for (int g = 0; g < 8; ++g, code /= 4) {
            v6[2 * g] = static_cast<uint8_t>(kValues[code % 4] >> 8);
            v6[2 * g + 1] = static_cast<uint8_t>(kValues[code % 4]);
        }
        for (int b = 0; i >= 65536 && b < 16; ++b)
            v6[b] = engine() % 4 == 0 ? static_cast<uint8_t>(engine()) : v6[b];
        ASSERT_NO_FATAL_FAILURE(Compare(v6, 16)) << "address " << i;
        for (int b = 0; i >= 65536 && b < 4; ++b)
            v4[b] = engine() % 4 == 0 ? 0 : static_cast<uint8_t>(engine());
        if (i >= 65536) {
            ASSERT_NO_FATAL_FAILURE(Compare(v4, 4)) << "address " << i;
        }
    }
}

} // namespace

#endif // _WIN32

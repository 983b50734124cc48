#include "net/KivIpAddr.h"
#include "TestHelpers.h"

#include "compat/win32.h"

#ifndef _WIN32
#include <arpa/inet.h>
#endif

#include <cstring>

namespace {

// Parse's result, the length and the text; ParseV4's and ParseV6's; IsSet, IsLoopback, IsMapped;
// V4HostValue. Only our departures from the C library's forms (leading zeros, long groups) and
// the queries are here: the differential test and the text harness hold the rest to it.
std::string Facts(const char* text) {
    KivIpAddr a, v4, v6;
    a.SetLoopback6(); // a failed parse must leave the value invalid
    const int parsed = a.Parse(text);
    char facts[96];
    snprintf(facts, sizeof facts, "%d %u %s %d%d %d%d%d %08x", parsed, a.Length(), a.Text(),
             v4.ParseV4(text), v6.ParseV6(text), a.IsSet(), a.IsLoopback(), a.IsMapped(),
             a.V4HostValue());
    return facts;
}

TEST(KivIpAddrText, ParseAndQueryTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"010.02.03.004", "1 4 10.2.3.4 10 100 0a020304"}, // decimal, not octal
        {"1.2.3.00000000000000000256", "0 0  00 000 00000000"},
        {"::01.2.3.4", "1 16 ::1.2.3.4 01 100 00000000"},
        {"00000001::0010", "1 16 1::10 01 100 00000000"},
        {"::10000", "0 0  00 000 00000000"},
        {"::1::2", "0 0  00 000 00000000"}, // a second gap after a leading one
        {"0.0.0.0", "1 4 0.0.0.0 10 000 00000000"},
        {"127.0.0.1", "1 4 127.0.0.1 10 110 7f000001"},
        {"127.0.0.2", "1 4 127.0.0.2 10 100 7f000002"},
        {"::1", "1 16 ::1 01 110 00000000"},
        {"::ffff:127.0.0.1", "1 16 ::ffff:127.0.0.1 01 101 7f000001"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.second, Facts(c.first));
    }
    EXPECT_EQ(0, KivIpAddr().Parse(nullptr));
}

// Each step's result and the text it leaves, always in the buffer Text first gave; copies and
// assigned values have buffers of their own. (ToText's room is the fuzz harness's.)
TEST(KivIpAddrValue, Setters) {
    const uint32_t host = 0x0A000001u;
    KivIpAddr a(0xC0000201u), v6("2001:db8::1"), v4("1.2.3.4"), mapped("1.2.3.4"), invalid;
    const char* text = a.Text();
    KivIpAddr copy(a), assigned("::1");
    assigned.Text();
    assigned = a;
    std::string log = text;
    auto step = [&log](int result, const KivIpAddr& value) {
        log += " " + std::to_string(result) + ":" + value.Text();
    };
    step(a.SetHost(&host, 4), a);
    step(a.SetHost(v6.Bytes(), 16), a); // 16 bytes are taken as they are
    step(a.SetHost(&host, 6), a);
    const KivIpAddr five(&host, 5);
    step(five.Length(), five);
    step(v6.SetV4Host(&host, 16), v6); // another length: refused without a change
    step(v4.SetV6(v6.Bytes(), 4), v4);
    step(v4.SetV6(v6.Bytes(), 16), v4);
    step(mapped.ToMapped(), mapped);
    step(mapped.FromMapped(), mapped);
    step(mapped.FromMapped(), mapped);
    step(v6.ToMapped(), v6); // IPv6 and invalid values stay as they are
    step(invalid.ToMapped(), invalid);
    EXPECT_EQ(text, a.Text());
    log += std::string(" ") + copy.Text() + " " + assigned.Text() + " " + text + "|";
    EXPECT_EQ("192.0.2.1 1:10.0.0.1 1:2001:db8::1 0: 0: 0:2001:db8::1 0:1.2.3.4 1:2001:db8::1 "
              "1:::ffff:1.2.3.4 1:1.2.3.4 0:1.2.3.4 1:2001:db8::1 1: 192.0.2.1 192.0.2.1 |",
              log);
}

// The operators ==, !=, <, >, <=, >= as 1 or 0; IpCompareText agrees by its codes 0-6.
TEST(KivIpAddrValue, ComparisonTable) {
    const char* const cases[][3] = {
        {"::ffff:1.2.3.4", "1.2.3.4", "100011"},
        {"1.2.3.4", "::ffff:1.2.3.5", "011010"},
        {"128.0.0.0", "127.255.255.255", "010101"}, // unsigned numbers
        {"1.2.3.4", "::1.2.3.4", "010000"},         // compatible form is not mapped
        {"::ffff:1.2.3.4", "::1", "010101"},        // two IPv6 values: their bytes
        {"", "", "010000"},                         // two invalid values are not equal
        {"1.2.3.4", "", "010000"},
    };
    FOR_EACH_CASE(c, cases) {
        const KivIpAddr a(c[0]), b(c[1]);
        std::string operators, codes;
        for (bool result : {a == b, a != b, a<b, a> b, a <= b, a >= b})
            operators += result ? '1' : '0';
        for (int op = 0; op <= 6; ++op)
            codes += static_cast<char>('0' + KivIpAddr::IpCompareText(op, c[0], c[1]));
        EXPECT_EQ(c[2], operators);
        EXPECT_EQ("0" + operators.substr(0, 1) + operators.substr(2) + "0", codes);
    }
}

// Built into the platform's layouts, read back by FromSockaddr (which goes by the family).
TEST(KivIpAddrValue, SocketAddresses) {
    uint8_t buffer[64];
    memset(buffer, 0xAB, sizeof buffer);
    const KivIpAddr v4("192.0.2.1"), v6("2001:db8::7");
    KivIpAddr back;
    sockaddr_in in4;
    sockaddr_in6 in6;
    ASSERT_EQ(1, v4.ToSockaddr(buffer, 40, 8080));
    memcpy(&in4, buffer, sizeof in4);
    EXPECT_EQ(htons(8080), in4.sin_port);
    EXPECT_EQ(std::string(32, '\0') + '\xAB', std::string(buffer + 8, buffer + 41)); // to size
    EXPECT_TRUE(back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)) == 1 && back == v4);
    ASSERT_EQ(1, v6.ToSockaddr(buffer, 28, 443));
    memcpy(&in6, buffer, sizeof in6);
    EXPECT_EQ(htons(443), in6.sin6_port);
    EXPECT_EQ(0u, in6.sin6_flowinfo + in6.sin6_scope_id);
    EXPECT_TRUE(back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)) == 1);
    EXPECT_STREQ("2001:db8::7", back.Text());
    // Too small for IPv6, or no address: zeroed and refused.
    memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(0, v6.ToSockaddr(buffer, 27, 443) + KivIpAddr().ToSockaddr(buffer + 32, 16, 1));
    EXPECT_EQ(std::string(27, '\0') + std::string(5, '\xAB') + std::string(16, '\0'),
              std::string(buffer, buffer + 48));
    const sockaddr other = {}; // AF_UNSPEC
    EXPECT_TRUE(back.FromSockaddr(&other) == 0 && back.Length() == 0);
}

// Network-order 32-bit value of a dotted address, and back.
uint32_t Net(const char* text) {
    uint32_t value = 0;
    memcpy(&value, KivIpAddr(text).Bytes(), 4);
    return value;
}

std::string Dotted(uint32_t network) {
    return KivIpAddr(&network, 4).Text();
}

// The IPv4 number forms and the text form on the same ranges.
TEST(KivIpAddrRange, RangeFromPrefix) {
    struct Case {
        const char* address;
        uint32_t prefix;
        const char* range; // " ": refused
    } const cases[] = {
        {"192.168.5.7", 0, "0.0.0.0 255.255.255.255"},
        {"192.168.5.7", 100, "192.168.5.7 192.168.5.7"}, // bits past 32 do nothing
        {"10.1.47.9", 20, "10.1.32.0 10.1.47.255"},
        {"2001:db8:1:2::1", 52, "2001:db8:1:: 2001:db8:1:fff:ffff:ffff:ffff:ffff"},
        {"::3", 129, " "},
        {"1.2.3.4", 129, " "},
        {"bogus", 8, " "},
    };
    FOR_EACH_CASE(c, cases) {
        char first[64] = "old", last[64] = "old";
        EXPECT_EQ(c.range[0] != ' ',
                  KivIpAddr::IpRangeTextFromPrefix(c.address, c.prefix, first, sizeof first, last,
                                                   sizeof last) == 1);
        EXPECT_EQ(c.range, std::string(first) + " " + last);
        uint32_t low = 1, high = 1;
        if (KivIpAddr(c.address).Length() == 4) {
            ASSERT_EQ(1, KivIpAddr::Ipv4RangeFromPrefix(Net(c.address), c.prefix, &low, &high));
            EXPECT_EQ(c.prefix > 128 ? std::string(c.address) + " " + c.address : c.range,
                      Dotted(low) + " " + Dotted(high));
        }
    }
    EXPECT_EQ(0, KivIpAddr::Ipv4RangeFromPrefix(0, 8, nullptr, nullptr));
    char first[64], last[8]; // the last text does not fit: the whole call fails
    EXPECT_EQ(
        0, KivIpAddr::IpRangeTextFromPrefix("10.0.0.0", 8, first, sizeof first, last, sizeof last));
    KivIpAddr a("10.20.30.40"), b; // the outputs may be the address itself
    ASSERT_EQ(1, KivIpAddr::IpRangeFromPrefix(a, 8, &a, &b));
    EXPECT_EQ("10.0.0.0 10.255.255.255", std::string(a.Text()) + " " + b.Text());
    EXPECT_EQ(0, KivIpAddr::IpRangeFromPrefix(KivIpAddr(), 8, &a, &b));
}

// The text form's result, prefix and text (the first address as given, not masked); for
// IPv4 pairs the number form agrees.
TEST(KivIpAddrRange, PrefixFromRange) {
    const char* const cases[][3] = {
        {"10.0.0.0", "10.0.0.255", "1 24 10.0.0.0"},
        {"10.0.0.1", "10.0.0.255", "0 24 10.0.0.1"},
        {"10.0.0.0", "10.0.1.254", "0 23 10.0.0.0"},
        {"128.0.0.0", "0.0.0.0", "0 0 128.0.0.0"}, // reversed
        {"2001:db8::", "2001:db8::ffff", "1 112 2001:db8::"},
        {"2001:db8::", "2001:db8::fffe", "0 112 2001:db8::"},
        {"1.2.3.4", "::ffff:1.2.3.4", "0 99 "}, // different families
        {"x", "1.2.3.4", "0 99 "},
    };
    FOR_EACH_CASE(c, cases) {
        char text[64] = "old";
        uint32_t prefix = 99, network = 1, numberPrefix = 99;
        const int result =
            KivIpAddr::IpPrefixTextFromRangeText(c[0], c[1], text, sizeof text, &prefix);
        EXPECT_EQ(c[2], std::to_string(result) + " " + std::to_string(prefix) + " " + text);
        const KivIpAddr first(c[0]), last(c[1]);
        if (first.Length() == 4 && last.Length() == 4) {
            EXPECT_EQ(result, KivIpAddr::Ipv4PrefixFromRange(Net(c[0]), Net(c[1]), &network,
                                                             &numberPrefix));
            EXPECT_EQ(prefix, numberPrefix);
            KivIpAddr masked, unused;
            KivIpAddr::IpRangeFromPrefix(first, numberPrefix, &masked, &unused);
            EXPECT_EQ(masked.Text(), Dotted(network));
        }
    }
    uint32_t prefix = 99, mixed = 99; // two invalid values agree over all of their zero bits
    EXPECT_EQ(1, KivIpAddr::IpPrefixFromRange(KivIpAddr(), KivIpAddr(), &prefix));
    EXPECT_EQ(0, KivIpAddr::IpPrefixFromRange(KivIpAddr(), KivIpAddr("1.2.3.4"), &mixed));
    EXPECT_EQ("0 99", std::to_string(prefix) + " " + std::to_string(mixed));
    char small[9] = "xy";
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small + 1, 0,
                                                      &prefix)); // no room: not even emptied
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small, 8, &prefix));
    EXPECT_EQ(24u, prefix);
    EXPECT_EQ(std::string("\0y", 2), std::string(small, 2));
}

// Network-order bytes out, the needed size reported when the buffer is too small; the
// IPv6 pair reads back, and an IPv4 pair is read as two host-order numbers.
TEST(KivIpAddrRange, BinaryForms) {
    uint8_t buffer[40];
    uint32_t size = 7, prefix = 0;
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("10.1.2.3", 24, buffer, &size));
    EXPECT_EQ(8u, size);
    ASSERT_EQ(1, KivIpAddr::IpRangeBinaryFromPrefix("10.1.2.3", 24, buffer, &size));
    EXPECT_EQ(std::string("\x0A\x01\x02\x00\x0A\x01\x02\xFF", 8), std::string(buffer, buffer + 8));
    size = 31;
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("2001:db8::5", 126, buffer, &size));
    EXPECT_EQ(32u, size);
    ASSERT_EQ(1, KivIpAddr::IpRangeBinaryFromPrefix("2001:db8::5", 126, buffer, &size));
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("nope", 8, buffer, &size));
    const uint32_t pair[2] = {0x0A000000u, 0x0A0000FFu}, loose[2] = {0x0A000001u, 0x0A0000FFu};
    const std::pair<const void*, uint32_t> cases[] = {
        {buffer, 32}, {pair, 8}, {loose, 8}, {buffer, 16}};
    std::string log;
    for (const auto& c : cases) {
        char text[64] = "";
        const int result =
            KivIpAddr::IpPrefixTextFromRangeBinary(c.first, c.second, text, sizeof text, &prefix);
        log += std::to_string(result) + ":" + text + "/" + std::to_string(prefix) + " ";
    }
    EXPECT_EQ("1:2001:db8::4/126 1:10.0.0.0/24 0:10.0.0.1/24 0:/24 ", log);
}

#ifndef _WIN32
// Our text equals inet_ntop's, and reading it back gives the bytes (other spellings, such as
// upper case, are the text harness's: it holds parsing to inet_pton).
void Compare(const uint8_t* bytes, uint32_t length) {
    char text[INET6_ADDRSTRLEN];
    ASSERT_TRUE(inet_ntop(length == 4 ? AF_INET : AF_INET6, bytes, text, sizeof text));
    ASSERT_STREQ(text, KivIpAddr(bytes, length).Text());
    KivIpAddr parsed;
    ASSERT_EQ(1, length == 4 ? parsed.ParseV4(text) : parsed.ParseV6(text)) << text;
    ASSERT_EQ(0, memcmp(bytes, parsed.Bytes(), length)) << text;
}

// Groups from {0, 1, ffff, 0102} by the base-4 digits of a code: the 4^8 codes place zero runs,
// mapped and compatible forms every way.
TEST(KivIpAddrDifferential, TextForms) {
    static const unsigned kValues[] = {0, 1, 0xFFFF, 0x102};
    for (uint32_t code = 0; code < 65536; ++code) {
        uint8_t v6[16];
        for (uint32_t g = 0, digits = code; g < 8; ++g, digits /= 4) {
            v6[2 * g] = static_cast<uint8_t>(kValues[digits % 4] >> 8);
            v6[2 * g + 1] = static_cast<uint8_t>(kValues[digits % 4]);
        }
        ASSERT_NO_FATAL_FAILURE(Compare(v6, 16)) << "address " << code;
    }
    const uint8_t v4[] = {192, 0, 2, 255};
    Compare(v4, 4);
}

#endif // _WIN32

} // namespace

#include "net/KivIpAddr.h"
#include "TestHelpers.h"

#include "compat/win32.h"

#include <cstring>
#include <string>

namespace {

// KivIpAddrDiffTest.cpp holds the text forms to the C library's; these are the texts
// where this parser departs from it (leading zeros, long groups), for the Windows build too.
TEST(KivIpAddrText, ParseAndPrintTable) {
    struct Case {
        const char* input;
        uint32_t length; // 0: refused
        const char* text;
    } const cases[] = {
        {"010.02.03.004", 4, "10.2.3.4"}, // decimal, not octal
        {"1.2.3.00000000000000000256", 0, ""},
        {"::01.2.3.4", 16, "::1.2.3.4"},
        {"00000001::0010", 16, "1::10"},
        {"1:2:3:4:5:6:7::8", 0, ""}, // "::" must stand for at least one group
        {"::10000", 0, ""},
    };
    FOR_EACH_CASE(c, cases) {
        KivIpAddr address, v4, v6;
        address.SetLoopback6(); // a failed parse must leave the value invalid
        EXPECT_EQ(c.length != 0, address.Parse(c.input) == 1);
        ASSERT_EQ(c.length, address.Length());
        EXPECT_STREQ(c.text, address.Text());
        EXPECT_EQ(c.length == 4, v4.ParseV4(c.input) == 1); // one form only
        EXPECT_EQ(c.length == 16, v6.ParseV6(c.input) == 1);
    }
    EXPECT_EQ(0, KivIpAddr().Parse(nullptr));
}

// ToText's room is the fuzz harness's; Text follows the value, and copies and assigned
// values do not share its buffer.
TEST(KivIpAddrText, TheTextBuffer) {
    KivIpAddr address("255.255.255.255");
    char buffer[8] = "x";
    EXPECT_EQ(0, KivIpAddr().ToText(buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    const char* text = address.Text();
    KivIpAddr copy(address), assigned("::1");
    assigned.Text();
    assigned = address;
    address.SetLoopback4();
    EXPECT_EQ(text, address.Text());
    EXPECT_EQ("127.0.0.1 255.255.255.255 255.255.255.255",
              std::string(text) + " " + copy.Text() + " " + assigned.Text());
}

TEST(KivIpAddrValue, QueriesTable) {
    struct Case {
        const char* text;
        int set, loopback, mapped;
        uint32_t v4Host;
    } const cases[] = {
        {"0.0.0.0", 0, 0, 0, 0},
        {"127.0.0.1", 1, 1, 0, 0x7F000001u},
        {"127.0.0.2", 1, 0, 0, 0x7F000002u},
        {"::1", 1, 1, 0, 0},
        {"::ffff:127.0.0.1", 1, 0, 1, 0x7F000001u},
        {"", 0, 0, 0, 0},
    };
    FOR_EACH_CASE(c, cases) {
        const KivIpAddr a(c.text);
        EXPECT_EQ(c.set, a.IsSet());
        EXPECT_EQ(c.loopback, a.IsLoopback());
        EXPECT_EQ(c.mapped, a.IsMapped());
        EXPECT_EQ(c.v4Host, a.V4HostValue());
    }
}

TEST(KivIpAddrValue, Setters) {
    const uint32_t host = 0x0A000001u;
    KivIpAddr a(0xC0000201u), v6("2001:db8::1"), v4("1.2.3.4"), invalid;
    EXPECT_STREQ("192.0.2.1", a.Text());
    EXPECT_EQ(1, a.SetHost(&host, 4));
    EXPECT_STREQ("10.0.0.1", a.Text());
    EXPECT_EQ(1, a.SetHost(v6.Bytes(), 16)); // 16 bytes are taken as they are
    EXPECT_TRUE(a == v6);
    EXPECT_EQ(0, a.SetHost(&host, 6));
    EXPECT_EQ(0u, a.Length() + KivIpAddr(&host, 5).Length());
    // SetV4Host and SetV6 refuse another length without a change.
    EXPECT_EQ(0, v6.SetV4Host(&host, 16));
    EXPECT_EQ(0, v4.SetV6(v6.Bytes(), 4));
    EXPECT_EQ("2001:db8::1 1.2.3.4", std::string(v6.Text()) + " " + v4.Text());
    EXPECT_EQ(1, v4.SetV6(v6.Bytes(), 16));
    EXPECT_TRUE(v4 == v6);
    // Mapping: IPv4 there and back; IPv6 and invalid values stay as they are.
    KivIpAddr mapped("1.2.3.4");
    EXPECT_EQ(1, mapped.ToMapped());
    EXPECT_STREQ("::ffff:1.2.3.4", mapped.Text());
    EXPECT_EQ(1, mapped.FromMapped());
    EXPECT_STREQ("1.2.3.4", mapped.Text());
    EXPECT_EQ(0, mapped.FromMapped());
    EXPECT_EQ(2, v6.ToMapped() + invalid.ToMapped());
    EXPECT_EQ("2001:db8::1 ", std::string(v6.Text()) + " " + invalid.Text());
}

TEST(KivIpAddrValue, ComparisonTable) {
    struct Case {
        const char *a, *b;
        int order; // -1, 0, 1, or 2 for a pair without order
    } const cases[] = {
        {"::ffff:1.2.3.4", "1.2.3.4", 0},
        {"1.2.3.4", "::ffff:1.2.3.5", -1},
        {"128.0.0.0", "127.255.255.255", 1}, // unsigned numbers
        {"1.2.3.4", "::1.2.3.4", 2},         // compatible form is not mapped
        {"::ffff:1.2.3.4", "::1", 1},        // two IPv6 values: their bytes
        {"", "", 2},                         // two invalid values are not equal
        {"1.2.3.4", "", 2},
    };
    // The operators as '1'/'0' for ==, !=, <, >, <=, >=; IpCompareText by its codes 0-6.
    const char* const expected[] = {"011010", "100011", "010101", "010000"};
    FOR_EACH_CASE(c, cases) {
        const KivIpAddr a(c.a), b(c.b);
        std::string operators, codes;
        for (bool result : {a == b, a != b, a<b, a> b, a <= b, a >= b})
            operators += result ? '1' : '0';
        for (int op = 0; op <= 6; ++op)
            codes += static_cast<char>('0' + KivIpAddr::IpCompareText(op, c.a, c.b));
        EXPECT_EQ(expected[c.order + 1], operators);
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
    EXPECT_EQ(1, back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)));
    EXPECT_TRUE(back == v4);
    ASSERT_EQ(1, v6.ToSockaddr(buffer, 28, 443));
    memcpy(&in6, buffer, sizeof in6);
    EXPECT_EQ(htons(443), in6.sin6_port);
    EXPECT_EQ(0u, in6.sin6_flowinfo + in6.sin6_scope_id);
    EXPECT_EQ(1, back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)));
    EXPECT_STREQ("2001:db8::7", back.Text());
    // Too small for IPv6, or no address: zeroed and refused.
    memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(0, v6.ToSockaddr(buffer, 27, 443) + KivIpAddr().ToSockaddr(buffer + 32, 16, 1));
    EXPECT_EQ(std::string(27, '\0') + std::string(5, '\xAB') + std::string(16, '\0'),
              std::string(buffer, buffer + 48));
    sockaddr other = {};
    other.sa_family = AF_UNSPEC;
    EXPECT_EQ(0, back.FromSockaddr(&other));
    EXPECT_EQ(0u, back.Length());
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
        const char *first, *last; // "": refused
    } const cases[] = {
        {"192.168.5.7", 0, "0.0.0.0", "255.255.255.255"},
        {"192.168.5.7", 100, "192.168.5.7", "192.168.5.7"}, // bits past 32 do nothing
        {"10.1.47.9", 20, "10.1.32.0", "10.1.47.255"},
        {"2001:db8:1:2::1", 52, "2001:db8:1::", "2001:db8:1:fff:ffff:ffff:ffff:ffff"},
        {"::3", 129, "", ""},
        {"1.2.3.4", 129, "", ""},
        {"bogus", 8, "", ""},
    };
    FOR_EACH_CASE(c, cases) {
        char first[64] = "old", last[64] = "old";
        EXPECT_EQ(c.first[0] != '\0',
                  KivIpAddr::IpRangeTextFromPrefix(c.address, c.prefix, first, sizeof first, last,
                                                   sizeof last) == 1);
        EXPECT_EQ(std::string(c.first) + " " + c.last, std::string(first) + " " + last);
        uint32_t firstNumber = 1, lastNumber = 1;
        if (KivIpAddr(c.address).Length() == 4) {
            ASSERT_EQ(1, KivIpAddr::Ipv4RangeFromPrefix(Net(c.address), c.prefix, &firstNumber,
                                                        &lastNumber));
            const std::string range = c.prefix > 128 ? std::string(c.address) + " " + c.address
                                                     : std::string(c.first) + " " + c.last;
            EXPECT_EQ(range, Dotted(firstNumber) + " " + Dotted(lastNumber));
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

TEST(KivIpAddrRange, PrefixFromRange) {
    struct Case {
        const char *first, *last;
        int result;
        uint32_t prefix;
        const char* text; // the first address as given, not masked
    } const cases[] = {
        {"10.0.0.0", "10.0.0.255", 1, 24, "10.0.0.0"},
        {"10.0.0.1", "10.0.0.255", 0, 24, "10.0.0.1"},
        {"10.0.0.0", "10.0.1.254", 0, 23, "10.0.0.0"},
        {"128.0.0.0", "0.0.0.0", 0, 0, "128.0.0.0"}, // reversed
        {"2001:db8::", "2001:db8::ffff", 1, 112, "2001:db8::"},
        {"2001:db8::", "2001:db8::fffe", 0, 112, "2001:db8::"},
        {"1.2.3.4", "::ffff:1.2.3.4", 0, 99, ""}, // different families
        {"x", "1.2.3.4", 0, 99, ""},
    };
    FOR_EACH_CASE(c, cases) {
        char text[64] = "old";
        uint32_t prefix = 99;
        EXPECT_EQ(c.result, KivIpAddr::IpPrefixTextFromRangeText(c.first, c.last, text, sizeof text,
                                                                 &prefix));
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ(c.prefix, prefix);
        const KivIpAddr first(c.first), last(c.last);
        if (first.Length() == 4 && last.Length() == 4) {
            uint32_t network = 1, numberPrefix = 99;
            EXPECT_EQ(c.result, KivIpAddr::Ipv4PrefixFromRange(Net(c.first), Net(c.last), &network,
                                                               &numberPrefix));
            EXPECT_EQ(c.prefix, numberPrefix);
            KivIpAddr masked, unused;
            KivIpAddr::IpRangeFromPrefix(first, numberPrefix, &masked, &unused);
            EXPECT_STREQ(masked.Text(), Dotted(network).c_str());
        }
    }
    // Two invalid values agree over all of their zero bits.
    uint32_t prefix = 99;
    EXPECT_EQ(1, KivIpAddr::IpPrefixFromRange(KivIpAddr(), KivIpAddr(), &prefix));
    EXPECT_EQ(0u, prefix);
    prefix = 99;
    EXPECT_EQ(0, KivIpAddr::IpPrefixFromRange(KivIpAddr(), KivIpAddr("1.2.3.4"), &prefix));
    EXPECT_EQ(99u, prefix);
    char small[9] = "xy";
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small + 1, 0,
                                                      &prefix)); // no room: not even emptied
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small, 8, &prefix));
    EXPECT_EQ(24u, prefix);
    EXPECT_EQ(std::string("\0y", 2), std::string(small, 2));
}

TEST(KivIpAddrRange, BinaryForms) {
    // Network-order bytes out; the needed size reported when the buffer is too small.
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
    // The IPv6 pair reads back; an IPv4 pair is two host-order numbers.
    char text[64];
    EXPECT_EQ(1, KivIpAddr::IpPrefixTextFromRangeBinary(buffer, 32, text, sizeof text, &prefix));
    EXPECT_EQ("2001:db8::4/126", text + ("/" + std::to_string(prefix)));
    const uint32_t pair[2] = {0x0A000000u, 0x0A0000FFu}, loose[2] = {0x0A000001u, 0x0A0000FFu};
    EXPECT_EQ(1, KivIpAddr::IpPrefixTextFromRangeBinary(pair, 8, text, sizeof text, &prefix));
    EXPECT_EQ("10.0.0.0/24", text + ("/" + std::to_string(prefix)));
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeBinary(loose, 8, text, sizeof text, &prefix));
    EXPECT_STREQ("10.0.0.1", text);
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeBinary(buffer, 16, text, sizeof text, &prefix));
}

} // namespace

#include "net/KivIpAddr.h"

#include "compat/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

namespace {

struct TextCase {
    const char* input;
    uint32_t length; // 0: refused
    const char* text;
};

// Parsing and printing together: every accepted input must print as `text`, and that text
// must read back to the same bytes.
const TextCase kTextCases[] = {
    {"1.2.3.4", 4, "1.2.3.4"},
    {"01.02.03.004", 4, "1.2.3.4"},
    {"010.0.0.1", 4, "10.0.0.1"}, // decimal, not octal
    {"1.2.3.0000000000000000255", 4, "1.2.3.255"},
    {"0.0.0.0", 4, "0.0.0.0"},
    {"255.255.255.255", 4, "255.255.255.255"},
    {"1.2.3.256", 0, ""},
    {"1.2.3.00000000000000000256", 0, ""},
    {"1.2.3", 0, ""},
    {"1.2.3.4.5", 0, ""},
    {"1..2.3", 0, ""},
    {" 1.2.3.4", 0, ""},
    {"1.2.3.4 ", 0, ""},
    {"1.2.3.4.", 0, ""},
    {"1.2.3.-4", 0, ""},
    {"0x1.2.3.4", 0, ""},
    {"", 0, ""},
    {"::", 16, "::"},
    {"::1", 16, "::1"},
    {"::0.0.0.1", 16, "::1"},
    {"::ffff:1.2.3.4", 16, "::ffff:1.2.3.4"},
    {"::FFFF:1.2.3.4", 16, "::ffff:1.2.3.4"},
    {"::ffff:0:0", 16, "::ffff:0.0.0.0"},
    {"::ffff:0", 16, "::255.255.0.0"}, // six zero groups: dotted tail
    {"::ffff", 16, "::ffff"},          // seven zero groups: plain
    {"::1:0", 16, "::0.1.0.0"},
    {"0:0:0:0:0:0:1.2.3.4", 16, "::1.2.3.4"},
    {"::1:ffff:102:304", 16, "::1:ffff:102:304"}, // not mapped: no dotted tail
    {"1:2:3:4:5:6:1.2.3.4", 16, "1:2:3:4:5:6:102:304"},
    {"1::1.2.3.4", 16, "1::102:304"},
    {"::01.2.3.4", 16, "::1.2.3.4"},
    {"2001:db8:0:0:1:0:0:1", 16, "2001:db8::1:0:0:1"}, // first of two equal runs
    {"1:0:0:2:0:0:0:3", 16, "1:0:0:2::3"},             // the longer run wins
    {"1:0:2:3:4:5:6:7", 16, "1:0:2:3:4:5:6:7"},        // one zero group stays
    {"1::", 16, "1::"},
    {"ABCD:EF01::", 16, "abcd:ef01::"},
    {"00000001::0010", 16, "1::10"},
    {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 16, "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    {":1::", 0, ""},
    {"1::2:", 0, ""},
    {":::", 0, ""},
    {"1:::2", 0, ""},
    {"1::2::3", 0, ""},
    {"1:2:3:4:5:6:7", 0, ""},
    {"1:2:3:4:5:6:7:8:9", 0, ""},
    {"1:2:3:4:5:6:7::8", 0, ""}, // "::" must stand for at least one group
    {"::10000", 0, ""},
    {"::1.2.3", 0, ""},
    {"1:2:3:4:5:6:7:1.2.3.4", 0, ""},
    {"::1.2.3.4:5", 0, ""},
    {"::1a.2.3.4", 0, ""},
    {"g::", 0, ""},
    {"::1 ", 0, ""},
};

TEST(KivIpAddrText, ParseAndPrintTable) {
    for (size_t i = 0; i < sizeof kTextCases / sizeof kTextCases[0]; ++i) {
        const TextCase& c = kTextCases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.input);
        KivIpAddr address;
        address.SetLoopback6(); // a failed parse must leave the value invalid
        EXPECT_EQ(c.length != 0, address.Parse(c.input) == 1);
        ASSERT_EQ(c.length, address.Length());
        EXPECT_STREQ(c.text, address.Text());
        // One form only: the other parser refuses the text.
        KivIpAddr v4;
        KivIpAddr v6;
        EXPECT_EQ(c.length == 4, v4.ParseV4(c.input) == 1);
        EXPECT_EQ(c.length == 16, v6.ParseV6(c.input) == 1);
        if (c.length != 0) {
            KivIpAddr again(c.text);
            ASSERT_EQ(c.length, again.Length());
            EXPECT_EQ(0, memcmp(address.Bytes(), again.Bytes(), 16));
        }
    }
    KivIpAddr none;
    EXPECT_EQ(0, none.Parse(nullptr));
}

TEST(KivIpAddrText, ToTextNeedsRoomForTerminator) {
    KivIpAddr address("255.255.255.255");
    char buffer[32];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(0, address.ToText(buffer, 15));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ('x', buffer[1]); // nothing but the emptying was written
    EXPECT_EQ(1, address.ToText(buffer, 16));
    EXPECT_STREQ("255.255.255.255", buffer);

    KivIpAddr invalid;
    EXPECT_EQ(0, invalid.ToText(buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    EXPECT_STREQ("", invalid.Text());

    // Text reuses one buffer per object and follows the value; copies get their own.
    const char* first = address.Text();
    address.SetLoopback4();
    EXPECT_EQ(first, address.Text());
    EXPECT_STREQ("127.0.0.1", first);
    KivIpAddr copy(address);
    EXPECT_NE(first, copy.Text());
    KivIpAddr target("::1");
    const char* own = target.Text();
    target = address;
    EXPECT_EQ(own, target.Text());
    EXPECT_STREQ("127.0.0.1", own);
}

TEST(KivIpAddrValue, SettersAndQueries) {
    KivIpAddr a(0xC0000201u);
    EXPECT_STREQ("192.0.2.1", a.Text());
    EXPECT_EQ(0xC0000201u, a.V4HostValue());
    EXPECT_EQ(192, a.ByteAt(0));
    EXPECT_EQ(0, a.ByteAt(4)); // beyond the length
    EXPECT_EQ(AF_INET, a.Family());

    uint32_t host = 0x0A000001u;
    EXPECT_EQ(1, a.SetHost(&host, 4));
    EXPECT_STREQ("10.0.0.1", a.Text());
    EXPECT_EQ(0, a.SetHost(&host, 6));
    EXPECT_EQ(0u, a.Length());

    KivIpAddr v6("2001:db8::1");
    EXPECT_EQ(0, v6.SetV4Host(&host, 16)); // refused without change
    EXPECT_STREQ("2001:db8::1", v6.Text());
    KivIpAddr v4("1.2.3.4");
    EXPECT_EQ(0, v4.SetV6(v6.Bytes(), 4));
    EXPECT_STREQ("1.2.3.4", v4.Text());
    EXPECT_EQ(1, v4.SetV6(v6.Bytes(), 16));
    EXPECT_TRUE(v4 == v6);
    EXPECT_EQ(0u, KivIpAddr(v6.Bytes(), 5).Length());
    EXPECT_EQ(0, v6.V4HostValue());
    EXPECT_EQ(AF_INET6, v6.Family());
#ifdef _WIN32
    EXPECT_EQ(23, v6.Family());
#endif

    KivIpAddr mapped("1.2.3.4");
    EXPECT_EQ(1, mapped.ToMapped());
    EXPECT_STREQ("::ffff:1.2.3.4", mapped.Text());
    EXPECT_EQ(1, mapped.IsMapped());
    EXPECT_EQ(0x01020304u, mapped.V4HostValue());
    EXPECT_EQ(1, mapped.FromMapped());
    EXPECT_EQ(4u, mapped.Length());
    EXPECT_EQ(0, mapped.FromMapped());
    EXPECT_EQ(1, v6.ToMapped()); // IPv6 stays as it is
    EXPECT_STREQ("2001:db8::1", v6.Text());
    KivIpAddr invalid;
    EXPECT_EQ(1, invalid.ToMapped());
    EXPECT_EQ(0u, invalid.Length());
    EXPECT_EQ(0, invalid.Family());

    KivIpAddr s;
    s.SetAny4();
    EXPECT_STREQ("0.0.0.0", s.Text());
    EXPECT_EQ(0, s.IsSet());
    s.SetAny6();
    EXPECT_EQ(16u, s.Length());
    EXPECT_EQ(0, s.IsSet());
    s.SetLoopback6();
    EXPECT_EQ(1, s.IsLoopback());
    EXPECT_EQ(1, s.IsSet());
    s.SetLoopback4();
    EXPECT_EQ(1, s.IsLoopback());
    EXPECT_EQ(0, KivIpAddr("::ffff:127.0.0.1").IsLoopback());
    EXPECT_EQ(0, KivIpAddr("127.0.0.2").IsLoopback());
    EXPECT_EQ(0, invalid.IsSet());
}

struct CompareCase {
    const char* a;
    const char* b;
    int order; // -1, 0, 1, or 2 for a pair without order
};

TEST(KivIpAddrValue, ComparisonTable) {
    const CompareCase cases[] = {
        {"1.2.3.4", "1.2.3.4", 0},
        {"::ffff:1.2.3.4", "1.2.3.4", 0},
        {"1.2.3.4", "::ffff:1.2.3.5", -1},
        {"::ffff:1.2.3.5", "1.2.3.4", 1},
        {"128.0.0.0", "127.255.255.255", 1}, // unsigned numbers
        {"10.0.0.1", "9.255.255.255", 1},
        {"1.2.3.4", "::1.2.3.4", 2}, // compatible form is not mapped
        {"1.2.3.4", "::1", 2},
        {"::ffff:1.2.3.4", "::ffff:1.2.3.4", 0},
        {"::ffff:1.2.3.4", "::1", 1},
        {"2001:db8::1", "2001:db8::2", -1},
        {"8000::", "7fff::", 1}, // bytes compare unsigned
        {"", "", 2},             // two invalid values are not equal
        {"1.2.3.4", "", 2},
        {"", "::", 2},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const CompareCase& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.a << " vs " << c.b);
        KivIpAddr a(c.a);
        KivIpAddr b(c.b);
        EXPECT_EQ(c.order == 0, a == b);
        EXPECT_EQ(c.order != 0, a != b);
        EXPECT_EQ(c.order == -1, a < b);
        EXPECT_EQ(c.order == 1, a > b);
        EXPECT_EQ(c.order == -1 || c.order == 0, a <= b);
        EXPECT_EQ(c.order == 1 || c.order == 0, a >= b);
        EXPECT_EQ(c.order == 0, KivIpAddr::IpCompareText(1, c.a, c.b) == 1);
        EXPECT_EQ(c.order == -1, KivIpAddr::IpCompareText(2, c.a, c.b) == 1);
        EXPECT_EQ(c.order == 1, KivIpAddr::IpCompareText(3, c.a, c.b) == 1);
        EXPECT_EQ(c.order == -1 || c.order == 0, KivIpAddr::IpCompareText(4, c.a, c.b) == 1);
        EXPECT_EQ(c.order == 1 || c.order == 0, KivIpAddr::IpCompareText(5, c.a, c.b) == 1);
        EXPECT_EQ(0, KivIpAddr::IpCompareText(0, c.a, c.a));
        EXPECT_EQ(0, KivIpAddr::IpCompareText(6, c.a, c.a));
    }
}

TEST(KivIpAddrValue, SocketAddresses) {
    uint8_t buffer[64];
    memset(buffer, 0xAB, sizeof buffer);
    KivIpAddr v4("192.0.2.1");
    ASSERT_EQ(1, v4.ToSockaddr(buffer, 40, 8080));
    sockaddr_in in4;
    memcpy(&in4, buffer, sizeof in4);
    EXPECT_EQ(AF_INET, in4.sin_family);
    EXPECT_EQ(htons(8080), in4.sin_port);
    EXPECT_EQ(0, memcmp(&in4.sin_addr, v4.Bytes(), 4));
    for (size_t i = 8; i < 40; ++i) // sin_zero and the rest of size are zero
        EXPECT_EQ(0, buffer[i]) << i;
    EXPECT_EQ(0xAB, buffer[40]);
    KivIpAddr back;
    EXPECT_EQ(1, back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)));
    EXPECT_TRUE(back == v4);

    KivIpAddr v6("2001:db8::7");
    ASSERT_EQ(1, v6.ToSockaddr(buffer, 28, 443));
    sockaddr_in6 in6;
    memcpy(&in6, buffer, sizeof in6);
    EXPECT_EQ(AF_INET6, in6.sin6_family);
    EXPECT_EQ(htons(443), in6.sin6_port);
    EXPECT_EQ(0u, in6.sin6_flowinfo);
    EXPECT_EQ(0u, in6.sin6_scope_id);
    EXPECT_EQ(0, memcmp(&in6.sin6_addr, v6.Bytes(), 16));
    EXPECT_EQ(1, back.FromSockaddr(reinterpret_cast<const sockaddr*>(buffer)));
    EXPECT_STREQ("2001:db8::7", back.Text());

    // Too small for IPv6, or no address: zeroed and refused.
    memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(0, v6.ToSockaddr(buffer, 27, 443));
    EXPECT_EQ(0, KivIpAddr().ToSockaddr(buffer + 32, 16, 1));
    for (size_t i = 0; i < 48; ++i)
        EXPECT_EQ(i < 27 || i >= 32 ? 0 : 0xAB, buffer[i]) << i;

    sockaddr other;
    memset(&other, 0, sizeof other);
    other.sa_family = AF_UNSPEC;
    EXPECT_EQ(0, back.FromSockaddr(&other));
    EXPECT_EQ(0u, back.Length());
}

TEST(KivIpAddrValue, Streams) {
    std::ostringstream out;
    out << KivIpAddr("1.2.3.4") << ' ' << KivIpAddr("::ffff:1.2.3.4") << ' ' << KivIpAddr();
    EXPECT_EQ("1.2.3.4 ::ffff:1.2.3.4 (invalid IP address)", out.str());

    std::istringstream in("  10.0.0.1\n::1 1.2.3.256 9.9.9.9");
    KivIpAddr a;
    KivIpAddr b;
    KivIpAddr c("8.8.8.8");
    in >> a >> b;
    EXPECT_TRUE(in.good());
    EXPECT_STREQ("10.0.0.1", a.Text());
    EXPECT_STREQ("::1", b.Text());
    in >> c;
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(0u, c.Length());
}

} // namespace

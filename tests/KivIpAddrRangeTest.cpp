#include "net/KivIpAddr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Network-order 32-bit value of a dotted address, and back.
uint32_t Net(const char* text) {
    KivIpAddr address(text);
    uint32_t value = 0;
    memcpy(&value, address.Bytes(), 4);
    return value;
}

std::string Dotted(uint32_t network) {
    KivIpAddr address(&network, 4);
    return address.Text();
}

TEST(KivIpAddrRange, Ipv4RangeFromPrefix) {
    struct Case {
        const char* network;
        uint32_t prefix;
        const char* first;
        const char* last;
    } const cases[] = {
        {"192.168.5.7", 16, "192.168.0.0", "192.168.255.255"},
        {"192.168.5.7", 0, "0.0.0.0", "255.255.255.255"},
        {"192.168.5.7", 1, "128.0.0.0", "255.255.255.255"},
        {"192.168.5.7", 31, "192.168.5.6", "192.168.5.7"},
        {"192.168.5.7", 32, "192.168.5.7", "192.168.5.7"},
        {"192.168.5.7", 40, "192.168.5.7", "192.168.5.7"}, // longer than 32: one address
        {"10.1.47.9", 20, "10.1.32.0", "10.1.47.255"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        uint32_t first = 1;
        uint32_t last = 1;
        ASSERT_EQ(1, KivIpAddr::Ipv4RangeFromPrefix(Net(cases[i].network), cases[i].prefix, &first,
                                                    &last));
        EXPECT_EQ(cases[i].first, Dotted(first));
        EXPECT_EQ(cases[i].last, Dotted(last));
    }
    uint32_t out = 0;
    EXPECT_EQ(0, KivIpAddr::Ipv4RangeFromPrefix(0, 8, nullptr, &out));
}

TEST(KivIpAddrRange, Ipv4PrefixFromRange) {
    struct Case {
        const char* first;
        const char* last;
        uint32_t prefix;
        const char* network;
        int result;
    } const cases[] = {
        {"10.0.0.0", "10.0.0.255", 24, "10.0.0.0", 1},
        {"10.0.0.1", "10.0.0.255", 24, "10.0.0.0", 0},
        {"10.0.0.0", "10.0.1.254", 23, "10.0.0.0", 0},
        {"10.0.0.255", "10.0.1.0", 23, "10.0.0.0", 0},
        {"1.2.3.4", "1.2.3.4", 32, "1.2.3.4", 1},
        {"0.0.0.0", "255.255.255.255", 0, "0.0.0.0", 1},
        {"128.0.0.0", "0.0.0.0", 0, "0.0.0.0", 0}, // reversed
        {"172.16.0.0", "172.31.255.255", 12, "172.16.0.0", 1},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        uint32_t network = 1;
        uint32_t prefix = 99;
        EXPECT_EQ(cases[i].result, KivIpAddr::Ipv4PrefixFromRange(
                                       Net(cases[i].first), Net(cases[i].last), &network, &prefix));
        EXPECT_EQ(cases[i].prefix, prefix);
        EXPECT_EQ(cases[i].network, Dotted(network));
    }
}

TEST(KivIpAddrRange, RangeFromPrefixOnTexts) {
    struct Case {
        const char* address;
        uint32_t prefix;
        const char* first;
        const char* last;
        int result;
    } const cases[] = {
        {"192.168.5.7", 16, "192.168.0.0", "192.168.255.255", 1},
        {"192.168.5.7", 100, "192.168.5.7", "192.168.5.7", 1}, // bits past 32 do nothing
        {"10.1.47.9", 20, "10.1.32.0", "10.1.47.255", 1},
        {"2001:db8::1", 0, "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 1},
        {"2001:db8:1:2::1", 48, "2001:db8:1::", "2001:db8:1:ffff:ffff:ffff:ffff:ffff", 1},
        {"2001:db8:1:2::1", 52, "2001:db8:1::", "2001:db8:1:fff:ffff:ffff:ffff:ffff", 1},
        {"::3", 127, "::2", "::3", 1},
        {"::3", 128, "::3", "::3", 1},
        {"::3", 129, "", "", 0},
        {"1.2.3.4", 129, "", "", 0},
        {"bogus", 8, "", "", 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        char first[64] = "old";
        char last[64] = "old";
        EXPECT_EQ(cases[i].result,
                  KivIpAddr::IpRangeTextFromPrefix(cases[i].address, cases[i].prefix, first,
                                                   sizeof first, last, sizeof last));
        EXPECT_STREQ(cases[i].first, first);
        EXPECT_STREQ(cases[i].last, last);
    }
    // The last text does not fit: the whole call fails.
    char first[64];
    char last[8];
    EXPECT_EQ(
        0, KivIpAddr::IpRangeTextFromPrefix("10.0.0.0", 8, first, sizeof first, last, sizeof last));
    // The outputs may be the address itself.
    KivIpAddr a("10.20.30.40");
    KivIpAddr b;
    ASSERT_EQ(1, KivIpAddr::IpRangeFromPrefix(a, 8, &a, &b));
    EXPECT_STREQ("10.0.0.0", a.Text());
    EXPECT_STREQ("10.255.255.255", b.Text());
    EXPECT_EQ(0, KivIpAddr::IpRangeFromPrefix(KivIpAddr(), 8, &a, &b));
}

TEST(KivIpAddrRange, PrefixFromRangeOnValuesAndTexts) {
    uint32_t prefix = 99;
    EXPECT_EQ(0, KivIpAddr::IpPrefixFromRange(KivIpAddr("1.2.3.4"), KivIpAddr("::ffff:1.2.3.4"),
                                              &prefix));
    EXPECT_EQ(0, KivIpAddr::IpPrefixFromRange(KivIpAddr(), KivIpAddr(), &prefix));
    EXPECT_EQ(99u, prefix);

    struct Case {
        const char* first;
        const char* last;
        const char* text;
        uint32_t prefix;
        int result;
    } const cases[] = {
        {"10.0.0.0", "10.0.0.255", "10.0.0.0", 24, 1},
        {"10.0.0.1", "10.0.0.255", "10.0.0.1", 24, 0}, // text as given, not masked
        {"5.6.7.8", "5.6.7.8", "5.6.7.8", 32, 1},
        {"2001:db8::", "2001:db8::ffff", "2001:db8::", 112, 1},
        {"2001:db8::", "2001:db8::fffe", "2001:db8::", 112, 0},
        {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::", 0, 1},
        {"2001:db8::1", "2001:db8::1", "2001:db8::1", 128, 1},
        {"1.2.3.4", "::ffff:1.2.3.4", "", 99, 0}, // different families
        {"x", "1.2.3.4", "", 99, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        char text[64] = "old";
        prefix = 99;
        EXPECT_EQ(cases[i].result, KivIpAddr::IpPrefixTextFromRangeText(
                                       cases[i].first, cases[i].last, text, sizeof text, &prefix));
        EXPECT_STREQ(cases[i].text, text);
        EXPECT_EQ(cases[i].prefix, prefix);
    }
    char small[8];
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small, sizeof small,
                                                      &prefix));
    EXPECT_EQ(24u, prefix);
}

TEST(KivIpAddrRange, BinaryForms) {
    uint8_t buffer[40];
    uint32_t size = 7;
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("10.1.2.3", 24, buffer, &size));
    EXPECT_EQ(8u, size);
    ASSERT_EQ(1, KivIpAddr::IpRangeBinaryFromPrefix("10.1.2.3", 24, buffer, &size));
    const uint8_t v4[8] = {10, 1, 2, 0, 10, 1, 2, 255}; // network order
    EXPECT_EQ(0, memcmp(v4, buffer, 8));
    size = 31;
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("2001:db8::5", 126, buffer, &size));
    EXPECT_EQ(32u, size);
    size = sizeof buffer;
    ASSERT_EQ(1, KivIpAddr::IpRangeBinaryFromPrefix("2001:db8::5", 126, buffer, &size));
    EXPECT_EQ(32u, size);
    EXPECT_EQ(0, memcmp(KivIpAddr("2001:db8::4").Bytes(), buffer, 16));
    EXPECT_EQ(0, memcmp(KivIpAddr("2001:db8::7").Bytes(), buffer + 16, 16));
    EXPECT_EQ(0, KivIpAddr::IpRangeBinaryFromPrefix("nope", 8, buffer, &size));

    // The IPv6 pair reads back; an IPv4 pair is two host-order numbers.
    char text[64];
    uint32_t prefix = 0;
    EXPECT_EQ(1, KivIpAddr::IpPrefixTextFromRangeBinary(buffer, 32, text, sizeof text, &prefix));
    EXPECT_STREQ("2001:db8::4", text);
    EXPECT_EQ(126u, prefix);
    const uint32_t pair[2] = {0x0A000000u, 0x0A0000FFu};
    EXPECT_EQ(1, KivIpAddr::IpPrefixTextFromRangeBinary(pair, 8, text, sizeof text, &prefix));
    EXPECT_STREQ("10.0.0.0", text);
    EXPECT_EQ(24u, prefix);
    const uint32_t loose[2] = {0x0A000001u, 0x0A0000FFu};
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeBinary(loose, 8, text, sizeof text, &prefix));
    EXPECT_STREQ("10.0.0.1", text);
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeBinary(buffer, 16, text, sizeof text, &prefix));
}

} // namespace

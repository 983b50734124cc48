#include "TestHelpers.h"
#include "net/KivIpAddr.h"

#include <cstring>
#include <string>

namespace {

// Network-order 32-bit value of a dotted address, and back.
uint32_t Net(const char* text) {
    uint32_t value = 0;
    memcpy(&value, KivIpAddr(text).Bytes(), 4);
    return value;
}

std::string Dotted(uint32_t network) {
    return KivIpAddr(&network, 4).Text();
}

// The IPv4 number forms and the text form on the same ranges: first and last address of
// an address's block, and the prefix of a first/last pair.
TEST(KivIpAddrRange, RangeFromPrefix) {
    struct Case {
        const char* address;
        uint32_t prefix;
        const char *first, *last; // "": refused
    } const cases[] = {
        {"192.168.5.7", 16, "192.168.0.0", "192.168.255.255"},
        {"192.168.5.7", 0, "0.0.0.0", "255.255.255.255"},
        {"192.168.5.7", 31, "192.168.5.6", "192.168.5.7"},
        {"192.168.5.7", 100, "192.168.5.7", "192.168.5.7"}, // bits past 32 do nothing
        {"10.1.47.9", 20, "10.1.32.0", "10.1.47.255"},
        {"2001:db8::1", 0, "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {"2001:db8:1:2::1", 52, "2001:db8:1::", "2001:db8:1:fff:ffff:ffff:ffff:ffff"},
        {"::3", 127, "::2", "::3"},
        {"::3", 129, "", ""},
        {"1.2.3.4", 129, "", ""},
        {"bogus", 8, "", ""},
    };
    FOR_EACH_CASE(c, cases) {
        char first[64] = "old", last[64] = "old";
        EXPECT_EQ(c.first[0] != '\0',
                  KivIpAddr::IpRangeTextFromPrefix(c.address, c.prefix, first, sizeof first, last,
                                                   sizeof last) == 1);
        EXPECT_STREQ(c.first, first);
        EXPECT_STREQ(c.last, last);
        const KivIpAddr address(c.address);
        uint32_t firstNumber = 1, lastNumber = 1;
        if (address.Length() == 4) {
            ASSERT_EQ(1, KivIpAddr::Ipv4RangeFromPrefix(Net(c.address), c.prefix, &firstNumber,
                                                        &lastNumber));
            const std::string range = c.prefix > 128 ? std::string(c.address) + " " + c.address
                                                     : std::string(c.first) + " " + c.last;
            EXPECT_EQ(range, Dotted(firstNumber) + " " + Dotted(lastNumber));
        }
    }
    EXPECT_EQ(0, KivIpAddr::Ipv4RangeFromPrefix(0, 8, nullptr, nullptr));
    // The last text does not fit: the whole call fails.
    char first[64], last[8];
    EXPECT_EQ(
        0, KivIpAddr::IpRangeTextFromPrefix("10.0.0.0", 8, first, sizeof first, last, sizeof last));
    // The outputs may be the address itself.
    KivIpAddr a("10.20.30.40"), b;
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
        {"10.0.0.255", "10.0.1.0", 0, 23, "10.0.0.255"},
        {"0.0.0.0", "255.255.255.255", 1, 0, "0.0.0.0"},
        {"128.0.0.0", "0.0.0.0", 0, 0, "128.0.0.0"}, // reversed
        {"172.16.0.0", "172.31.255.255", 1, 12, "172.16.0.0"},
        {"2001:db8::", "2001:db8::ffff", 1, 112, "2001:db8::"},
        {"2001:db8::", "2001:db8::fffe", 0, 112, "2001:db8::"},
        {"2001:db8::1", "2001:db8::1", 1, 128, "2001:db8::1"},
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
    char small[8];
    EXPECT_EQ(0, KivIpAddr::IpPrefixTextFromRangeText("10.0.0.0", "10.0.0.255", small, sizeof small,
                                                      &prefix));
    EXPECT_EQ(24u, prefix);
}

TEST(KivIpAddrRange, BinaryForms) {
    // Network-order bytes out; the needed size reported when the buffer is too small.
    uint8_t buffer[40];
    uint32_t size = 7;
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
    uint32_t prefix = 0;
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

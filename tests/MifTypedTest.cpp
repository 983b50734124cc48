#include "TestHelpers.h"
#include "attrlist/MifError.h"
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// One list with values of every width the getters meet; tag 13 lies after the marker.
MifList Sample() {
    MifList sub;
    sub.AddInt(1, 77u);
    sub.Finalize();
    MifList list;
    list.AddInt(1, 7u);
    list.AddInt64(2, 1ull << 33); // 8 bytes
    list.AddStr(3, "abc");
    list.AddBin(3, "x\0y", 3);
    list.AddIpAddr(4, KivIpAddr("10.0.0.1"));
    list.AddIpAddr(5, KivIpAddr("2001:db8::1"));
    list.AddIpAddr(6, KivIpAddr());
    list.AddIpAddrV4(7, KivIpAddr("::ffff:1.2.3.4"));
    list.AddIpAddrV4(8, KivIpAddr("2001:db8::1"));
    list.AddBin(9, "123456", 6);
    list.AddBool(10, true);
    list.AddGroup(12, sub);
    list.Finalize();
    list.AddInt(13, 1u);
    return list;
}

TEST(MifTyped, CheckingGettersByWidth) {
    const MifList list = Sample();
    struct Case {
        uint16_t tag;
        uint32_t occurrence;
        int intOk;
        uint32_t intValue;
        int int64Ok;
        uint64_t int64Value;
        const char *ip, *ipV4; // TryGetIpAddr and TryGetIpAddrV4 texts, null: refused
    } const cases[] = {
        {1, 1, 1, 7, 1, 7, "0.0.0.7", "0.0.0.7"},
        {1, 0, 0, 0, 0, 0, nullptr, nullptr}, // occurrence 0 never matches
        {2, 1, 0, 0, 1, 1ull << 33, nullptr, nullptr},
        {5, 1, 0, 0, 0, 0, "2001:db8::1", nullptr},
        {6, 1, 0, 0, 0, 0, nullptr, nullptr}, // empty value
        {7, 1, 1, 0x01020304u, 1, 0x01020304u, "1.2.3.4", "1.2.3.4"},
        {8, 1, 1, 0, 1, 0, "0.0.0.0", "0.0.0.0"}, // an IPv6 value for the IPv4 adder: zero
        {9, 1, 0, 0, 0, 0, nullptr, nullptr},     // 6 bytes
        {13, 1, 0, 0, 0, 0, nullptr, nullptr},    // after the end marker
    };
    FOR_EACH_CASE(c, cases) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(c.intOk, list.TryGetInt(c.tag, &value, c.occurrence));
        EXPECT_EQ(c.intOk ? c.intValue : 0xDEADBEEF, value);
        bool flag = false;
        EXPECT_EQ(c.intOk, list.TryGetBool(c.tag, &flag, c.occurrence));
        EXPECT_EQ(c.intOk == 1 && c.intValue != 0, flag);
        uint64_t wide = 0xDEADBEEF;
        EXPECT_EQ(c.int64Ok, list.TryGetInt64(c.tag, &wide, c.occurrence));
        EXPECT_EQ(c.occurrence == 0 ? 0xDEADBEEF : c.int64Value, wide); // 0 after failure
        KivIpAddr ip("9.9.9.9"), v4("9.9.9.9");
        EXPECT_EQ(c.ip != nullptr, list.TryGetIpAddr(c.tag, &ip, c.occurrence) == 1);
        // Cleared once the record is found; untouched when it is missing.
        const bool found = list.Exists(c.tag, c.occurrence) == 1;
        EXPECT_STREQ(c.ip ? c.ip : (found ? "" : "9.9.9.9"), ip.Text());
        EXPECT_EQ(c.ipV4 != nullptr, list.TryGetIpAddrV4(c.tag, &v4, c.occurrence) == 1);
        EXPECT_STREQ(c.ipV4 ? c.ipV4 : "9.9.9.9", v4.Text()); // unchanged on refusal
    }
    EXPECT_EQ(0, list.TryGetInt(1, nullptr));
    EXPECT_EQ(1, list.Exists(3, 2));
}

TEST(MifTyped, BinaryAndTextGetters) {
    const MifList list = Sample();
    uint32_t length = 0;
    EXPECT_EQ(1, list.GetBinCopy(9, nullptr, &length)); // size query
    EXPECT_EQ(6u, length);
    uint8_t buffer[8];
    memset(buffer, 0xEE, sizeof buffer);
    length = 5;
    EXPECT_EQ(0, list.GetBinCopy(9, buffer, &length)); // one byte too small: untouched
    EXPECT_EQ(0, list.GetBinCopy(9, buffer, nullptr));
    length = 6;
    EXPECT_EQ(1, list.GetBinCopy(9, buffer, &length));
    EXPECT_EQ(Bytes({'1', '2', '3', '4', '5', '6', 0xEE}), Bytes(buffer, buffer + 7));
    const uint8_t* pointer = nullptr;
    EXPECT_EQ(1, list.GetBinPtr(3, &pointer, &length, 2));
    EXPECT_EQ(std::string("x\0y", 3), std::string(pointer, pointer + length));
    // A text needs room for its terminator; TryGetStr stops at a NUL inside.
    char text[8] = "old";
    std::string s = "old";
    EXPECT_EQ(0, list.GetStrBuf(3, text, 3));
    EXPECT_STREQ("old", text);
    EXPECT_EQ(1, list.GetStrBuf(3, text, 4));
    EXPECT_EQ(1, list.TryGetStr(3, &s, 2));
    EXPECT_EQ(0, list.TryGetStr(3, &s, 3));
    EXPECT_EQ("abc x", std::string(text) + " " + s);
    // 65535 bytes give a 16-bit size of 0: refused.
    MifList big;
    const std::string longest(65535, 'a');
    ASSERT_EQ(1, big.AddBin(1, longest.data(), 65535));
    big.AddBin(2, longest.data(), 65534);
    EXPECT_EQ(0, big.TryGetStr(1, &s));
    EXPECT_EQ(1, big.TryGetStr(2, &s));
    EXPECT_EQ(65534u, s.size());
}

std::string Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const MifError& error) {
        const std::runtime_error& base = error;
        return base.what();
    }
    return "(nothing thrown)";
}

TEST(MifTyped, ThrowingGetters) {
    const MifList list = Sample();
    struct Case {
        std::function<void()> call;
        const char* text;
    } const cases[] = {
        {[&] { list.GetBool(99); }, "GetBool: Missing OID [OID:99]"},
        {[&] { list.GetInt(2); }, "GetInt: Missing OID [OID:2]"}, // 8 bytes
        {[&] { list.GetInt64(3); }, "GetInt64: Missing OID [OID:3]"},
        {[&] { list.GetStr(13); }, "GetStr: Missing OID [OID:13]"},
        {[&] { list.GetBin(65534); }, "GetBin: Missing OID [OID:65534]"},
        {[&] { list.GetIpAddr(9); }, "GetIpAddr: Invalid OID [OID:9]"},
        {[&] { list.GetIpAddrV4(5); }, "GetIpAddrV4: Missing OID [OID:5]"},
        {[&] { list.GetIpAddrV6(6); }, "GetIpAddrV6: Invalid OID [OID:6]"},
        {[&] { list.GetGroup(0); }, "Unable to get group [OID:0]"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.text, Thrown(c.call));
    }
    // The values themselves come from the checking getters tested above.
    EXPECT_EQ((Bytes{'x', 0, 'y'}), list.GetBin(3, 2));
    EXPECT_TRUE(list.GetBool(10));
    MifList group = list.GetGroup(12);
    EXPECT_FALSE(group.IsBorrowed());
    EXPECT_EQ(10u, group.GetSize()); // the nested record and its end marker
    EXPECT_EQ(77u, group.GetInt(1));
}

// Each reader borrows the bytes for one getter of the list: one call apiece shows it
// reaches the right one, and the bytes stay as they were.
TEST(MifTyped, FlatReadersOnSerializedBytes) {
    const MifList list = Sample();
    const Bytes wire(list.GetData(), list.GetData() + list.GetSize());
    const uint8_t *p = wire.data(), *inside = nullptr;
    const uint32_t n = static_cast<uint32_t>(wire.size());
    uint32_t value = 0, length = 6;
    uint64_t wide = 0;
    KivIpAddr ip, ip4, ip6;
    std::string s;
    char text[4];
    uint8_t buffer[6];
    const int results[] = {MifFlatGetInt(p, n, 1, &value, 1),
                           MifFlatGetInt64(p, n, 2, &wide, 1),
                           MifFlatGetIpAddr(p, n, 4, &ip, 1),
                           MifFlatGetIpAddrV4(p, n, 5, &ip4, 1),
                           MifFlatGetIpAddrV4(p, n, 7, &ip4, 1),
                           MifFlatGetIpAddrV6(p, n, 5, &ip6, 1),
                           MifFlatGetStr(p, n, 3, &s, 1),
                           MifFlatGetStrBuf(p, n, 3, text, 3, 1),
                           MifFlatGetStrBuf(p, n, 3, text, sizeof text, 1),
                           MifFlatGetBinCopy(p, n, 9, buffer, &length, 1),
                           MifFlatGetBinPtr(p, n, 9, &inside, &length, 1),
                           MifFlatGetInt(nullptr, n, 1, &value, 1), // no bytes, none used,
                           MifFlatGetInt(p, 0, 1, &value, 1),       // behind the marker, or
                           MifFlatGetInt(p, n, 13, &value, 1),      // cut: nothing found
                           MifFlatGetBinCopy(p, 20, 9, nullptr, &length, 1)};
    EXPECT_EQ((std::vector<int>{1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0}),
              std::vector<int>(std::begin(results), std::end(results)));
    EXPECT_EQ("7 8589934592 10.0.0.1 1.2.3.4 2001:db8::1 abc abc 123456",
              std::to_string(value) + " " + std::to_string(wide) + " " + ip.Text() + " " +
                  ip4.Text() + " " + ip6.Text() + " " + s + " " + text + " " +
                  std::string(buffer, buffer + 6));
    EXPECT_EQ(0, memcmp("123456", inside, 6));
    EXPECT_EQ(Bytes(list.GetData(), list.GetData() + list.GetSize()), wire);
}

// Each occurrence formatted by FormatValue, joined with ", "; a value it refuses keeps
// its separator.
TEST(MifTyped, FormatValuesJoinsOccurrences) {
    struct Case {
        std::vector<Bytes> values;
        int asAddress;
        const char* text; // "": refused
    } const cases[] = {
        {{{1, 2}, {5, 0, 5, 0}}, 0, "1-2, 5"},
        {{{1, 2}, {1, 2, 3}, {0x50, 0, 0x5A, 0}}, 0, "1-2, , 80-90"},
        {{{1, 2, 0, 0xC0, 0xFE, 2, 0, 0xC0}, {1, 2, 0, 0xC0}},
         1,
         "192.0.2.1-192.0.2.254, 513-49152"},
        {{{1, 2, 0, 0xC0, 1, 2, 0, 0xC0}}, 1, "192.0.2.1"},
        {{{1, 2, 0, 0xC0, 0xFE, 2, 0, 0xC0}}, 0, "-1073741311--1073741058"},
        {{{1, 2, 3}}, 0, ""},
    };
    FOR_EACH_CASE(c, cases) {
        MifList list;
        for (const Bytes& value : c.values)
            list.AddBin(1, value.data(), static_cast<uint32_t>(value.size()));
        list.Finalize();
        // Nothing formatted leaves the output alone.
        const std::string expect = c.text[0] != '\0' ? c.text : "old";
        char text[64] = "old", flat[64] = "old";
        EXPECT_EQ(c.text[0] != '\0', list.FormatValues(1, text, sizeof text, c.asAddress) == 1);
        EXPECT_EQ(expect, text);
        MifFlatFormatValues(list.GetData(), list.GetSize(), 1, flat, sizeof flat, c.asAddress);
        EXPECT_EQ(expect, flat);
        // A short buffer is filled up to its end and no further.
        char cut[8] = "xxxxxxx";
        list.FormatValues(1, cut, 4, c.asAddress);
        EXPECT_EQ(c.text[0] != '\0' ? std::string(c.text).substr(0, 3) + '\0' + "xxx" : "xxxxxxx",
                  std::string(cut, 7));
    }
    // One value cut to the buffer: the bounded formatter's count.
    const uint8_t range[] = {0x50, 0x00, 0x5A, 0x00};
    char small[4] = "xxx";
    int written = 0;
    EXPECT_EQ(1, FormatValue(range, 4, small, 3, &written, 0));
    EXPECT_STREQ("80", small);
    EXPECT_EQ(2, written);
}

TEST(MifTyped, DumpPrintsUsedBytes) {
    MifList list;
    list.AddInt(1, 5u);
    list.Finalize();
    testing::internal::CaptureStdout();
    list.Dump();
    MifList().Dump();
    fflush(stdout);
    EXPECT_EQ("Len  : 10\nData : 01 00 04 00 05 00 00 00 ff ff \nLen  : 0\nData : \n",
              testing::internal::GetCapturedStdout());
}

} // namespace

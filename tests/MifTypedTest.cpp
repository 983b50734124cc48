#include "TestHelpers.h"
#include "attrlist/MifError.h"
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
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

// Which widths each checking getter takes and what it leaves in its output on refusal are
// the list harness's (fuzz/mif_fuzz.cpp, through the MifFlat readers); here: what the
// address adders store, and the Boolean getter.
TEST(MifTyped, AddressAddersAndBooleans) {
    const MifList list = Sample();
    const std::pair<uint16_t, Bytes> values[] = {
        {4, {1, 0, 0, 10}}, // the host-order number
        {5, {0x20, 1, 0xD, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {6, {}},
        {7, {4, 3, 2, 1}}, // a mapped address as IPv4
        {8, {0, 0, 0, 0}}, // an IPv6 value for the IPv4 adder: zero
    };
    FOR_EACH_CASE(c, values) {
        const uint8_t* value = nullptr;
        uint32_t length = 0;
        ASSERT_EQ(1, list.GetBinPtr(c.first, &value, &length));
        EXPECT_EQ(c.second, Bytes(value, value + length));
    }
    bool on = false, off = true, wide = true;
    EXPECT_EQ(1, list.TryGetBool(1, &on));
    EXPECT_EQ(1, list.TryGetBool(8, &off));
    EXPECT_EQ(0, list.TryGetBool(2, &wide)); // 8 bytes
    EXPECT_TRUE(on && !off);
}

// The harness's values never reach the 16-bit limit.
TEST(MifTyped, SizeQueryAndTextAtTheLengthLimit) {
    MifList big;
    std::string s;
    uint32_t length = 0;
    const std::string longest(65535, 'a');
    ASSERT_EQ(1, big.AddBin(1, longest.data(), 65535));
    big.AddBin(2, longest.data(), 65534);
    // 65535 bytes give a 16-bit size of 0: refused.
    EXPECT_EQ(0, big.TryGetStr(1, &s));
    EXPECT_EQ(2, big.TryGetStr(2, &s) + big.GetBinCopy(2, nullptr, &length));
    EXPECT_EQ(65534u * 2, s.size() + length);
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
    EXPECT_EQ("GetBool: Missing OID [OID:99]", Thrown([&] { list.GetBool(99); }));
    EXPECT_EQ("GetInt: Missing OID [OID:2]", Thrown([&] { list.GetInt(2); })); // 8 bytes
    EXPECT_EQ("GetInt64: Missing OID [OID:3]", Thrown([&] { list.GetInt64(3); }));
    EXPECT_EQ("GetStr: Missing OID [OID:13]", Thrown([&] { list.GetStr(13); }));
    EXPECT_EQ("GetBin: Missing OID [OID:65534]", Thrown([&] { list.GetBin(65534); }));
    EXPECT_EQ("GetIpAddr: Invalid OID [OID:9]", Thrown([&] { list.GetIpAddr(9); }));
    EXPECT_EQ("GetIpAddrV4: Missing OID [OID:5]", Thrown([&] { list.GetIpAddrV4(5); }));
    EXPECT_EQ("GetIpAddrV6: Invalid OID [OID:6]", Thrown([&] { list.GetIpAddrV6(6); }));
    EXPECT_EQ("Unable to get group [OID:0]", Thrown([&] { list.GetGroup(0); }));
    // The values themselves come from the checking getters tested above.
    EXPECT_EQ((Bytes{'x', 0, 'y'}), list.GetBin(3, 2));
    EXPECT_TRUE(list.GetBool(10));
    MifList group = list.GetGroup(12); // the nested record and its end marker
    EXPECT_TRUE(!group.IsBorrowed() && group.GetSize() == 10 && group.GetInt(1) == 77);
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
        char text[64] = "old";
        EXPECT_EQ(c.text[0] != '\0', list.FormatValues(1, text, sizeof text, c.asAddress) == 1);
        EXPECT_EQ(expect, text);
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

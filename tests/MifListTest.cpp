#include "attrlist/MifList.h"
#include "TestHelpers.h"
#include "attrlist/MifError.h"
#include "net/KivIpAddr.h"

#include <cstring>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(const MifList& list) {
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

// The value of an occurrence as text, "(none)" when it is not found.
std::string Text(const MifList& list, uint16_t tag, uint32_t occurrence = 1) {
    uint32_t offset = 0, length = 0;
    if (!list.FindValue(tag, &offset, &length, occurrence))
        return "(none)";
    return std::string(reinterpret_cast<const char*>(list.GetData()) + offset, length);
}

// Results of calls made in order (a braced list is evaluated from left to right).
std::string Results(std::initializer_list<int> results) {
    std::string text;
    for (int result : results)
        text += std::to_string(result);
    return text;
}

TEST(MifListWire, PinnedExampleAndEncodings) {
    MifList list, kinds, none;
    EXPECT_EQ("111", Results({list.AddStr(1, "X"), list.AddInt(2, 5u), list.Finalize()}));
    EXPECT_EQ((Bytes{1, 0, 1, 0, 0x58, 2, 0, 4, 0, 5, 0, 0, 0, 0xFF, 0xFF}), Wire(list));
    testing::internal::CaptureStdout(); // Dump prints the used bytes
    list.Dump();
    MifList().Dump();
    EXPECT_EQ(
        "Len  : 15\nData : 01 00 01 00 58 02 00 04 00 05 00 00 00 ff ff \nLen  : 0\nData : \n",
        testing::internal::GetCapturedStdout());
    kinds.AddStr(3, "");
    kinds.AddBool(4, true);
    kinds.AddInt64(5, 5);
    kinds.AddInt64(6, 1ull << 32);
    kinds.AddInt(7, -2);
    EXPECT_EQ((Bytes{3, 0, 0, 0,                                    // empty text
                     4, 0, 4, 0, 1,    0,    0,    0,               // true
                     5, 0, 4, 0, 5,    0,    0,    0,               // small 64-bit: 4 bytes
                     6, 0, 8, 0, 0,    0,    0,    0,   1, 0, 0, 0, // large 64-bit: 8 bytes
                     7, 0, 4, 0, 0xFE, 0xFF, 0xFF, 0xFF}),          // signed as unsigned
              Wire(kinds));
    EXPECT_EQ(1004u, kinds.GetCapacity()); // the first record and 1000 spare bytes
    // Asking for no room allocates nothing.
    EXPECT_EQ("11", Results({none.Reserve(0), none.AppendBytes("", 0)}));
    EXPECT_TRUE(none.GetData() == nullptr && none.GetCapacity() == 0);
}

// How Finalize and Unfinalize change a list is the list harness's (fuzz/mif_fuzz.cpp).
// Refused: an end tag with a value, null bytes, a value beyond 16 bits, a null text.
TEST(MifListWire, Refusals) {
    MifList list;
    std::vector<uint8_t> big(70000);
    EXPECT_EQ("00010", Results({list.AddBin(MifList::kEndTag, "x", 1), list.AddBin(1, nullptr, 1),
                                list.AddBin(1, big.data(), 65536),
                                list.AddBin(1, big.data(), 65535), list.AddStr(1, nullptr)}));
    // With fewer than 4 bytes a marker at the start ends the list; with 4 it is a record.
    uint8_t middle[] = {0xFF, 0xFF, 1, 0, 0, 0};
    std::string finalized;
    for (uint32_t used : {6u, 4u, 3u}) {
        list.Attach(middle, sizeof middle, used);
        finalized += std::to_string(list.IsFinalized());
    }
    EXPECT_EQ("001", finalized);
}

TEST(MifListBorrowed, RefusesWhatDoesNotFitAndKeepsTheCallersBytes) {
    uint8_t buffer[14];
    memset(buffer, 0xAA, sizeof buffer);
    MifList list, source;
    EXPECT_EQ("010", Results({list.Attach(nullptr, 14, 0), list.Attach(buffer, 14, 4),
                              list.AddBin(2, "1234567", 7)}));
    EXPECT_EQ(0xAA, buffer[4]);
    EXPECT_EQ("10", Results({list.AddBin(2, "123456", 6), list.Reserve(1)}));

    // Set in place through a view of a caller's copy; the view neither wipes nor frees it.
    source.AddStr(1, "Kiv");
    source.AddInt(2, 7u);
    source.AddInt(2, 8u);
    source.Finalize();
    Bytes caller = Wire(source);
    caller.resize(caller.size() + 8, 0);
    {
        MifList view;
        ASSERT_EQ(
            1, view.Attach(caller.data(), static_cast<uint32_t>(caller.size()), source.GetSize()));
        // The absent tag 3 is appended in front of the marker; then there is no room left.
        EXPECT_EQ("1010", Results({view.SetInt(2, 99u, 2), view.SetInt(3, 5u, 1),
                                   view.IsFinalized(), view.SetInt(4, 5u, 1)}));
        EXPECT_EQ(source.GetSize() + 8, view.GetSize());
    }
    EXPECT_TRUE(caller[4] == 'K' && caller[source.GetSize() - 6] == 99);
    EXPECT_EQ("01", Results({MifFlatSetInt(nullptr, 4, 2, 1, 1),
                             MifFlatSetInt(caller.data(), static_cast<uint32_t>(caller.size()), 2,
                                           42, 1)}));
    EXPECT_EQ(42, caller[11]);
}

TEST(MifListEdit, RemoveAndSetTouchTheRightOccurrence) {
    MifList list;
    list.AddStr(1, "first");
    list.AddStr(1, "second");
    list.AddInt(2, 3u);
    list.Finalize();
    EXPECT_EQ(1, list.SetBin(1, "2nd", 3, 2));
    EXPECT_EQ("first 2nd", Text(list, 1) + " " + Text(list, 1, 2));
    EXPECT_EQ(list.GetSize() + 10, list.GetCapacity()); // rebuilt with 10 spare bytes
    EXPECT_EQ("110", Results({list.IsFinalized(), list.Remove(1), list.Remove(77)}));
    EXPECT_EQ("2nd (none)", Text(list, 1) + " " + Text(list, 1, 2));
    // Absent: appended before the marker.
    EXPECT_EQ("01", Results({list.SetInt(5, 1u, 1), list.IsFinalized()}));
    EXPECT_EQ(4u, Text(list, 5).size());
    EXPECT_EQ("00", Results({list.SetInt(5, 1u, 0), list.SetBin(5, nullptr, 0, 1)}));
    // 64-bit values keep their width when they can and are rebuilt when they cannot.
    EXPECT_EQ(1, list.SetInt64(2, 1ull << 32, 1));
    EXPECT_EQ(8u, Text(list, 2).size());
    EXPECT_EQ("11", Results({list.SetInt64(2, 1ull << 34, 1), list.SetInt64(2, 6, 1)}));
    EXPECT_EQ(std::string("\6\0\0\0", 4), Text(list, 2));
    // A short value is widened rather than overrun.
    list.SetBin(6, "x", 1, 1);
    EXPECT_EQ(1, list.SetInt(6, 0x01020304u, 1));
    EXPECT_EQ("\4\3\2\1", Text(list, 6));
}

// Found by fuzzing: a stray byte behind the end marker, and a setter in a caller's buffer
// without room for both the new record and the marker behind it.
TEST(MifListEdit, StrayByteAndFullCallerBuffer) {
    MifList list;
    list.AddInt(1, 5u);
    list.Finalize();
    // Appended behind the records, not behind half the marker.
    EXPECT_EQ("110", Results({list.AppendByte(0), list.IsFinalized(), list.SetInt(2, 7u, 1)}));
    EXPECT_EQ((Bytes{1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 4, 0, 7, 0, 0, 0, 0xFF, 0xFF}), Wire(list));
    Bytes flat{1, 0, 2, 0, 1, 2, 0xFF, 0xFF, 0};
    EXPECT_EQ(0, MifFlatSetInt(flat.data(), 9, 3, 7u, 1));
    EXPECT_EQ((Bytes{1, 0, 2, 0, 1, 2, 0xFF, 0xFF, 0}), flat);

    for (uint32_t capacity : {16u, 17u, 18u}) {
        Bytes buffer(capacity, 0xA5);
        MifList view;
        ASSERT_EQ(1, view.Attach(buffer.data(), capacity, 0));
        view.AddInt(1, 5u);
        view.AddBin(2, nullptr, 0);
        view.Finalize();
        view.SetStr(3, "", 2); // occurrence 2 is missing: appended as a new record
        Bytes wire{1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF};
        if (capacity < 18)
            wire.erase(wire.begin() + 12, wire.begin() + 16);
        EXPECT_EQ(wire, Wire(view)) << capacity;
        EXPECT_EQ(1, view.IsFinalized());
    }
}

TEST(MifListGroup, NestsFinalizedAndUnfinalizedLists) {
    MifList sub, outer, again, none, withNone;
    sub.AddInt(1, 1u);
    ASSERT_EQ(1, outer.AddGroup(9, sub));
    EXPECT_EQ((Bytes{9, 0, 10, 0, 1, 0, 4, 0, 1, 0, 0, 0, 0xFF, 0xFF}), Wire(outer));
    sub.Finalize();
    again.AddGroup(9, sub);
    EXPECT_EQ(Wire(outer), Wire(again));
    withNone.AddGroup(3, none);
    withNone.AddGroup(4, withNone); // its own bytes, taken before it grows
    EXPECT_EQ((Bytes{3, 0, 2, 0, 0xFF, 0xFF, 4, 0, 8, 0, 3, 0, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
              Wire(withNone));
}

TEST(MifListObject, AssignAndRawAppends) {
    MifList list, copy, shared, raw;
    uint8_t caller[8] = {1, 0, 0, 0};
    list.Attach(caller, sizeof caller, 4);
    shared = list; // a copy of a view is a view of the same bytes
    EXPECT_EQ(caller, shared.GetData());
    copy.Assign(caller, 4);
    copy.Assign(copy.GetData() + 2, 2); // source inside the buffer being replaced
    EXPECT_EQ((Bytes{0, 0}), Wire(copy));
    copy.Assign(nullptr, 5);
    EXPECT_EQ(nullptr, copy.GetData());
    EXPECT_EQ("1111100",
              Results({raw.AppendU16(0x0102), raw.AppendByte(3), raw.AppendU32(0x04050607),
                       raw.AppendU64(0x08090A0B0C0D0E0Full), raw.AppendText("hi"),
                       raw.AppendText(nullptr), raw.AppendBytes(nullptr, 1)}));
    EXPECT_EQ((Bytes{2, 1, 3, 7, 6, 5, 4, 0xF, 0xE, 0xD, 0xC, 0xB, 0xA, 9, 8, 'h', 'i'}),
              Wire(raw));
}

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

// The checking getters' widths and outputs on refusal are the list harness's (MifFlat readers);
// here: what the address adders store, the Boolean getter and a size query.
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
    bool on = false, off = true, wide = true; // tag 2 holds 8 bytes
    uint32_t size = 0;                        // no buffer: a size query
    EXPECT_EQ("1101", Results({list.TryGetBool(1, &on), list.TryGetBool(8, &off),
                               list.TryGetBool(2, &wide), list.GetBinCopy(9, nullptr, &size)}));
    EXPECT_TRUE(on && !off && size == 6);
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
    const int result = FormatValue(range, 4, small, 3, &written, 0);
    EXPECT_EQ("1 80 2", std::to_string(result) + " " + small + " " + std::to_string(written));
}

} // namespace

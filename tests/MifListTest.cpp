#include "attrlist/MifList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(const MifList& list) {
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

TEST(MifListWire, PinnedExampleAndEncodings) {
    MifList list;
    ASSERT_EQ(1, list.AddStr(1, "X"));
    ASSERT_EQ(1, list.AddInt(2, 5u));
    ASSERT_EQ(1, list.Finalize());
    EXPECT_EQ((Bytes{0x01, 0x00, 0x01, 0x00, 0x58, 0x02, 0x00, 0x04, 0x00, 0x05, 0x00, 0x00, 0x00,
                     0xFF, 0xFF}),
              Wire(list));

    MifList kinds;
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
}

TEST(MifListWire, FinalizeAppendsOneMarker) {
    MifList empty;
    ASSERT_EQ(1, empty.Finalize());
    EXPECT_EQ((Bytes{0xFF, 0xFF}), Wire(empty));
    EXPECT_EQ(1, empty.Finalize());
    EXPECT_EQ(2u, empty.GetSize());

    MifList list;
    list.AddInt(1, 1u);
    EXPECT_EQ(0, list.IsFinalized());
    list.Finalize();
    list.Finalize();
    EXPECT_EQ(10u, list.GetSize());
    EXPECT_EQ(1, list.IsFinalized());
    EXPECT_EQ(1, list.Unfinalize());
    EXPECT_EQ(8u, list.GetSize());
    EXPECT_EQ(0, list.Unfinalize());

    // A record added after the marker is hidden, and the list needs a further marker.
    list.Finalize();
    list.AddInt(9, 9u);
    EXPECT_EQ(0, list.IsFinalized());
    EXPECT_EQ(0, list.FindValue(9, nullptr, nullptr, 1));
    list.Finalize();
    EXPECT_EQ(20u, list.GetSize());
}

TEST(MifListWire, GrowthAndErrorRules) {
    MifList list;
    list.AddBin(1, "abc", 3);
    EXPECT_EQ(1007u, list.GetCapacity()); // the record plus 1000 spare bytes
    EXPECT_EQ(0, list.AddBin(MifList::kEndTag, "x", 1));
    EXPECT_EQ(0, list.AddBin(1, nullptr, 1));
    std::vector<uint8_t> big(70000);
    EXPECT_EQ(0, list.AddBin(1, big.data(), 65536));
    EXPECT_EQ(1, list.AddBin(1, big.data(), 65535));
    EXPECT_EQ(0, list.AddStr(1, nullptr));
    EXPECT_EQ(0, list.GetError());
}

TEST(MifListBorrowed, RefusesWhatDoesNotFitAndKeepsTheCallersBytes) {
    uint8_t buffer[14];
    memset(buffer, 0xAA, sizeof buffer);
    MifList list;
    EXPECT_EQ(0, list.Attach(nullptr, 14, 0));
    EXPECT_EQ(0, list.Attach(buffer, 0, 0));
    EXPECT_EQ(0, list.Attach(buffer, 4, 5));
    ASSERT_EQ(1, list.Attach(buffer, 14, 4));
    uint32_t free = 0;
    EXPECT_EQ(1, list.GetFreeSpace(&free));
    EXPECT_EQ(10u, free);
    EXPECT_EQ(0, list.AddBin(2, "1234567", 7));
    EXPECT_EQ(0xAA, buffer[4]);
    EXPECT_EQ(1, list.AddBin(2, "123456", 6));
    EXPECT_EQ(14u, list.GetSize());
    EXPECT_EQ(0, list.Reset(100));
    EXPECT_EQ(0, list.Reserve(1));
    MifList owned;
    EXPECT_EQ(0, owned.GetFreeSpace(nullptr));
}

TEST(MifListBorrowed, RoundTripThroughACallerBuffer) {
    MifList source;
    source.AddStr(1, "Kiv");
    source.AddInt(2, 7u);
    source.AddInt(2, 8u);
    source.Finalize();

    std::vector<uint8_t> caller(source.GetData(), source.GetData() + source.GetSize());
    caller.resize(caller.size() + 8, 0);
    {
        MifList view;
        ASSERT_EQ(
            1, view.Attach(caller.data(), static_cast<uint32_t>(caller.size()), source.GetSize()));
        uint32_t offset = 0, length = 0;
        ASSERT_EQ(1, view.FindValue(2, &offset, &length, 2));
        EXPECT_EQ(4u, length);
        EXPECT_EQ(8, caller[offset]);
        EXPECT_EQ(1, view.SetInt(2, 99u, 2));
        EXPECT_EQ(0, view.SetInt(3, 5u, 1)); // appended in front of the marker
        EXPECT_EQ(1, view.IsFinalized());
        EXPECT_EQ(source.GetSize() + 8, view.GetSize());
        EXPECT_EQ(0, view.SetInt(4, 5u, 1)); // no room left: nothing changes
        EXPECT_EQ(source.GetSize() + 8, view.GetSize());
    } // a borrowed buffer is neither wiped nor freed
    EXPECT_EQ('K', caller[4]);
    EXPECT_EQ(99, caller[source.GetSize() - 6]);

    EXPECT_EQ(0, MifFlatSetInt(nullptr, 4, 2, 1, 1));
    EXPECT_EQ(1, MifFlatSetInt(caller.data(), static_cast<uint32_t>(caller.size()), 2, 42, 1));
    EXPECT_EQ(42, caller[11]);
}

TEST(MifListEdit, RemoveAndSetTouchTheRightOccurrence) {
    MifList list;
    list.AddStr(1, "first");
    list.AddStr(1, "second");
    list.AddInt(2, 3u);
    list.Finalize();

    EXPECT_EQ(1, list.SetBin(1, "2nd", 3, 2));
    uint32_t offset = 0, length = 0;
    ASSERT_EQ(1, list.FindValue(1, &offset, &length, 1));
    EXPECT_EQ(std::string("first"),
              std::string(reinterpret_cast<char*>(list.GetData() + offset), length));
    ASSERT_EQ(1, list.FindValue(1, &offset, &length, 2));
    EXPECT_EQ(std::string("2nd"),
              std::string(reinterpret_cast<char*>(list.GetData() + offset), length));
    EXPECT_EQ(list.GetSize() + 10, list.GetCapacity()); // rebuilt with 10 spare bytes
    EXPECT_EQ(1, list.IsFinalized());

    EXPECT_EQ(1, list.Remove(1));
    ASSERT_EQ(1, list.FindValue(1, &offset, &length, 1));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(0, list.FindValue(1, nullptr, nullptr, 2));
    EXPECT_EQ(0, list.Remove(77));

    EXPECT_EQ(0, list.SetInt(5, 1u, 1)); // absent: appended before the marker
    EXPECT_EQ(1, list.IsFinalized());
    EXPECT_EQ(1, list.FindValue(5, nullptr, nullptr, 1));
    EXPECT_EQ(0, list.SetInt(5, 1u, 0));
    EXPECT_EQ(0, list.SetBin(5, nullptr, 0, 1));

    // 64-bit values keep their width when they can and are rebuilt when they cannot.
    EXPECT_EQ(1, list.SetInt64(2, 1ull << 33, 1));
    ASSERT_EQ(1, list.FindValue(2, nullptr, &length, 1));
    EXPECT_EQ(8u, length);
    EXPECT_EQ(1, list.SetInt64(2, 1ull << 34, 1));
    EXPECT_EQ(1, list.SetInt64(2, 6, 1));
    ASSERT_EQ(1, list.FindValue(2, nullptr, &length, 1));
    EXPECT_EQ(4u, length);

    // A short value is widened rather than overrun.
    list.SetBin(6, "x", 1, 1);
    EXPECT_EQ(1, list.SetInt(6, 0x01020304u, 1));
    ASSERT_EQ(1, list.FindValue(6, &offset, &length, 1));
    EXPECT_EQ(4u, length);
    EXPECT_EQ(0x04, list.GetData()[offset]);
}

TEST(MifListEdit, WalkStopsAtMalformedRecords) {
    // A record whose length runs past the used size hides itself and all that follows.
    uint8_t bytes[] = {1, 0, 2, 0, 'a', 'b', 2, 0, 9, 0, 'x', 3, 0, 0, 0};
    MifList list;
    list.Attach(bytes, sizeof bytes, sizeof bytes);
    EXPECT_EQ(1, list.FindValue(1, nullptr, nullptr, 1));
    EXPECT_EQ(0, list.FindValue(2, nullptr, nullptr, 1));
    EXPECT_EQ(0, list.FindValue(3, nullptr, nullptr, 1));
    EXPECT_EQ(0, list.IsFinalized());
    // A marker in the middle is not the end of a finalized list.
    uint8_t middle[] = {0xFF, 0xFF, 1, 0, 0, 0};
    list.Attach(middle, sizeof middle, sizeof middle);
    EXPECT_EQ(0, list.IsFinalized());
}

TEST(MifListGroup, NestsFinalizedAndUnfinalizedLists) {
    MifList sub;
    sub.AddInt(1, 1u);
    MifList outer;
    ASSERT_EQ(1, outer.AddGroup(9, sub));
    EXPECT_EQ((Bytes{9, 0, 10, 0, 1, 0, 4, 0, 1, 0, 0, 0, 0xFF, 0xFF}), Wire(outer));

    sub.Finalize();
    MifList again;
    again.AddGroup(9, sub);
    EXPECT_EQ(Wire(outer), Wire(again));

    MifList none, withNone;
    withNone.AddGroup(3, none);
    EXPECT_EQ((Bytes{3, 0, 2, 0, 0xFF, 0xFF}), Wire(withNone));

    withNone.AddGroup(4, withNone); // its own bytes, taken before it grows
    EXPECT_EQ(18u, withNone.GetSize());
}

TEST(MifListObject, CopyAssignAndReset) {
    MifList list;
    list.AddStr(1, "abc");
    MifList copy;
    copy = list;
    EXPECT_NE(list.GetData(), copy.GetData());
    EXPECT_EQ(Wire(list), Wire(copy));
    EXPECT_EQ(list.GetCapacity(), copy.GetCapacity());

    uint8_t caller[8] = {1, 0, 0, 0};
    MifList borrowed;
    borrowed.Attach(caller, sizeof caller, 4);
    MifList shared;
    shared = borrowed;
    EXPECT_EQ(caller, shared.GetData());
    EXPECT_TRUE(shared.IsBorrowed());

    copy.Assign(caller, 4);
    EXPECT_FALSE(copy.IsBorrowed());
    EXPECT_EQ(4u, copy.GetCapacity());
    copy.Assign(copy.GetData() + 2, 2); // source inside the buffer being replaced
    EXPECT_EQ((Bytes{0, 0}), Wire(copy));
    copy.Assign(nullptr, 5);
    EXPECT_EQ(nullptr, copy.GetData());
    EXPECT_EQ(0u, copy.GetSize());

    EXPECT_EQ(1, copy.Reset(64));
    EXPECT_EQ(64u, copy.GetCapacity());
    EXPECT_EQ(0u, copy.GetSize());
    EXPECT_EQ(1, copy.Reserve(64));
    EXPECT_EQ(64u, copy.GetCapacity());
    EXPECT_EQ(1, copy.Reserve(65));
    EXPECT_EQ(1065u, copy.GetCapacity());
}

TEST(MifListObject, RawAppendsAreLittleEndian) {
    MifList list;
    EXPECT_EQ(1, list.AppendU16(0x0102));
    EXPECT_EQ(1, list.AppendByte(3));
    EXPECT_EQ(1, list.AppendU32(0x04050607));
    EXPECT_EQ(1, list.AppendU64(0x08090A0B0C0D0E0Full));
    EXPECT_EQ(1, list.AppendText("hi"));
    EXPECT_EQ(0, list.AppendText(nullptr));
    EXPECT_EQ(0, list.AppendBytes(nullptr, 1));
    EXPECT_EQ((Bytes{2, 1, 3, 7, 6, 5, 4, 0xF, 0xE, 0xD, 0xC, 0xB, 0xA, 9, 8, 'h', 'i'}),
              Wire(list));
}

} // namespace

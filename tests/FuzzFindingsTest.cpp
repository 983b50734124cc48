// Faults that the fuzz harnesses of fuzz/ found, each pinned by the smallest case that
// showed it.
#include "attrlist/MifList.h"
#include "http/HttpClient.h"
#include "support/HttpClientHandle.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(const MifList& list) {
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

// An empty body announced by Content-Length is followed by its NUL even when more bytes
// arrived behind the header block.
TEST(FuzzFindings, EmptyAnnouncedBodyEndsAtOnce) {
    const char* const replies[] = {
        "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nextra bytes",
        "HTTP/1.0 200 OK\r\nContent-Length: none\r\n\r\nextra bytes",
    };
    for (size_t i = 0; i < sizeof replies / sizeof replies[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply(replies[i])});
        HttpClientHandle client = MakeHttpClient();
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        EXPECT_EQ(1, HttpClientGet(client.get(), "a"));
        EXPECT_EQ(0u, client->body_length);
        ASSERT_NE(nullptr, client->body);
        EXPECT_STREQ("", client->body);
    }
}

// A list finalized with one stray byte behind its end marker: the setters must append
// behind the records, not behind half of the marker, and a caller's bytes stay as they are.
TEST(FuzzFindings, StrayByteBehindEndMarker) {
    MifList list;
    ASSERT_EQ(1, list.AddInt(1, 5u));
    ASSERT_EQ(1, list.Finalize());
    ASSERT_EQ(1, list.AppendByte(0));
    ASSERT_EQ(1, list.IsFinalized());
    EXPECT_EQ(0, list.SetInt(2, 7u, 1));
    EXPECT_EQ((Bytes{1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 4, 0, 7, 0, 0, 0, 0xFF, 0xFF}), Wire(list));
    EXPECT_EQ(7u, list.GetInt(2));

    Bytes flat{1, 0, 2, 0, 1, 2, 0xFF, 0xFF, 0};
    const Bytes original = flat;
    EXPECT_EQ(0, MifFlatSetInt(flat.data(), static_cast<uint32_t>(flat.size()), 3, 7u, 1));
    EXPECT_EQ(original, flat);
}

// A value taken from the list's own buffer while the add has to grow that buffer: the
// bytes are read from where the growth moved them.
TEST(FuzzFindings, ValueFromOwnBufferWhileGrowing) {
    // Each add below needs more room than is left, so each one moves the buffer.
    MifList list;
    ASSERT_EQ(1, list.Reset(12));
    ASSERT_EQ(1, list.AddStr(1, "abcdefgh"));
    const uint32_t size = list.GetSize();
    ASSERT_EQ(list.GetCapacity(), size);
    const Bytes all = Wire(list);
    ASSERT_EQ(1, list.AddBin(2, list.GetData(), size));
    Bytes expected = all;
    expected.insert(expected.end(), {2, 0, static_cast<uint8_t>(size), 0});
    expected.insert(expected.end(), all.begin(), all.end());
    EXPECT_EQ(expected, Wire(list));

    MifList filler;
    const std::vector<char> big(3000, 'x');
    ASSERT_EQ(1, filler.AddBin(3, big.data(), static_cast<uint32_t>(big.size())));
    const Bytes before = Wire(filler);
    ASSERT_EQ(1, filler.AppendBytes(filler.GetData(), filler.GetSize()));
    Bytes doubled = before;
    doubled.insert(doubled.end(), before.begin(), before.end());
    EXPECT_EQ(doubled, Wire(filler));
}

// A setter appending to a finalized list in a caller's buffer that has room for the new
// record but not for the end marker behind it: the list stays as it was, finalized.
TEST(FuzzFindings, SetterKeepsMarkerInFullCallerBuffer) {
    struct Case {
        uint32_t capacity;
        int result;
        Bytes wire;
    };
    const Case cases[] = {
        {16, 0, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF}},
        {17, 0, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF}},
        {18, 1, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        Bytes buffer(cases[i].capacity, 0xA5);
        MifList list;
        ASSERT_EQ(1, list.Attach(buffer.data(), cases[i].capacity, 0));
        ASSERT_EQ(1, list.AddInt(1, 5u));
        ASSERT_EQ(1, list.AddBin(2, nullptr, 0));
        ASSERT_EQ(1, list.Finalize());
        // Occurrence 2 of tag 3 is missing, so the value is appended as a new record.
        list.SetStr(3, "", 2);
        EXPECT_EQ(cases[i].wire, Wire(list));
        EXPECT_EQ(1, list.IsFinalized());
        EXPECT_EQ(cases[i].result, list.Exists(3));
    }
}

} // namespace

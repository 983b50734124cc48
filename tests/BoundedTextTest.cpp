#include "text/BoundedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A guard byte after the declared size catches writes past it.
struct Guarded {
    char bytes[32];
    Guarded(const char* initial) {
        memset(bytes, '#', sizeof bytes);
        strcpy(bytes, initial);
    }
};

TEST(StrFormat, LegacyResultAroundTheBufferSize) {
    struct Case {
        size_t size;
        const char* text;
        const char* expect;
        int result;
    } cases[] = {
        {4, "abc", "abc", 3},    // fits with its terminator
        {4, "abcd", "abc", 4},   // exactly size characters
        {4, "abcdef", "abc", 3}, // longer than the buffer
        {1, "x", "", 1},         {1, "", "", 0}, {10, "", "", 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Guarded g("");
        int result = StrFormat(g.bytes, cases[i].size, "%s", cases[i].text);
        EXPECT_STREQ(cases[i].expect, g.bytes) << "case " << i;
        EXPECT_EQ(cases[i].result, result) << "case " << i;
        EXPECT_EQ('#', g.bytes[cases[i].size]) << "case " << i;
    }
}

TEST(StrFormat, SizeZeroWritesNothing) {
    char byte = 'q';
    EXPECT_EQ(0, StrFormat(&byte, 0, "%d", 12345));
    EXPECT_EQ('q', byte);
}

TEST(StrFormat, FormatsNumbersLikePrintf) {
    char buffer[64];
    EXPECT_EQ(21, StrFormat(buffer, sizeof buffer, "%d-%u-%02x-%lld", -5, 7u, 10, 1LL << 40));
    EXPECT_STREQ("-5-7-0a-1099511627776", buffer);
}

TEST(StrAppend, CutsToTheBuffer) {
    struct Case {
        size_t size;
        const char* start;
        const char* source;
        const char* expect;
    } cases[] = {
        {6, "abc", "xyz", "abcxy"},
        {6, "abc", "x", "abcx"},
        {6, "abc", "xy", "abcxy"},
        {4, "abcd", "x", "abc"},      // existing text exactly fills size: cut to size - 1
        {4, "abcdef", "x", "abcdef"}, // existing text longer than size: unchanged
        {8, "", "", ""},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Guarded g(cases[i].start);
        EXPECT_EQ(g.bytes, StrAppend(g.bytes, cases[i].size, cases[i].source)) << "case " << i;
        EXPECT_STREQ(cases[i].expect, g.bytes) << "case " << i;
    }
}

TEST(StrCopy, CutsAndTerminates) {
    Guarded g("");
    EXPECT_EQ(g.bytes, StrCopy(g.bytes, 3, "abcdef"));
    EXPECT_STREQ("ab", g.bytes);
    EXPECT_EQ('#', g.bytes[3]);
    StrCopy(g.bytes, 10, "hi");
    EXPECT_STREQ("hi", g.bytes);
    StrCopyN(g.bytes, 10, "abcdef", 2);
    EXPECT_STREQ("ab", g.bytes);
    StrCopyN(g.bytes, 4, "abcdef", 100);
    EXPECT_STREQ("abc", g.bytes);
    StrCopyN(g.bytes, 4, "abcdef", static_cast<size_t>(-1));
    EXPECT_STREQ("abc", g.bytes);
}

TEST(BoundedText, NullAndZeroSizeArguments) {
    char buffer[4] = "ab";
    EXPECT_EQ(nullptr, StrCopy(nullptr, 4, "x"));
    EXPECT_EQ(nullptr, StrCopy(buffer, 4, nullptr));
    EXPECT_EQ(nullptr, StrAppend(nullptr, 4, "x"));
    EXPECT_EQ(nullptr, StrAppend(buffer, 4, nullptr));
    EXPECT_EQ(buffer, StrCopy(buffer, 0, "zz"));
    EXPECT_EQ(buffer, StrAppend(buffer, 0, "zz"));
    EXPECT_STREQ("ab", buffer);
}

} // namespace

#include "text/BoundedText.h"
#include "TestHelpers.h"

#include <cstdint>
#include <cstring>

namespace {

// '#' bytes behind the text catch writes past the declared size.
struct Guarded {
    char bytes[32];
    explicit Guarded(const char* initial) {
        memset(bytes, '#', sizeof bytes);
        memcpy(bytes, initial, strlen(initial) + 1);
    }
};

TEST(StrFormat, LegacyResultAroundTheBufferSize) {
    struct Case {
        size_t size;
        const char* text;
        const char* expect;
        int result;
    } const cases[] = {
        {4, "abc", "abc", 3}, {4, "abcd", "abc", 4}, {4, "abcdef", "abc", 3},
        {1, "x", "", 1},      {1, "", "", 0},        {10, "", "", 0},
    };
    FOR_EACH_CASE(c, cases) {
        Guarded g("");
        EXPECT_EQ(c.result, StrFormat(g.bytes, c.size, "%s", c.text));
        EXPECT_STREQ(c.expect, g.bytes);
        EXPECT_EQ('#', g.bytes[c.size]);
    }
    char byte = 'q';
    EXPECT_EQ(0, StrFormat(&byte, 0, "%d", 12345));
    EXPECT_EQ('q', byte);
    char buffer[64];
    EXPECT_EQ(21, StrFormat(buffer, sizeof buffer, "%d-%u-%02x-%lld", -5, 7u, 10, 1LL << 40));
    EXPECT_STREQ("-5-7-0a-1099511627776", buffer);
}

TEST(StrAppend, CutsToTheBuffer) {
    struct Case {
        size_t size;
        const char *start, *source, *expect;
    } const cases[] = {
        {6, "abc", "xyz", "abcxy"},   {6, "abc", "x", "abcx"}, {6, "abc", "xy", "abcxy"},
        {4, "abcd", "x", "abc"},      // existing text exactly fills size: cut to size - 1
        {4, "abcdef", "x", "abcdef"}, // existing text longer than size: unchanged
    };
    FOR_EACH_CASE(c, cases) {
        Guarded g(c.start);
        EXPECT_EQ(g.bytes, StrAppend(g.bytes, c.size, c.source));
        EXPECT_STREQ(c.expect, g.bytes);
    }
}

TEST(StrCopy, CutsAndTerminates) {
    struct Case {
        size_t size;
        size_t n; // 0: StrCopy, else StrCopyN
        const char* expect;
    } const cases[] = {
        {3, 0, "ab"}, {10, 0, "abcdef"}, {10, 2, "ab"}, {4, 100, "abc"}, {4, SIZE_MAX, "abc"}};
    FOR_EACH_CASE(c, cases) {
        Guarded g("");
        if (c.n == 0) {
            EXPECT_EQ(g.bytes, StrCopy(g.bytes, c.size, "abcdef"));
        } else {
            StrCopyN(g.bytes, c.size, "abcdef", c.n);
        }
        EXPECT_STREQ(c.expect, g.bytes);
        EXPECT_EQ('#', g.bytes[c.size]);
    }
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

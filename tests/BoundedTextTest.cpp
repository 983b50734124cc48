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
        const char *text, *expect;
        int result;
    } const cases[] = {{4, "abc", "abc", 3},
                       {4, "abcd", "abc", 4},
                       {4, "abcdef", "abc", 3},
                       {1, "x", "", 1},
                       {1, "", "", 0}};
    FOR_EACH_CASE(c, cases) {
        Guarded g("");
        EXPECT_EQ(c.result, StrFormat(g.bytes, c.size, "%s", c.text));
        EXPECT_STREQ(c.expect, g.bytes);
        EXPECT_EQ('#', g.bytes[c.size]);
    }
    char byte = 'q';
    EXPECT_TRUE(StrFormat(&byte, 0, "%d", 12345) == 0 && byte == 'q');
    char buffer[64];
    EXPECT_EQ(21, StrFormat(buffer, sizeof buffer, "%d-%u-%02x-%lld", -5, 7u, 10, 1LL << 40));
    EXPECT_STREQ("-5-7-0a-1099511627776", buffer);
}

// Copies (n 0) and appends (n 1) into `size` bytes holding `start`; StrCopyN for other n.
TEST(StrCopyAndAppend, CutToTheBuffer) {
    struct Case {
        size_t size, n;
        const char *start, *source, *expect;
    } const cases[] = {{6, 1, "abc", "xyz", "abcxy"},   {6, 1, "abc", "xy", "abcxy"},
                       {4, 1, "abcd", "x", "abc"},      // exactly full: cut
                       {4, 1, "abcdef", "x", "abcdef"}, // longer than size: unchanged
                       {3, 0, "", "abcdef", "ab"},      {10, 0, "", "abcdef", "abcdef"},
                       {10, 2, "", "abcdef", "ab"},     {4, SIZE_MAX, "", "abcdef", "abc"}};
    FOR_EACH_CASE(c, cases) {
        Guarded g(c.start);
        if (c.n > 1)
            StrCopyN(g.bytes, c.size, c.source, c.n);
        else
            EXPECT_EQ(g.bytes, (c.n == 0 ? StrCopy : StrAppend)(g.bytes, c.size, c.source));
        EXPECT_STREQ(c.expect, g.bytes);
        EXPECT_TRUE(strlen(c.start) >= c.size || g.bytes[c.size] == '#');
    }
    char buffer[4] = "ab";
    EXPECT_TRUE(StrCopy(nullptr, 4, "x") == nullptr && StrCopy(buffer, 4, nullptr) == nullptr);
    EXPECT_TRUE(StrAppend(nullptr, 4, "x") == nullptr && StrAppend(buffer, 4, nullptr) == nullptr);
    EXPECT_TRUE(StrCopy(buffer, 0, "zz") == buffer && StrAppend(buffer, 0, "zz") == buffer);
    EXPECT_STREQ("ab", buffer);
}

} // namespace

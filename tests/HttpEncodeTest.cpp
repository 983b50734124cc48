#include "http/HttpEncode.h"
#include "TestHelpers.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string UrlEncode(const std::string& text, uint32_t lineLength) {
    char* encoded = HttpUrlEncode(text.c_str(), lineLength);
    std::string result = encoded != nullptr ? encoded : "(null)";
    free(encoded);
    return result;
}

// fuzz/http_encode_fuzz.cpp holds both encoders to reference models; these rows pin the
// character set and where a line break falls.
TEST(HttpUrlEncode, BytesAndLineBreaks) {
    struct Case {
        const char* text;
        uint32_t lineLength;
        const char* expect;
    } const cases[] = {
        {"AZaz09*-.@_ ~!/+=:%\xE9\x01\x7F", 0, "AZaz09*-.@_+%7E%21%2F%2B%3D%3A%25%E9%01%7F"},
        {"ab", 2, "ab"},
        {"abc", 2, "abc%0D%0A"}, // the break follows the byte that fills a line
        {"a b&", 1, "a+%0D%0Ab%0D%0A%26%0D%0A"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expect, UrlEncode(c.text, c.lineLength));
    }
    EXPECT_EQ(nullptr, HttpUrlEncode(nullptr, 0));
}

// Decodes into `room` bytes followed by guard bytes; the text written when the guard is
// untouched and the count covers every byte written ("&#0;" writes a NUL) before the NUL.
std::string Decode(const char* value, size_t room) {
    std::vector<char> buffer(room + 8, '#');
    const int result = HttpDecodeCharRefs(value, buffer.data(), room);
    const std::string text = room > 0 ? buffer.data() : "";
    const bool counted = room > 0 ? result >= static_cast<int>(text.size()) &&
                                        static_cast<size_t>(result) < room && buffer[result] == '\0'
                                  : result == 0;
    if (std::string(buffer.data() + room, 8) != "########" || !counted)
        return "(result " + std::to_string(result) + ")";
    return text;
}

TEST(HttpDecodeCharRefs, ReferencesAndRoom) {
    struct Case {
        const char* value;
        size_t room;
        const char* expect;
    } const cases[] = {
        {"x&#66;y", 64, "xBy"},
        {"&#x263A;", 64, "\xE2\x98\xBA"},
        {"&#X41;&#x6a;", 64, "Aj"},
        {"&#00000000000000065;", 64, "A"},                // ';' 19 characters after '&'
        {"a&#000000000000000065;b", 64, "ab"},            // 20 characters: dropped whole
        {"a&#65b", 64, "a#65b"},                          // never closed: the '&' goes
        {"&#65 &#66", 64, "#65 &#66"},                    // ...and the rest is plain
        {";&#65", 64, ";#65"},                            // a ';' before the '&' does not close it
        {"&#;&#x;&#6a5;&#-1;", 64, "&#;&#x;&#6a5;&#-1;"}, // no reference without digits only
        {"caf\xC3\xA9 &#233;", 64, "caf\xC3\xA9 \xC3\xA9"}, // UTF-8 input passes through
        {"a&#0;b", 64, "a"},                                // its NUL ends the text
        {"&#99999999999;", 64, "\xFD\xBF\xBF\xBF\xBF\xBF"}, // saturates at the largest value
        {"abc", 2, "a"},
        {"&#x263A;", 3, ""}, // three bytes and the NUL need four
        {"&#x263A;", 4, "\xE2\x98\xBA"},
        {"a&#x263A;b", 4, "a"}, // nothing after a character that did not fit
        {"\xC3\xA9x", 2, ""},   // a UTF-8 character is not split
        {"\xC3\xA9x", 3, "\xC3\xA9"},
        {"abc", 0, ""},
        {nullptr, 8, ""},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expect, Decode(c.value, c.room));
    }
}

TEST(Utf8EncodeCodePoint, LengthsAtEachBoundary) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
        {0x200000, "\xF8\x88\x80\x80\x80"},
        {0x3FFFFFF, "\xFB\xBF\xBF\xBF\xBF"},
        {0x4000000, "\xFC\x84\x80\x80\x80\x80"},
        {0xFFFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"}, // as 0x7FFFFFFF
    };
    FOR_EACH_CASE(c, cases) {
        const int length = static_cast<int>(strlen(c.second));
        char out[8] = "#######";
        EXPECT_EQ(length, Utf8EncodeCodePoint(nullptr, 0, c.first));
        EXPECT_EQ(-1, Utf8EncodeCodePoint(out, length - 1, c.first));
        EXPECT_EQ(length, Utf8EncodeCodePoint(out, length, c.first));
        EXPECT_EQ(std::string(c.second) + "#", std::string(out, length + 1));
    }
    char out[8];
    EXPECT_EQ(-1, Utf8EncodeCodePoint(out, -5, 0x41));
}

TEST(Base64Encode, VectorsAndRefusals) {
    // RFC 4648's vectors and both extra alphabet characters, each given exactly the room
    // of its text and NUL, and one byte less; line breaks are the fuzz harness's.
    const char* const foobar[] = {"Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "+/+/"};
    const char* const bytes[] = {"f", "fo", "foo", "foob", "\xFB\xFF\xBF"};
    char out[16];
    for (size_t n = 0; n < 5; ++n) {
        const size_t length = strlen(foobar[n]);
        EXPECT_EQ(0, Base64Encode(bytes[n], strlen(bytes[n]), out, length, 0));
        EXPECT_EQ(static_cast<int>(length),
                  Base64Encode(bytes[n], strlen(bytes[n]), out, length + 1, 0));
        EXPECT_STREQ(foobar[n], out);
    }
    EXPECT_EQ(0, Base64Encode("f", 1, nullptr, 16, 0));
    EXPECT_EQ(0, Base64Encode(nullptr, 1, out, sizeof out, 0));
    EXPECT_EQ(0, Base64Encode("", 0, out, 0, 0)); // no room even for the NUL
    out[0] = '#';
    EXPECT_EQ(0, Base64Encode("", 0, out, 1, 1)); // nothing to break into lines
    EXPECT_EQ('\0', out[0]);
}

} // namespace

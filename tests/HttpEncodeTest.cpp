#include "http/HttpEncode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string UrlEncode(const std::string& text, uint32_t lineLength) {
    char* encoded = HttpUrlEncode(text.c_str(), lineLength);
    EXPECT_NE(nullptr, encoded);
    std::string result = encoded != nullptr ? encoded : "";
    free(encoded);
    return result;
}

TEST(HttpUrlEncode, BytesAndLineBreaks) {
    struct Case {
        const char* text;
        uint32_t lineLength;
        const char* expect;
    } cases[] = {{"x y&z", 0, "x+y%26z"},
                 {"%", 0, "%25"},
                 {"\xE9\x01\x7F\xFF", 0, "%E9%01%7F%FF"},
                 {"AZaz09*-.@_", 0, "AZaz09*-.@_"},
                 {"~!/+=:", 0, "%7E%21%2F%2B%3D%3A"},
                 {"", 0, ""},
                 {"", 3, ""},
                 {"abcdef", 2, "abc%0D%0Ade%0D%0Af"},
                 {"ab", 2, "ab"},
                 {"abc", 2, "abc%0D%0A"}, // the break follows the byte that fills a line
                 {"abc", 1, "ab%0D%0Ac%0D%0A"},
                 {"a b&", 1, "a+%0D%0Ab%0D%0A%26%0D%0A"},
                 {"abcdef", 100, "abcdef"}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].expect, UrlEncode(cases[i].text, cases[i].lineLength)) << "case " << i;
    }
    EXPECT_EQ(nullptr, HttpUrlEncode(nullptr, 0));
}

TEST(HttpUrlEncode, WorstCaseFitsItsBuffer) {
    // Three bytes for each input byte and a break after nearly each: the sanitizer build
    // catches a write past the allocation.
    const std::string encoded = UrlEncode(std::string(4000, '\x01'), 1);
    EXPECT_EQ(3 * 4000 + 6 * 3999, encoded.size());
    EXPECT_EQ("%01%01%0D%0A%01", encoded.substr(0, 15));
}

struct Decoded {
    std::string text;
    int result;
};

// Decodes into a buffer of `room` bytes followed by guard bytes that must stay untouched.
Decoded Decode(const char* value, size_t room) {
    std::vector<char> buffer(room + 8, '#');
    Decoded decoded;
    decoded.result = HttpDecodeCharRefs(value, buffer.data(), room);
    EXPECT_EQ(std::string(8, '#'), std::string(buffer.data() + room, 8)) << value;
    decoded.text = room > 0 ? std::string(buffer.data()) : std::string();
    return decoded;
}

TEST(HttpDecodeCharRefs, References) {
    struct Case {
        const char* value;
        const char* expect;
    } cases[] = {{"x&#66;y", "xBy"},
                 {"&#x263A;", "\xE2\x98\xBA"},
                 {"&#X41;&#x6a;", "Aj"},
                 {"&#65;&#66;", "AB"},
                 {"&#00000000000000065;", "A"},     // ';' 19 characters after '&'
                 {"a&#000000000000000065;b", "ab"}, // 20 characters: dropped whole
                 {"&#x00000000000000041;.", "."},
                 {"a&#65b", "a#65b"},       // never closed: the '&' goes
                 {"&#65 &#66", "#65 &#66"}, // ...and the rest is plain
                 {";&#65", ";#65"},         // a ';' before the '&' does not close it
                 {"&#;&#x;&#6a5;&#-1;", "&#;&#x;&#6a5;&#-1;"}, // no reference without digits only
                 {"&amp;&#", "&amp;#"},
                 {"caf\xC3\xA9 &#233;", "caf\xC3\xA9 \xC3\xA9"}, // UTF-8 input passes through
                 {"\x80\xFF", "\x80\xFF"},
                 {"a&#0;b", "ab"}, // a NUL would end the text
                 {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
                 {"&#99999999999;", "\xFD\xBF\xBF\xBF\xBF\xBF"}, // saturates at the largest value
                 {"", ""}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Decoded decoded = Decode(cases[i].value, 64);
        EXPECT_EQ(cases[i].expect, decoded.text) << "case " << i;
        EXPECT_EQ(static_cast<int>(strlen(cases[i].expect)), decoded.result) << "case " << i;
    }
}

TEST(HttpDecodeCharRefs, StopsWhenTheRoomIsUsedUp) {
    struct Case {
        const char* value;
        size_t room;
        const char* expect;
    } cases[] = {{"abc", 2, "a"},
                 {"abc", 4, "abc"},
                 {"&#x263A;", 3, ""}, // three bytes and the NUL need four
                 {"&#x263A;", 4, "\xE2\x98\xBA"},
                 {"a&#x263A;b", 4, "a"}, // nothing after a character that did not fit
                 {"\xC3\xA9x", 2, ""},   // a UTF-8 character is not split
                 {"\xC3\xA9x", 3, "\xC3\xA9"},
                 {"abc", 1, ""}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Decoded decoded = Decode(cases[i].value, cases[i].room);
        EXPECT_EQ(cases[i].expect, decoded.text) << "case " << i;
        EXPECT_EQ(static_cast<int>(strlen(cases[i].expect)), decoded.result) << "case " << i;
    }
    Decoded none = Decode("abc", 0);
    EXPECT_EQ(0, none.result);
    Decoded nothing = Decode(nullptr, 8);
    EXPECT_EQ(0, nothing.result);
    EXPECT_EQ("", nothing.text);
}

TEST(Utf8EncodeCodePoint, LengthsAtEachBoundary) {
    struct Case {
        uint32_t codePoint;
        const char* bytes;
    } cases[] = {{0x41, "\x41"},
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
                 {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
                 {0xFFFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const int length = static_cast<int>(strlen(cases[i].bytes));
        char out[8];
        EXPECT_EQ(length, Utf8EncodeCodePoint(nullptr, 0, cases[i].codePoint)) << "case " << i;
        memset(out, '#', sizeof out);
        EXPECT_EQ(-1, Utf8EncodeCodePoint(out, length - 1, cases[i].codePoint)) << "case " << i;
        EXPECT_EQ('#', out[0]) << "case " << i;
        EXPECT_EQ(length, Utf8EncodeCodePoint(out, length, cases[i].codePoint)) << "case " << i;
        EXPECT_EQ(std::string(cases[i].bytes), std::string(out, length)) << "case " << i;
        EXPECT_EQ('#', out[length]) << "case " << i;
    }
    char out[8];
    EXPECT_EQ(-1, Utf8EncodeCodePoint(out, -5, 0x41));
}

std::string Base64(const std::string& bytes, bool lineBreaks) {
    std::vector<char> out(bytes.size() * 2 + 16, '#');
    const int length =
        Base64Encode(bytes.data(), bytes.size(), out.data(), out.size(), lineBreaks ? 1 : 0);
    EXPECT_EQ(strlen(out.data()), static_cast<size_t>(length));
    return std::string(out.data(), length);
}

TEST(Base64Encode, Rfc4648Vectors) {
    struct Case {
        const char* bytes;
        const char* expect;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"},
                 {"\xFB\xFF\xBF", "+/+/"},
                 {"user:password", "dXNlcjpwYXNzd29yZA=="}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].expect, Base64(cases[i].bytes, false)) << "case " << i;
        EXPECT_EQ(cases[i].expect, Base64(cases[i].bytes, true)) << "case " << i;
    }
}

TEST(Base64Encode, LinesOf64Characters) {
    for (size_t count : {0, 47, 48, 49, 96, 97, 500}) {
        const std::string bytes(count, '\xA5');
        std::string expect = Base64(bytes, false);
        for (size_t at = 64; at < expect.size(); at += 65) {
            expect.insert(at, "\n"); // between lines only, never at the end
        }
        EXPECT_EQ(expect, Base64(bytes, true)) << count;
    }
}

TEST(Base64Encode, DestinationMustHoldTextAndTerminator) {
    char out[16];
    memset(out, '#', sizeof out);
    EXPECT_EQ(0, Base64Encode("foobar", 6, out, 8, 0)); // 8 characters need 9 bytes
    EXPECT_EQ('#', out[0]);
    EXPECT_EQ(8, Base64Encode("foobar", 6, out, 9, 0));
    EXPECT_STREQ("Zm9vYmFy", out);
    EXPECT_EQ('#', out[9]);
    // 49 bytes with breaks: 68 characters, one LF and the NUL.
    std::string bytes(49, 'x');
    std::vector<char> big(80, '#');
    EXPECT_EQ(0, Base64Encode(bytes.data(), bytes.size(), big.data(), 69, 1));
    EXPECT_EQ(68, Base64Encode(bytes.data(), bytes.size(), big.data(), 69, 0));
    EXPECT_EQ(69, Base64Encode(bytes.data(), bytes.size(), big.data(), 70, 1));
    EXPECT_EQ('#', big[70]);
    EXPECT_EQ(0, Base64Encode("f", 1, nullptr, 16, 0));
    EXPECT_EQ(0, Base64Encode(nullptr, 1, out, sizeof out, 0));
    EXPECT_EQ(0, Base64Encode("", 0, out, 0, 0)); // no room even for the NUL
}

} // namespace

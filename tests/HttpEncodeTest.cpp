#include "http/HttpEncode.h"
#include "TestHelpers.h"
#include "http/HttpUrl.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace {

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

// URL encoding (the number is the line length) and character references (the number is the
// room they are decoded into).
TEST(HttpEncode, UrlEncodingAndCharacterReferences) {
    const std::tuple<bool, const char*, size_t, const char*> cases[] = {
        {1, "AZaz09*-.@_ ~!/+=:%\xE9\x01\x7F", 0, "AZaz09*-.@_+%7E%21%2F%2B%3D%3A%25%E9%01%7F"},
        {1, "ab", 2, "ab"},
        {1, "abc", 2, "abc%0D%0A"}, // the break follows the byte that fills a line
        {1, "a b&", 1, "a+%0D%0Ab%0D%0A%26%0D%0A"},
        {0, "x&#66;y", 64, "xBy"},
        {0, "&#X41;&#x6a;", 64, "Aj"},
        {0, "&#00000000000000065;", 64, "A"},     // ';' 19 characters after '&'
        {0, "a&#000000000000000065;b", 64, "ab"}, // 20 characters: dropped whole
        {0, "a&#65b", 64, "a#65b"},               // never closed: the '&' goes
        {0, "&#65 &#66", 64, "#65 &#66"},         // ...and the rest is plain
        {0, ";&#65", 64, ";#65"},                 // a ';' before the '&' does not close it
        {0, "&#;&#x;&#6a5;&#-1;", 64, "&#;&#x;&#6a5;&#-1;"},   // no reference without digits only
        {0, "caf\xC3\xA9 &#233;", 64, "caf\xC3\xA9 \xC3\xA9"}, // UTF-8 input passes through
        {0, "a&#0;b", 64, "a"},                                // its NUL ends the text
        {0, "&#99999999999;", 64, "\xFD\xBF\xBF\xBF\xBF\xBF"}, // saturates at the largest value
        {0, "abc", 2, "a"},
        {0, "&#x263A;", 3, ""}, // three bytes and the NUL need four
        {0, "&#x263A;", 4, "\xE2\x98\xBA"},
        {0, "a&#x263A;b", 4, "a"}, // nothing after a character that did not fit
        {0, "\xC3\xA9x", 2, ""},   // a UTF-8 character is not split
        {0, "\xC3\xA9x", 3, "\xC3\xA9"},
        {0, "abc", 0, ""},
        {0, nullptr, 8, ""},
    };
    FOR_EACH_CASE(c, cases) {
        char* encoded = std::get<0>(c) ? HttpUrlEncode(std::get<1>(c), std::get<2>(c)) : nullptr;
        EXPECT_EQ(std::get<3>(c), std::get<0>(c) ? std::string(encoded ? encoded : "(null)")
                                                 : Decode(std::get<1>(c), std::get<2>(c)));
        free(encoded);
    }
    EXPECT_EQ(nullptr, HttpUrlEncode(nullptr, 0));
}

// Each length's first and last code point, each given exactly its room and one byte less;
// the largest is written as 0x7FFFFFFF.
TEST(Utf8EncodeCodePoint, LengthsAtEachBoundary) {
    const uint32_t points[] = {0x7F,     0x80,     0x7FF,     0x800,     0xFFFF,    0x10000,
                               0x1FFFFF, 0x200000, 0x3FFFFFF, 0x4000000, 0xFFFFFFFF};
    std::string written; // each character followed by the guard byte behind it
    for (uint32_t point : points) {
        char out[8] = "#######";
        const int length = Utf8EncodeCodePoint(nullptr, 0, point);
        EXPECT_EQ(-1, Utf8EncodeCodePoint(out, length - 1, point)) << point;
        EXPECT_EQ(length, Utf8EncodeCodePoint(out, length, point)) << point;
        written.append(out, static_cast<size_t>(std::clamp(length + 1, 0, 8)));
    }
    EXPECT_EQ("\x7F#\xC2\x80#\xDF\xBF#\xE0\xA0\x80#\xEF\xBF\xBF#\xF0\x90\x80\x80#\xF7\xBF\xBF\xBF#"
              "\xF8\x88\x80\x80\x80#\xFB\xBF\xBF\xBF\xBF#\xFC\x84\x80\x80\x80\x80#"
              "\xFD\xBF\xBF\xBF\xBF\xBF#",
              written);
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

// fuzz/text_fuzz.cpp models the split and plain decimal ports; these are the port texts
// it leaves to the conversion, and what a refusal leaves behind: "result secure host port
// path" (null texts as "-").
TEST(HttpUrlParse, Table) {
    const std::string zeros(197, '0'); // port texts of 199 and 200 characters
    const std::tuple<std::string, uint32_t, const char*> cases[] = {
        {"hTtPs://H/", 8000, "1 1 H 443 "},
        {"http://H:/a", 80, "1 0 H 0 a"},
        {"http://H: 12x/a", 80, "1 0 H 12 a"},
        {"http://H:-1/a", 80, "1 0 H 4294967295 a"},
        {"http://H:99999999999/a", 80, "1 0 H 2147483647 a"},
        {"http://H:" + zeros + "43/p", 80, "1 0 H 43 p"},
        {"http://H:" + zeros + "043/p", 80, "0 0 H 80 -"}, // refused, not cut
        {"/a", 8000, "1 0  8000 a"},
        {"http://H", 80, "0 0 - 80 -"},
        {"http://H:8080", 80, "0 0 H 80 -"},
        {"https://H", 80, "0 1 - 443 -"},
    };
    FOR_EACH_CASE(c, cases) {
        HttpUrl url = {};
        const int result = HttpUrlParse(std::get<0>(c).c_str(), &url, std::get<1>(c));
        EXPECT_EQ(std::get<2>(c), std::to_string(result) + " " + std::to_string(url.secure) + " " +
                                      (url.host ? url.host : "-") + " " + std::to_string(url.port) +
                                      " " + (url.path ? url.path : "-"));
        HttpUrlRelease(&url);
    }
    char host[] = "keep";
    HttpUrl url = {7, host, 1234, nullptr};
    EXPECT_EQ(0, HttpUrlParse(nullptr, &url, 80));
    EXPECT_TRUE(url.secure == 7 && url.host == host && url.port == 1234);
}

} // namespace

// The text encoders of the HTTP client: HttpDecodeCharRefs, HttpUrlEncode, Base64Encode
// and Utf8EncodeCodePoint.
//
// Input: byte 0 is the room given to the decoder, byte 1 the line length of the
// urlencoding, byte 2 the Base64 line-break flag (bit 0); the rest is the text (up to its
// first NUL for the text functions, whole for Base64), whose first four bytes also make
// a code point.
//
// Properties: the decoder never writes past its room, always terminates, returns the
// count it wrote, gives with less room a prefix of what it gives with enough, never
// lengthens its input and copies a text without references unchanged; urlencoding gives
// exactly the encoding and line breaks described in HttpEncode.h; Base64 has length
// 4 * ceil(n / 3) plus one LF per full line, needs exactly that room and decodes back to
// the input; a code point takes the bytes it says and decodes back.
#include "http/HttpEncode.h"

#include "fuzz/FuzzSupport.h"

#include <string>

namespace {

std::string Decode(const std::string& text, size_t room) {
    ExactBuffer out(room);
    const int written = HttpDecodeCharRefs(text.c_str(), out.Get(), room);
    if (room == 0) {
        FUZZ_CHECK(written == 0);
        FUZZ_CHECK(static_cast<unsigned char>(out.Get()[0]) == 0xA5); // nothing written
        return "";
    }
    FUZZ_CHECK(written >= 0 && static_cast<size_t>(written) < room);
    FUZZ_CHECK(out.Get()[written] == '\0');
    // A reference to code point 0 writes a NUL of its own, which ends the text early.
    FUZZ_CHECK(strlen(out.Get()) <= static_cast<size_t>(written));
    return std::string(out.Get(), static_cast<size_t>(written));
}

void CheckDecode(const std::string& text, size_t room) {
    const std::string full = Decode(text, text.size() + 1);
    FUZZ_CHECK(full.size() <= text.size());
    if (text.find('&') == std::string::npos)
        FUZZ_CHECK(full == text);
    const std::string cut = Decode(text, room);
    FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0);
    char none[1] = {'x'};
    FUZZ_CHECK(HttpDecodeCharRefs(nullptr, none, sizeof none) == 0 && none[0] == '\0');
}

void CheckUrlEncode(const std::string& text, uint32_t lineLength) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string expected;
    uint32_t counter = 0;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            strchr("*-.@_", c) != nullptr) {
            expected += static_cast<char>(c);
        } else if (c == ' ') {
            expected += '+';
        } else {
            expected += '%';
            expected += kHex[c >> 4];
            expected += kHex[c & 15];
        }
        if (lineLength != 0) {
            if (counter == lineLength) {
                expected += "%0D%0A";
                counter = 0;
            }
            ++counter;
        }
    }
    char* encoded = HttpUrlEncode(text.c_str(), lineLength);
    FUZZ_CHECK(encoded != nullptr);
    FUZZ_CHECK(expected == encoded);
    free(encoded);
}

int Base64Value(char c) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = strchr(kAlphabet, c);
    return c != '\0' && at != nullptr ? static_cast<int>(at - kAlphabet) : -1;
}

void CheckBase64(const std::string& bytes, int lineBreaks) {
    const size_t characters = (bytes.size() + 2) / 3 * 4;
    const size_t breaks = lineBreaks && characters > 0 ? (characters - 1) / 64 : 0;
    const size_t length = characters + breaks;

    ExactBuffer tight(length);
    FUZZ_CHECK(Base64Encode(bytes.data(), bytes.size(), tight.Get(), length, lineBreaks) == 0);
    ExactBuffer text(length + 1);
    const int written =
        Base64Encode(bytes.data(), bytes.size(), text.Get(), length + 1, lineBreaks);
    FUZZ_CHECK(written >= 0 && static_cast<size_t>(written) == length);
    FUZZ_CHECK(text.Get()[length] == '\0');

    // Lines of 64 characters, no LF at the end, and the bytes back when decoded.
    std::string decoded;
    uint32_t group = 0;
    int held = 0;
    size_t column = 0;
    size_t fill = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text.Get()[i];
        if (c == '\n') {
            FUZZ_CHECK(lineBreaks && column == 64 && i + 1 < length);
            column = 0;
            continue;
        }
        ++column;
        FUZZ_CHECK(column <= 64 || !lineBreaks);
        if (c == '=') {
            ++fill;
            continue;
        }
        FUZZ_CHECK(fill == 0);
        const int value = Base64Value(c);
        FUZZ_CHECK(value >= 0);
        group = (group << 6) | static_cast<uint32_t>(value);
        if (++held == 4) {
            decoded += static_cast<char>(group >> 16);
            decoded += static_cast<char>(group >> 8);
            decoded += static_cast<char>(group);
            group = 0;
            held = 0;
        }
    }
    FUZZ_CHECK(fill == (3 - bytes.size() % 3) % 3);
    if (held == 3) { // two bytes and one '='
        decoded += static_cast<char>(group >> 10);
        decoded += static_cast<char>(group >> 2);
    } else if (held == 2) { // one byte and two '='
        decoded += static_cast<char>(group >> 4);
    }
    FUZZ_CHECK(decoded == bytes);
}

void CheckCodePoint(uint32_t codePoint) {
    const int length = Utf8EncodeCodePoint(nullptr, 0, codePoint);
    FUZZ_CHECK(length >= 1 && length <= 6);
    ExactBuffer tight(static_cast<size_t>(length - 1));
    FUZZ_CHECK(Utf8EncodeCodePoint(tight.Get(), length - 1, codePoint) == -1);
    ExactBuffer out(static_cast<size_t>(length));
    FUZZ_CHECK(Utf8EncodeCodePoint(out.Get(), length, codePoint) == length);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(out.Get());
    uint32_t decoded;
    if (length == 1) {
        decoded = bytes[0];
        FUZZ_CHECK(decoded < 0x80);
    } else {
        const unsigned char leadBits = static_cast<unsigned char>(0xFF << (7 - length));
        FUZZ_CHECK((bytes[0] & leadBits) == static_cast<unsigned char>(leadBits << 1));
        decoded = bytes[0] & static_cast<unsigned char>(~leadBits);
        for (int i = 1; i < length; ++i) {
            FUZZ_CHECK((bytes[i] & 0xC0) == 0x80);
            decoded = (decoded << 6) | (bytes[i] & 0x3Fu);
        }
    }
    FUZZ_CHECK(decoded == (codePoint > 0x7FFFFFFF ? 0x7FFFFFFFu : codePoint));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t room = input.Byte();
    const uint32_t lineLength = input.Byte();
    const int lineBreaks = input.Byte() & 1;
    const std::string bytes = input.Rest();
    const std::string text = bytes.c_str();

    CheckDecode(text, room);
    CheckUrlEncode(text, lineLength);
    CheckUrlEncode(text, 0);
    CheckBase64(bytes, lineBreaks);
    FuzzInput codePoints(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    CheckCodePoint(codePoints.U32());
    return 0;
}

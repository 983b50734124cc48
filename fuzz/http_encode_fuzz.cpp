// The text encoders HttpDecodeCharRefs, HttpUrlEncode and Base64Encode against reference
// models. Input: byte 0 is the decoder's room, byte 1 the urlencoding's line length, bit 0
// of byte 2 Base64's line-break flag; the rest is the text (up to its first NUL, whole for
// Base64). The decoder stays in its room, terminates, returns the count it wrote, gives a
// prefix of its full result with less room and copies a text without '&' unchanged.
#include "http/HttpEncode.h"

#include "fuzz/FuzzSupport.h"

#include <cctype>

namespace {

std::string Decode(const std::string& text, size_t room) {
    ExactBuffer out(room);
    const int written = HttpDecodeCharRefs(text.c_str(), out.Get(), room);
    if (room == 0) {
        FUZZ_CHECK(written == 0 && static_cast<unsigned char>(out.Get()[0]) == 0xA5);
        return "";
    }
    FUZZ_CHECK(written >= 0 && static_cast<size_t>(written) < room && out.Get()[written] == 0);
    FUZZ_CHECK(strlen(out.Get()) <= static_cast<size_t>(written)); // "&#0;" writes a NUL
    return std::string(out.Get(), static_cast<size_t>(written));
}

void CheckUrlEncode(const std::string& text, uint32_t lineLength) {
    std::string expected;
    uint32_t counter = 0;
    for (unsigned char c : text) {
        if (isalnum(c) || strchr("*-.@_", c) != nullptr)
            expected += static_cast<char>(c);
        else if (c == ' ')
            expected += '+';
        else
            expected += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
        if (lineLength != 0 && counter++ == lineLength) {
            expected += "%0D%0A";
            counter = 1;
        }
    }
    char* encoded = HttpUrlEncode(text.c_str(), lineLength);
    FUZZ_CHECK(encoded != nullptr && expected == encoded);
    free(encoded);
}

void CheckBase64(const std::string& bytes, int lineBreaks) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string expected;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (i + k < bytes.size() ? static_cast<uint8_t>(bytes[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            expected += k <= bytes.size() - i ? kAlphabet[group >> (18 - 6 * k) & 63] : '=';
    }
    for (size_t at = 64; lineBreaks && at < expected.size(); at += 65)
        expected.insert(at, "\n");
    const size_t length = expected.size();
    ExactBuffer tight(length), text(length + 1);
    FUZZ_CHECK(Base64Encode(bytes.data(), bytes.size(), tight.Get(), length, lineBreaks) == 0);
    FUZZ_CHECK(Base64Encode(bytes.data(), bytes.size(), text.Get(), length + 1, lineBreaks) ==
               static_cast<int>(length));
    FUZZ_CHECK(memcmp(text.Get(), expected.c_str(), length + 1) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t room = input.Byte();
    const uint32_t lineLength = input.Byte();
    const int lineBreaks = input.Byte() & 1;
    const std::string bytes = input.Rest(), text = bytes.c_str();
    const std::string full = Decode(text, text.size() + 1), cut = Decode(text, room);
    FUZZ_CHECK(full.size() <= text.size() && full.compare(0, cut.size(), cut) == 0);
    FUZZ_CHECK(text.find('&') != std::string::npos || full == text);
    CheckUrlEncode(text, lineLength);
    CheckUrlEncode(text, 0);
    CheckBase64(bytes, lineBreaks);
    return 0;
}

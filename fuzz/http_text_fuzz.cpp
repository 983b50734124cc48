// The HTTP text parsers and encoders over one text: HttpDateParse, HttpUrlParse,
// HttpDecodeCharRefs, HttpUrlEncode and Base64Encode. Byte 0 is the decoder's room, byte 1
// the urlencoding's line length, bit 0 of byte 2 Base64's line-break flag; the rest is the
// text (up to its first NUL, whole for Base64). The first 8 bytes are also a time.
//
// Dates: any text gives a time or -1; any time formats within 40 bytes, and within
// 1970-2100 (the leap-day count's range) parses back to itself. URLs: the text is split
// where its first ':' (or, without one, the first '/') says, host and path are exact pieces
// of it, a plain decimal port is read as written and the scheme sets the secure flag and the
// default port; a URL is refused without a '/' behind host or port, or with a port text of
// 200 characters or more; an empty text leaves the record untouched; Release clears it.
// Encoders: urlencoding and Base64 equal their models; the decoder stays in its room,
// terminates, returns the count it wrote, gives a prefix of its full result with less room
// and copies a text without '&' unchanged.
#include "http/HttpDate.h"
#include "http/HttpEncode.h"
#include "http/HttpUrl.h"

#include "fuzz/FuzzSupport.h"

#include <cctype>
#include <strings.h>

namespace {

constexpr int64_t kLastTime = 4133980799; // 2100-12-31 23:59:59 UTC

void CheckDate(const std::string& text, uint64_t time) {
    ExactBuffer exact(text.size() + 1);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);
    const int64_t parsed = HttpDateParse(exact.Get());
    for (int64_t t :
         {parsed, static_cast<int64_t>(time), static_cast<int64_t>(time % (kLastTime + 1))}) {
        ExactBuffer formatted(40);
        HttpDateFormat(t, formatted.Get());
        FUZZ_CHECK(formatted.Terminated());
        if (t >= 0 && t <= kLastTime && HttpDateParse(formatted.Get()) != t) {
            fprintf(stderr, "%lld formatted as \"%s\"\n", static_cast<long long>(t),
                    formatted.Get());
            abort();
        }
    }
}

void CheckUrl(const std::string& text) {
    ExactBuffer exact(text.size() + 1);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);
    HttpUrl url, cleared;
    memset(&url, 0x5A, sizeof url);
    memset(&cleared, 0x5A, sizeof cleared);
    const int result = HttpUrlParse(exact.Get(), &url, 8080);
    if (text.empty()) {
        FUZZ_CHECK(result == 0 && memcmp(&url, &cleared, sizeof url) == 0);
        return;
    }
    const bool secure = strncasecmp(text.c_str(), "https://", 8) == 0;
    const size_t rest = secure ? 8 : strncasecmp(text.c_str(), "http://", 7) == 0 ? 7 : 0;
    uint32_t port = secure ? 443 : rest != 0 ? 80 : 8080;
    const size_t colon = text.find(':', rest);
    const size_t slash = text.find('/', colon != std::string::npos ? colon + 1 : rest);
    const size_t hostEnd = colon != std::string::npos ? colon : slash;
    bool accepted = slash != std::string::npos;
    if (accepted && colon != std::string::npos) {
        const std::string portText = text.substr(colon + 1, slash - colon - 1);
        accepted = portText.size() < 200;
        if (!portText.empty() && portText.size() <= 9 &&
            portText.find_first_not_of("0123456789") == std::string::npos)
            port = static_cast<uint32_t>(std::stoul(portText));
        else
            port = url.port; // other port texts: only their conversion decides
    }
    FUZZ_CHECK(result == (accepted ? 1 : 0));
    if (result == 1) {
        FUZZ_CHECK(url.secure == (secure ? 1u : 0u) && url.port == port);
        FUZZ_CHECK(url.host != nullptr && url.path != nullptr);
        FUZZ_CHECK(text.compare(rest, hostEnd - rest, url.host) == 0);
        FUZZ_CHECK(strlen(url.host) == hostEnd - rest);
        FUZZ_CHECK(text.compare(slash + 1, std::string::npos, url.path) == 0);
    }
    HttpUrlRelease(&url);
    memset(&cleared, 0, sizeof cleared);
    FUZZ_CHECK(memcmp(&url, &cleared, sizeof url) == 0);
    HttpUrlRelease(&url); // safe on a cleared record
}

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
    const uint64_t time = FuzzInput(data, size).Number<uint64_t>();
    const size_t room = input.Byte();
    const uint32_t lineLength = input.Byte();
    const int lineBreaks = input.Byte() & 1;
    const std::string bytes = input.Rest(), text = bytes.c_str();
    CheckDate(text, time);
    CheckUrl(text);
    const std::string full = Decode(text, text.size() + 1), cut = Decode(text, room);
    FUZZ_CHECK(full.size() <= text.size() && full.compare(0, cut.size(), cut) == 0);
    FUZZ_CHECK(text.find('&') != std::string::npos || full == text);
    CheckUrlEncode(text, lineLength);
    CheckUrlEncode(text, 0);
    CheckBase64(bytes, lineBreaks);
    return 0;
}

// HttpUrlParse over arbitrary texts.
//
// Input: the whole input is the URL text (up to its first NUL).
//
// Properties: an empty text leaves the record untouched; an accepted URL is split where
// the first ':' (or, without one, the first '/') says, its host and path are the exact
// pieces of the text, a plain decimal port is read as written, and the scheme sets the
// secure flag and the default port; a refused URL has no '/' after its host or port, or
// an over-long port text; release clears every field.
#include "http/HttpUrl.h"

#include "fuzz/FuzzSupport.h"

#include <string>

namespace {

constexpr uint32_t kDefaultPort = 8080;
constexpr size_t kPortTextLimit = 200;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t n = strlen(prefix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c =
            text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = std::string(reinterpret_cast<const char*>(data), size).c_str();
    ExactBuffer exact(text.size() + 1);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);

    HttpUrl url;
    memset(&url, 0x5A, sizeof url);
    const int result = HttpUrlParse(exact.Get(), &url, kDefaultPort);
    if (text.empty()) {
        HttpUrl untouched;
        memset(&untouched, 0x5A, sizeof untouched);
        FUZZ_CHECK(result == 0 && memcmp(&url, &untouched, sizeof url) == 0);
        return 0;
    }
    FUZZ_CHECK(result == 0 || result == 1);

    // What the split must be.
    uint32_t secure = 0;
    uint32_t port = kDefaultPort;
    size_t rest = 0;
    if (StartsWithNoCase(text, "https://")) {
        secure = 1;
        port = 443;
        rest = 8;
    } else if (StartsWithNoCase(text, "http://")) {
        port = 80;
        rest = 7;
    }
    const size_t colon = text.find(':', rest);
    const size_t slash = text.find('/', colon != std::string::npos ? colon + 1 : rest);
    const size_t hostEnd = colon != std::string::npos ? colon : slash;
    bool accepted = slash != std::string::npos;
    if (accepted && colon != std::string::npos) {
        const std::string portText = text.substr(colon + 1, slash - colon - 1);
        accepted = portText.size() < kPortTextLimit;
        if (!portText.empty() && portText.size() <= 9 &&
            portText.find_first_not_of("0123456789") == std::string::npos)
            port = static_cast<uint32_t>(std::stoul(portText));
        else if (colon != std::string::npos)
            port = url.port; // other port texts: only their conversion decides
    }

    FUZZ_CHECK(result == (accepted ? 1 : 0));
    if (result == 1) {
        FUZZ_CHECK(url.secure == secure);
        FUZZ_CHECK(url.port == port);
        FUZZ_CHECK(url.host != nullptr && url.path != nullptr);
        FUZZ_CHECK(text.compare(rest, hostEnd - rest, url.host) == 0);
        FUZZ_CHECK(strlen(url.host) == hostEnd - rest);
        FUZZ_CHECK(text.compare(slash + 1, std::string::npos, url.path) == 0);
    }

    HttpUrlRelease(&url);
    HttpUrl cleared;
    memset(&cleared, 0, sizeof cleared);
    FUZZ_CHECK(memcmp(&url, &cleared, sizeof url) == 0);
    HttpUrlRelease(&url); // safe on a cleared record
    return 0;
}

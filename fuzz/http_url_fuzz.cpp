// HttpUrlParse over arbitrary texts (up to the first NUL). An empty text leaves the
// record untouched; otherwise the text is split where its first ':' (or, without one, the
// first '/') says, host and path are exact pieces of it, a plain decimal port is read as
// written and the scheme sets the secure flag and the default port; a URL is refused
// without a '/' behind host or port, or with a port text of 200 characters or more.
// Release clears every field.
#include "http/HttpUrl.h"

#include "fuzz/FuzzSupport.h"

#include <strings.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = std::string(reinterpret_cast<const char*>(data), size).c_str();
    ExactBuffer exact(text.size() + 1);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);
    HttpUrl url, cleared;
    memset(&url, 0x5A, sizeof url);
    memset(&cleared, 0x5A, sizeof cleared);
    const int result = HttpUrlParse(exact.Get(), &url, 8080);
    if (text.empty()) {
        FUZZ_CHECK(result == 0 && memcmp(&url, &cleared, sizeof url) == 0);
        return 0;
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
    return 0;
}

#include "http/HttpUrl.h"

#include "http/HttpText.h"

#include <cstdlib>
#include <cstring>

namespace {

// Longest port text accepted, with room for the terminator; a longer one is refused
// rather than cut, since a cut text could still read as a different valid port.
constexpr size_t kPortTextSize = 200;

} // namespace

int HttpUrlParse(const char* text, HttpUrl* url, uint32_t defaultPort) {
    if (text == nullptr || text[0] == '\0' || url == nullptr)
        return 0;
    memset(url, 0, sizeof(*url));
    url->port = defaultPort;

    size_t length = strlen(text);
    const char* rest = text;
    if (HttpStartsWithNoCase(text, length, "https://")) {
        url->secure = 1;
        url->port = 443;
        rest += 8;
    } else if (HttpStartsWithNoCase(text, length, "http://")) {
        url->port = 80;
        rest += 7;
    }

    const char* colon = strchr(rest, ':');
    const char* slash;
    if (colon != nullptr) {
        url->host = HttpCopyText(rest, static_cast<size_t>(colon - rest));
        if (url->host == nullptr)
            return 0;
        slash = strchr(colon + 1, '/');
        if (slash == nullptr)
            return 0;
        size_t portLength = static_cast<size_t>(slash - colon - 1);
        if (portLength >= kPortTextSize)
            return 0;
        url->port = static_cast<uint32_t>(HttpLeadingInt(colon + 1, portLength));
    } else {
        slash = strchr(rest, '/');
        if (slash == nullptr)
            return 0;
        url->host = HttpCopyText(rest, static_cast<size_t>(slash - rest));
        if (url->host == nullptr)
            return 0;
    }
    url->path = HttpCopyText(slash + 1, strlen(slash + 1));
    return url->path != nullptr ? 1 : 0;
}

void HttpUrlRelease(HttpUrl* url) {
    if (url == nullptr)
        return;
    free(url->host);
    free(url->path);
    memset(url, 0, sizeof(*url));
}

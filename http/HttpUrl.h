// HttpUrl: a URL split into scheme flag, host, port and path.
//
// Accepted forms: [http:// | https://]host[:port]/path. The scheme is optional and
// matched ignoring case; "https://" only selects port 443 (there is no TLS layer). The
// host is everything before the first ':' (or, without one, before the first '/'), so
// user information is not recognised and a ':' inside the path is taken as the port
// separator. Every accepted URL has a '/' after the host or port; the path is what
// follows that '/' and may be empty.
#pragma once

#include <cstdint>

struct HttpUrl {
    uint32_t secure; // 1 when the URL began with "https://"
    char* host;      // owned, as written in the URL
    uint32_t port;   // default, scheme default or parsed; only the low 16 bits are used
    char* path;      // owned, without the '/' that ends the host or port; may be empty
};

// Parses `text` into `url`. A null or empty text returns 0 and leaves the record
// untouched; otherwise the record is cleared first (its texts must not be owned at that
// point: release a used record before reusing it). Returns 1 on success and 0 when no
// '/' follows the host or port, when the port text is 200 characters or longer, or when
// memory runs out; what was filled in before the failure stays for HttpUrlRelease.
// The port text is converted from its leading digits (optional sign; none give 0).
int HttpUrlParse(const char* text, HttpUrl* url, uint32_t defaultPort);

// Frees the texts and clears every field; safe on a cleared record.
void HttpUrlRelease(HttpUrl* url);

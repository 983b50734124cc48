// The HTTP client the update check and the signed fetch share: the same URL and proxy rules,
// and the same one redirect.
#pragma once

#include "http/HttpClient.h"
#include "http/HttpUrl.h"

#include <cstdint>

// A client for `url` with the URL parsed into `location`, through proxyHost:proxyPort when
// proxyHost is neither null nor empty. Null, with `location` released, when the URL does not
// parse, when the proxy name does not fit the client's field (cut, it would name another
// host) or when memory runs out.
HttpClient* UpdateClientOpen(const char* url, const char* proxyHost, uint16_t proxyPort,
                             HttpUrl* location);

// Follows the answer's "Location: " (read into `target`, kUpdateValueSize bytes): closes the
// connection, parses the target into `location` and connects there. The caller sends the GET,
// since the request's settings lasted one request. False when any step fails.
bool UpdateClientFollow(HttpClient* client, HttpUrl* location, char* target);

// Releases what UpdateClientOpen made; `client` may be null.
void UpdateClientClose(HttpClient* client, HttpUrl* location);

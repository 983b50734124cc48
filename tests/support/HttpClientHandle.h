// Test helpers around HttpClient: an owning handle and port substitution in expected
// request texts.
#pragma once

#include "http/HttpClient.h"

#include <cstdlib>
#include <memory>
#include <string>

struct HttpClientDeleter {
    void operator()(HttpClient* client) const {
        HttpClientDestroy(client);
        free(client);
    }
};
using HttpClientHandle = std::unique_ptr<HttpClient, HttpClientDeleter>;

// A client with its own connection and the given receive/connect time-out.
inline HttpClientHandle MakeHttpClient(uint32_t timeout = 5) {
    HttpClientHandle client(HttpClientCreate(nullptr));
    if (client)
        client->connection->timeout = timeout;
    return client;
}

// Replaces each "{port}" in `text` by `port`.
inline std::string WithPort(std::string text, unsigned port) {
    const std::string mark = "{port}";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
        text.replace(at, mark.size(), std::to_string(port));
    return text;
}

// The update service's operations. The library's two exports forward to UpdateCheck and
// UpdateDownload; the command-line tool calls them directly, since it also wants the
// downloader's error text and proxy credentials, which the exports do not carry.
#pragma once

#include "update/kivupdate.h"

#include <cstddef>
#include <cstdint>

// The longest proxy host name the clients hold (their 128-byte field less the terminator).
constexpr size_t kMaxProxyHostLength = 127;

// CheckForUpdate: see update/kivupdate.h.
uint32_t UpdateCheck(int32_t language, const char* url, const char* proxyHost, uint16_t proxyPort,
                     void* buffer, uint32_t bufferSize);

struct UpdateDownloadOptions {
    const char* proxyHost = nullptr; // null or empty: direct
    uint16_t proxyPort = 0;          // used with proxyHost
    const char* proxyUser = nullptr; // Basic proxy authorization, with proxyPassword
    const char* proxyPassword = nullptr;
    HttpProgressFn progress = nullptr; // may be null
    void* progressContext = nullptr;   // first argument of every progress call
};

// Outcome of a download beyond DownloadUpdate's 1 or 0.
struct UpdateDownloadResult {
    int transferred = 0;      // 1 when a body was written; 0 for "not modified" or failure
    char errorText[100] = {}; // the downloader's text of the last failure
};

// DownloadUpdate: see update/kivupdate.h. `result` may be null.
int UpdateDownload(const char* url, const char* destinationPath,
                   const UpdateDownloadOptions& options, UpdateDownloadResult* result);

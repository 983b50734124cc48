// HttpDownloader: fetches one URL over HTTP/1.0 straight into a local file, directly or
// through an HTTP proxy (optionally with Basic proxy authorization). When the destination
// exists the request is conditional on its modification time and a "304" answer leaves it
// untouched; otherwise the body streams into the file in pieces of at most 4,096 bytes, a
// progress callback may stop the transfer, and the file's times are finally set from the
// server's "Last-Modified: " (or "Date: ") header.
//
// Calling order: HttpDownloaderCreate on a record the caller provides -> set proxy_host /
// proxy_port and the connection's timeout as wanted -> HttpDownloaderSetProxyAuth
// (optional) -> HttpDownload, as often as wanted -> HttpDownloaderDestroy -> the caller
// frees the record.
#pragma once

#include "http/TcpConnection.h"

#include <cstddef>
#include <cstdint>

// Download progress: bytes written so far and the announced body length (0xFFFFFFFF when
// the server announced none). Returning 0 from a periodic call stops the transfer.
// The same typedef as in the library's public header.
#ifndef KIV_HTTP_PROGRESS_FN_DEFINED
#define KIV_HTTP_PROGRESS_FN_DEFINED
extern "C" typedef int (*HttpProgressFn)(void* context, uint32_t bytesDone, uint32_t total);
#endif

// Body length reported to the progress callback when the server announced none.
constexpr uint32_t kHttpLengthUnknown = 0xFFFFFFFF;

struct HttpDownloader {
    TcpConnection* connection; // owned; timeout 15 s until the caller changes it
    char host_value[127];      // the Host line's value: host, or host ":" port when not 80
    char proxy_host[128];      // "" for a direct connection; set by the caller
    uint32_t proxy_port;       // set by the caller together with proxy_host
    char* proxy_user;          // owned copy or null
    char* proxy_password;      // owned copy or null
    char error_text[100];      // text of the last failure
};

// Initialises `downloader` (memory of the caller's): a new connection of its own,
// error_text and proxy_host "", no proxy credentials. Returns `downloader`, or null when
// it is null or the connection cannot be allocated (the record then needs no destroy).
HttpDownloader* HttpDownloaderCreate(HttpDownloader* downloader);

// Closes, destroys and frees the connection and frees the stored credentials. The caller
// frees the record itself. Null is ignored.
void HttpDownloaderDestroy(HttpDownloader* downloader);

// Stores copies of a non-null, non-empty user and password for the Proxy-Authorization
// line; a null or empty argument keeps the value stored before. Returns 1, or 0 when a
// copy cannot be allocated (that value then stays as it was).
int HttpDownloaderSetProxyAuth(HttpDownloader* downloader, const char* user, const char* password);

// Downloads `url` into `destinationPath`. Returns 1 when the body was written completely
// or the server answered "304" (not modified), 0 on every failure, with error_text set:
//   "URL Parse Error !"            the URL cannot be parsed
//   "Host name too long"           the Host line's value exceeds host_value
//   "Request too long"             the request exceeds the 4,100-byte transfer buffer
//   "Connect to <host> failed"     connecting to the server or proxy failed (URL host)
//   "Receive timeout"              a receive of the answer's header failed
//   "HTTP Error: <status line>"    an answer other than 200 and 304 ('%' become spaces)
//   "Content-length too large"     a body length announced beyond 32 bits
//   "Can't open destination file"  the file cannot be created or truncated
//   "Write to destination failed"  writing the file failed (e.g. disk full)
//   "Set file time failed"         the server's date cannot be set on the file
// and error_text left as it was when the header never completed, the body ended early
// or the callback stopped the transfer. A failed or stopped transfer leaves the partly
// written file behind. `result` (may be null) is set to 0 at the start, and for a "200"
// answer that reached the end, to the returned value; so it is 1 only for a transferred
// body. `progress` may be null; it is called with (context, 0, total) before the body,
// at most once per 10 pieces and 500 ms during it, and once more at its end.
// The announced length is the decimal value of the "Content-length: " line (0 counts as
// none, a negative value as the 32-bit count it converts to). The body bytes that arrived
// with the header are written as they came, also beyond that length. A header of 4,096
// bytes or more without its end fails like any receive, with "Receive timeout".
// Departure: a length whose magnitude needs more than 32 bits is refused ("Content-length
// too large") rather than cut to 32 bits, which would end the body early and report a
// truncated file as complete.
int HttpDownload(HttpDownloader* downloader, const char* url, const char* destinationPath,
                 int* result, HttpProgressFn progress, void* progressContext);

// HttpDownload with a ceiling of `maxBody` bytes on the body, for callers that know how
// large the file must be: an answer that announces more is refused before the destination
// is opened, and a body that grows past the ceiling is cut off there, so the file never
// holds more than `maxBody` bytes. Both fail with error_text kHttpBodyTooLargeText.
// kHttpNoBodyLimit makes it HttpDownload.
constexpr uint64_t kHttpNoBodyLimit = UINT64_MAX;
constexpr const char kHttpBodyTooLargeText[] = "Body larger than allowed";
int HttpDownloadBounded(HttpDownloader* downloader, const char* url, const char* destinationPath,
                        int* result, HttpProgressFn progress, void* progressContext,
                        uint64_t maxBody);

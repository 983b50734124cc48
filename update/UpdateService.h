// The update service's operations. The library's two exports forward to UpdateCheck and
// UpdateDownload; the command-line tool calls them directly, since it also wants the
// downloader's error text and proxy credentials, which the exports do not carry.
#pragma once

#include "update/kivupdate.h"

#include <cstddef>
#include <cstdint>
#include <string>

class MifList;
struct Profile;

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
    uint64_t maxBytes = UINT64_MAX;    // ceiling on the body (HttpDownloadBounded)
};

// Outcome of a download beyond DownloadUpdate's 1 or 0.
struct UpdateDownloadResult {
    int transferred = 0;      // 1 when a body was written; 0 for "not modified" or failure
    int tooLarge = 0;         // 1 when the body passed options.maxBytes
    char errorText[100] = {}; // the downloader's text of the last failure
};

// DownloadUpdate: see update/kivupdate.h. `result` may be null.
int UpdateDownload(const char* url, const char* destinationPath,
                   const UpdateDownloadOptions& options, UpdateDownloadResult* result);

// How far UpdateFetch got.
enum UpdateFetchOutcome {
    UPDATE_FETCH_BAD_URL,       // the URL cannot be parsed, or the proxy name is too long
    UPDATE_FETCH_NO_CONNECTION, // the first connect (to the server or proxy) failed
    UPDATE_FETCH_NO_ANSWER,     // connected, but no answer (or no usable redirect) came
    UPDATE_FETCH_ANSWERED,      // status and body hold the (final) answer
};

struct UpdateFetchResult {
    UpdateFetchOutcome outcome = UPDATE_FETCH_BAD_URL;
    uint32_t status = 0; // the final answer's status code
    std::string body;    // its body, exactly as received (at most the client's 1,000,000 bytes)
};

// GETs `url` into memory the way the update check does: directly or through the proxy of
// `options` (with Basic Proxy-Authorization when a user and password are given), one
// permanent redirect followed. Returns 1 when an answer arrived (whatever its status),
// else 0; `result` tells which step failed.
int UpdateFetch(const char* url, const UpdateDownloadOptions& options, UpdateFetchResult* result);

// The release facts of a document already in memory, for `language`, exactly as
// UpdateCheck reads them from the body it receives. Returns the bytes of the finalized
// attribute list copied to `buffer` (at least 2, the end marker), or 0 when it does not
// fit in `bufferSize`.
uint32_t UpdateFactsFromDocument(const char* body, uint32_t length, int32_t language, void* buffer,
                                 uint32_t bufferSize);

// The step the check shares with UpdateFactsFromDocument: appends the facts of the
// language's section (or Language 2's) to `list`, reading text values through `value`
// (kUpdateValueSize bytes).
constexpr size_t kUpdateValueSize = 256; // a text value: at most 255 characters
void UpdateAppendFacts(Profile* document, int32_t language, MifList* list, char* value);

// A name beside `destination` that no file has yet: its name, ".kivupdate-", the process
// number, "-", a counter and ".part". 0 when a thousand names are taken.
int UpdateTemporaryName(const char* destination, std::string* name);

// Moves `from` over `to` (replacing it) in one step; 1 on success.
int UpdateReplaceFile(const char* from, const char* to);

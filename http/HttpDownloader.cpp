// HttpDownloader: see http/HttpDownloader.h.
#include "http/HttpDownloader.h"

#include "compat/win32.h"
#include "http/HttpDate.h"
#include "http/HttpEncode.h"
#include "http/HttpText.h"
#include "http/HttpUrl.h"
#include "text/BoundedText.h"

#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

// One buffer carries the request and then the answer. Answer bytes are held at most
// kHeldMax at a time, so a terminator always fits behind them.
constexpr size_t kTransferBufferSize = 4100;
constexpr uint32_t kHeldMax = 4096;
constexpr uint32_t kPieceSize = 4096;

constexpr uint32_t kReceiveTimeout = 30; // seconds per waiting receive of the answer
constexpr uint32_t kRetrySleep = 100;    // ms between header receives
constexpr int kMaxIncompletePasses = 51; // header scans that may find no end
constexpr size_t kStatusMinimum = 13;    // a receive shorter than this is retried
constexpr size_t kHeaderLineMax = 199;   // characters a header line keeps
constexpr size_t kDateTextMax = 49;      // characters of a date header kept
constexpr size_t kCredentialsMax = 200;  // user ":" password stays below this
constexpr size_t kCredentialsBase64Size = 300;
constexpr size_t kErrorLineMax = 70;        // answer bytes an error text may quote
constexpr uint32_t kProgressPieces = 10;    // pieces between periodic progress calls
constexpr uint32_t kProgressInterval = 500; // ms, exceeded between periodic calls

// The destination gets a larger stdio buffer than the runtime's default so that the
// 4,096-byte pieces reach the file in few system calls. Allocation failure only costs
// speed: the runtime's own buffer is used then.
constexpr size_t kFileBufferSize = 256 * 1024;

// The runtime's file-time function with 64-bit times, the partner of the _stat64 / stat
// that HttpFileDate reads the time back with (so whatever local-time conversion the
// runtime applies is undone on the way back, and If-Modified-Since repeats the server's
// date exactly).
#ifdef _WIN32
typedef struct __utimbuf64 FileTimes;
int SetFileTimesRaw(const char* path, FileTimes* times) {
    return _utime64(path, times);
}
#else
typedef struct utimbuf FileTimes;
int SetFileTimesRaw(const char* path, FileTimes* times) {
    return utime(path, times);
}
#endif

// The Windows runtime refuses times before 1970 and after 3000-12-31 23:59:59 (so a date
// that cannot be parsed, -1, fails there). Other runtimes, Wine's among them, accept more;
// refusing the same range here gives every build Windows' result.
constexpr int64_t kLatestFileTime = 32535215999;

int SetFileTimes(const char* path, int64_t time) {
    if (time < 0 || time > kLatestFileTime)
        return 0;
    FileTimes times;
    times.actime = time;
    times.modtime = time;
    return SetFileTimesRaw(path, &times) == 0;
}

void FormatPort(char* out, size_t size, uint32_t port) {
    // Written with %d like the request line's port: the parser gives any 32-bit value.
    StrFormat(out, size, "%d", static_cast<int>(port));
}

// Builds the request (see HttpDownload) into `buffer`; false when it does not fit.
bool BuildRequest(const HttpDownloader* d, const HttpUrl& url, const char* destinationPath,
                  char* buffer, size_t size, size_t* length) {
    HttpRequestText request{buffer, size};
    char port[16];
    FormatPort(port, sizeof port, url.port);
    bool viaProxy = d->proxy_host[0] != '\0';
    if (viaProxy) {
        // A proxy needs the absolute URL; the port is written even when it is 80.
        request.Add("GET http://");
        request.Add(url.host);
        request.Add(":");
        request.Add(port);
        request.Add("/");
    } else {
        request.Add("GET /");
    }
    request.Add(url.path);
    request.Add(" HTTP/1.0\r\n");
    request.Add("Connection: Keep-Alive\r\n");
    request.Add("Host: ");
    request.Add(d->host_value);
    request.Add("\r\n");
    request.Add("UserAgent: KIV\r\n");
    request.Add("Accept: */*\r\n");
    if (viaProxy && d->proxy_user != nullptr && d->proxy_password != nullptr) {
        size_t userLength = strlen(d->proxy_user);
        size_t passwordLength = strlen(d->proxy_password);
        // Longer credentials are not sent at all (the proxy then refuses the request).
        if (userLength + 1 + passwordLength < kCredentialsMax) {
            char credentials[kCredentialsMax];
            memcpy(credentials, d->proxy_user, userLength);
            credentials[userLength] = ':';
            memcpy(credentials + userLength + 1, d->proxy_password, passwordLength);
            char encoded[kCredentialsBase64Size];
            Base64Encode(credentials, userLength + 1 + passwordLength, encoded, sizeof encoded, 0);
            request.Add("Proxy-Authorization: Basic ");
            request.Add(encoded);
            request.Add("\r\n");
        }
    }
    char date[40];
    if (HttpFileDate(destinationPath, nullptr, date)) {
        request.Add("If-Modified-Since: ");
        request.Add(date);
        request.Add("\r\n");
    }
    request.Add("\r\n");
    *length = request.used;
    return !request.failed;
}

// What the header of an answer gave.
enum HeaderOutcome {
    kHeaderBody,        // "200" and the header complete: the body follows
    kHeaderNotModified, // "304"
    kHeaderFailed,      // error_text is set
    kHeaderIncomplete,  // the header did not end; error_text unchanged
};

struct Header {
    uint32_t held = 0;      // answer bytes in the buffer
    uint32_t bodyStart = 0; // index of the first body byte
    uint32_t length = kHttpLengthUnknown;
    bool lengthTooLarge = false;
    char date[kDateTextMax + 1] = {}; // "Last-Modified: " or else "Date: " value
};

// The value of a "Content-length: " line, read as a decimal number: leading white space,
// an optional sign, then digits; no digits give 0, which counts as no length. A negative
// value is taken as the 32-bit count it converts to (-5 is 4294967291, -1 "unknown").
// Magnitudes that the 32-bit count cannot carry are flagged instead of being wrapped.
uint32_t ParseLength(const char* text, bool* tooLarge) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '+' || *text == '-')
        ++text;
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<uint64_t>(*text - '0');
        if (value >= kHttpLengthUnknown) {
            *tooLarge = true;
            return 0;
        }
    }
    uint32_t count = static_cast<uint32_t>(value);
    return negative ? 0u - count : count;
}

void ExamineLine(const char* line, Header* header) {
    if (HttpStartsWithNoCase(line, strlen(line), "Content-length: ")) {
        header->lengthTooLarge = false;
        uint32_t value = ParseLength(line + 16, &header->lengthTooLarge);
        header->length = value == 0 ? kHttpLengthUnknown : value;
    } else if (HttpStartsWithNoCase(line, strlen(line), "Last-Modified: ")) {
        StrCopy(header->date, sizeof header->date, line + 15);
    } else if (HttpStartsWithNoCase(line, strlen(line), "Date: ") && header->date[0] == '\0') {
        StrCopy(header->date, sizeof header->date, line + 6);
    }
}

// Scans the held bytes of a "200" answer for its header lines; true when the empty line
// that ends the header has been seen (bodyStart then set).
bool ScanHeader(const char* buffer, Header* header) {
    header->length = kHttpLengthUnknown;
    header->lengthTooLarge = false;
    header->date[0] = '\0';
    char line[kHeaderLineMax + 1];
    size_t lineLength = 0;
    for (uint32_t i = 0; i < header->held; ++i) {
        char c = buffer[i];
        if (c == '\n')
            continue;
        if (c != '\r') {
            // Overlong lines keep their start; the last position takes what follows.
            if (lineLength < kHeaderLineMax)
                line[lineLength++] = c;
            else
                line[kHeaderLineMax - 1] = c;
            continue;
        }
        line[lineLength] = '\0';
        ExamineLine(line, header);
        if (i + 3 < header->held && buffer[i + 2] == '\r') {
            header->bodyStart = i + 4;
            return true;
        }
        lineLength = 0;
    }
    return false;
}

// "HTTP Error: " and the answer's first line, from at most its first 70 bytes.
void SetHttpError(HttpDownloader* d, char* buffer, uint32_t held) {
    if (held > kErrorLineMax)
        buffer[kErrorLineMax] = '\0';
    char* end = buffer + strcspn(buffer, "\r\n");
    *end = '\0';
    // The original texts went through a formatter; a '%' never reaches one here either.
    for (char* p = buffer; p < end; ++p)
        if (*p == '%')
            *p = ' ';
    StrFormat(d->error_text, sizeof d->error_text, "HTTP Error: %s", buffer);
}

// Receives and reads the header of the answer into `buffer`.
HeaderOutcome ReadHeader(HttpDownloader* d, char* buffer, Header* header) {
    int incompletePasses = 0;
    for (;;) {
        // A header that fills the whole buffer leaves no room: the receive asks for nothing
        // and fails.
        uint32_t count = kHeldMax - header->held;
        if (!TcpReceive(d->connection, buffer + header->held, &count, 0, 1)) {
            StrCopy(d->error_text, sizeof d->error_text, "Receive timeout");
            return kHeaderFailed;
        }
        header->held += count;
        buffer[header->held] = '\0';
        if (count < kStatusMinimum) {
            Sleep(kRetrySleep);
            continue;
        }
        if (memcmp(buffer + 9, "304", 3) == 0)
            return kHeaderNotModified;
        if (memcmp(buffer + 9, "200", 3) != 0) {
            SetHttpError(d, buffer, header->held);
            return kHeaderFailed;
        }
        if (ScanHeader(buffer, header)) {
            if (header->lengthTooLarge) {
                StrCopy(d->error_text, sizeof d->error_text, "Content-length too large");
                return kHeaderFailed;
            }
            return kHeaderBody;
        }
        if (++incompletePasses >= kMaxIncompletePasses)
            return kHeaderIncomplete;
        Sleep(kRetrySleep);
    }
}

// Throttled progress: a periodic call at most once per 10 pieces and 500 ms.
struct Progress {
    HttpProgressFn callback;
    void* context;
    uint32_t pieces = 0;
    DWORD lastCall = 0;

    void Start(uint32_t total) {
        if (callback == nullptr)
            return;
        lastCall = GetTickCount();
        callback(context, 0, total);
    }
    // False when the callback asks to stop.
    bool Piece(uint32_t done, uint32_t total) {
        if (callback == nullptr || ++pieces < kProgressPieces)
            return true;
        DWORD now = GetTickCount();
        if (now - lastCall <= kProgressInterval)
            return true;
        lastCall = now;
        if (callback(context, done, total) == 0)
            return false;
        pieces = 0;
        return true;
    }
    void Finish(uint32_t done, uint32_t total) {
        if (callback != nullptr)
            callback(context, done, total);
    }
};

// Outcome of the body loop: 1 complete, 0 incomplete, stopped, not written or (with
// *tooLarge) grown past `maxBody`; the file never holds more than `maxBody` bytes.
int ReceiveBody(HttpDownloader* d, FILE* file, char* buffer, const Header& header,
                Progress* progress, uint64_t maxBody, uint32_t* written, bool* writeFailed,
                bool* tooLarge) {
    uint32_t length = header.length;
    // The bytes already held go to the file as held, even beyond the announced length.
    uint32_t first = header.held - header.bodyStart;
    if (first > maxBody) {
        *tooLarge = true;
        return 0;
    }
    if (first > 0 && fwrite(buffer + header.bodyStart, 1, first, file) != first) {
        *writeFailed = true;
        return 0;
    }
    *written = first;
    while (*written < length) {
        uint32_t count = length - *written;
        if (count > kPieceSize)
            count = kPieceSize;
        if (!TcpReceive(d->connection, buffer, &count, 0, 1)) {
            // A server without a length ends the body by closing (or by falling silent);
            // with a length, ending early is a failure. A receive that failed on a
            // connection still up (a socket error) is one in any case.
            if (d->connection->connected)
                return 0;
            return length == kHttpLengthUnknown ? 1 : 0;
        }
        if (static_cast<uint64_t>(*written) + count > maxBody) {
            *tooLarge = true;
            return 0;
        }
        if (fwrite(buffer, 1, count, file) != count) {
            *writeFailed = true;
            return 0;
        }
        *written += count;
        if (!progress->Piece(*written, length))
            return 0;
    }
    return 1;
}

// Sends the request and receives the answer into the destination file.
int HttpDownloadTransfer(HttpDownloader* d, const char* destinationPath, char* buffer,
                         size_t requestLength, int* result, HttpProgressFn callback, void* context,
                         uint64_t maxBody) {
    TcpSend(d->connection, buffer, static_cast<uint32_t>(requestLength));
    d->connection->timeout = kReceiveTimeout;

    Header header;
    switch (ReadHeader(d, buffer, &header)) {
    case kHeaderNotModified:
        return 1;
    case kHeaderFailed:
    case kHeaderIncomplete:
        return 0;
    case kHeaderBody:
        break;
    }
    // An announced body beyond the bound is refused before the destination is touched.
    if (header.length != kHttpLengthUnknown && header.length > maxBody) {
        StrCopy(d->error_text, sizeof d->error_text, kHttpBodyTooLargeText);
        return 0;
    }

    FILE* file = fopen(destinationPath, "wb");
    if (file == nullptr) {
        StrCopy(d->error_text, sizeof d->error_text, "Can't open destination file");
        *result = 0;
        return 0;
    }
    char* fileBuffer = static_cast<char*>(malloc(kFileBufferSize));
    if (fileBuffer != nullptr && setvbuf(file, fileBuffer, _IOFBF, kFileBufferSize) != 0) {
        free(fileBuffer);
        fileBuffer = nullptr;
    }

    Progress progress{callback, context};
    progress.Start(header.length);
    uint32_t written = 0;
    bool writeFailed = false;
    bool tooLarge = false;
    int outcome =
        ReceiveBody(d, file, buffer, header, &progress, maxBody, &written, &writeFailed, &tooLarge);
    progress.Finish(written, header.length);
    // Closing flushes the last buffered bytes, so it can fail like a write.
    if (fclose(file) != 0)
        writeFailed = true;
    free(fileBuffer);
    if (writeFailed) {
        StrCopy(d->error_text, sizeof d->error_text, "Write to destination failed");
        outcome = 0;
    } else if (tooLarge) {
        StrCopy(d->error_text, sizeof d->error_text, kHttpBodyTooLargeText);
    }

    // Also after a failure: the part written carries the server's date.
    if (header.date[0] != '\0' && !SetFileTimes(destinationPath, HttpDateParse(header.date))) {
        StrCopy(d->error_text, sizeof d->error_text, "Set file time failed");
        *result = 0;
        return 0;
    }
    *result = outcome;
    return outcome;
}

// host_value: the host, with ":" port when the port is not 80; false when it does not fit.
bool SetHostValue(HttpDownloader* d, const HttpUrl& url) {
    char port[16] = "";
    if (url.port != 80)
        FormatPort(port, sizeof port, url.port);
    size_t hostLength = strlen(url.host);
    size_t portLength = strlen(port);
    size_t total = hostLength + (portLength > 0 ? 1 + portLength : 0);
    if (total >= sizeof d->host_value)
        return false;
    if (portLength > 0)
        StrFormat(d->host_value, sizeof d->host_value, "%s:%s", url.host, port);
    else
        StrCopy(d->host_value, sizeof d->host_value, url.host);
    return true;
}

} // namespace

HttpDownloader* HttpDownloaderCreate(HttpDownloader* downloader) {
    if (downloader == nullptr)
        return nullptr;
    downloader->host_value[0] = '\0';
    downloader->proxy_host[0] = '\0';
    downloader->proxy_port = 0;
    downloader->proxy_user = nullptr;
    downloader->proxy_password = nullptr;
    downloader->error_text[0] = '\0';
    downloader->connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    if (downloader->connection == nullptr)
        return nullptr;
    TcpConnectionInit(downloader->connection);
    return downloader;
}

void HttpDownloaderDestroy(HttpDownloader* downloader) {
    if (downloader == nullptr)
        return;
    if (downloader->connection != nullptr) {
        TcpClose(downloader->connection);
        TcpConnectionDestroy(downloader->connection);
        free(downloader->connection);
        downloader->connection = nullptr;
    }
    free(downloader->proxy_password);
    free(downloader->proxy_user);
    downloader->proxy_password = nullptr;
    downloader->proxy_user = nullptr;
}

int HttpDownloaderSetProxyAuth(HttpDownloader* downloader, const char* user, const char* password) {
    if (downloader == nullptr)
        return 0;
    int ok = 1;
    if (user != nullptr && user[0] != '\0') {
        char* copy = HttpCopyText(user);
        if (copy != nullptr) {
            free(downloader->proxy_user);
            downloader->proxy_user = copy;
        } else {
            ok = 0;
        }
    }
    if (password != nullptr && password[0] != '\0') {
        char* copy = HttpCopyText(password);
        if (copy != nullptr) {
            free(downloader->proxy_password);
            downloader->proxy_password = copy;
        } else {
            ok = 0;
        }
    }
    return ok;
}

int HttpDownload(HttpDownloader* downloader, const char* url, const char* destinationPath,
                 int* result, HttpProgressFn progress, void* progressContext) {
    return HttpDownloadBounded(downloader, url, destinationPath, result, progress, progressContext,
                               kHttpNoBodyLimit);
}

int HttpDownloadBounded(HttpDownloader* downloader, const char* url, const char* destinationPath,
                        int* result, HttpProgressFn progress, void* progressContext,
                        uint64_t maxBody) {
    int unused = 0;
    if (result == nullptr)
        result = &unused;
    *result = 0;
    if (downloader == nullptr || downloader->connection == nullptr || destinationPath == nullptr)
        return 0;
    HttpUrl parsed = {};
    if (!HttpUrlParse(url, &parsed, 80)) {
        StrCopy(downloader->error_text, sizeof downloader->error_text, "URL Parse Error !");
        HttpUrlRelease(&parsed);
        return 0;
    }

    int outcome = 0;
    char buffer[kTransferBufferSize];
    size_t requestLength = 0;
    // Both limits are checked before connecting: a request that cannot be sent whole
    // needs no connection.
    if (!SetHostValue(downloader, parsed)) {
        StrCopy(downloader->error_text, sizeof downloader->error_text, "Host name too long");
    } else if (!BuildRequest(downloader, parsed, destinationPath, buffer, sizeof buffer,
                             &requestLength)) {
        StrCopy(downloader->error_text, sizeof downloader->error_text, "Request too long");
    } else {
        bool viaProxy = downloader->proxy_host[0] != '\0';
        int connected = viaProxy ? TcpConnectHost(downloader->connection, downloader->proxy_host,
                                                  downloader->proxy_port)
                                 : TcpConnectHost(downloader->connection, parsed.host, parsed.port);
        if (!connected) {
            StrFormat(downloader->error_text, sizeof downloader->error_text, "Connect to %s failed",
                      parsed.host);
        } else {
            outcome = HttpDownloadTransfer(downloader, destinationPath, buffer, requestLength,
                                           result, progress, progressContext, maxBody);
        }
        TcpClose(downloader->connection);
    }
    HttpUrlRelease(&parsed);
    return outcome;
}

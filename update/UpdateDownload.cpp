// UpdateDownload: the work behind the DownloadUpdate export (see update/UpdateService.h).
#include "update/UpdateService.h"

#include "http/HttpDownloader.h"
#include "text/BoundedText.h"

#include <cstdlib>
#include <cstring>

namespace {

// The connect to the server or proxy may take this long; the download itself then waits
// at most 30 s per receive.
constexpr uint32_t kConnectTimeout = 300;

void SetErrorText(UpdateDownloadResult* result, const char* text) {
    if (result != nullptr)
        StrCopy(result->errorText, sizeof result->errorText, text);
}

} // namespace

int UpdateDownload(const char* url, const char* destinationPath,
                   const UpdateDownloadOptions& options, UpdateDownloadResult* result) {
    if (result != nullptr) {
        result->transferred = 0;
        result->tooLarge = 0;
        result->errorText[0] = '\0';
    }
    if (url == nullptr || destinationPath == nullptr)
        return 0;
    bool viaProxy = options.proxyHost != nullptr && options.proxyHost[0] != '\0';
    // A cut proxy name would send the request to some other host: refuse it instead.
    if (viaProxy && strlen(options.proxyHost) > kMaxProxyHostLength) {
        SetErrorText(result, "Proxy host name too long");
        return 0;
    }

    HttpDownloader* downloader = static_cast<HttpDownloader*>(malloc(sizeof(HttpDownloader)));
    if (downloader == nullptr || HttpDownloaderCreate(downloader) == nullptr) {
        free(downloader);
        SetErrorText(result, "Out of memory");
        return 0;
    }
    if (viaProxy) {
        StrCopy(downloader->proxy_host, sizeof downloader->proxy_host, options.proxyHost);
        downloader->proxy_port = options.proxyPort;
    }
    int ok = 1;
    if (options.proxyUser != nullptr || options.proxyPassword != nullptr)
        ok = HttpDownloaderSetProxyAuth(downloader, options.proxyUser, options.proxyPassword);
    int transferred = 0;
    int outcome = 0;
    if (!ok) {
        StrCopy(downloader->error_text, sizeof downloader->error_text, "Out of memory");
    } else {
        downloader->connection->timeout = kConnectTimeout;
        outcome = HttpDownloadBounded(downloader, url, destinationPath, &transferred,
                                      options.progress, options.progressContext, options.maxBytes);
    }
    if (result != nullptr) {
        result->transferred = transferred;
        result->tooLarge = strcmp(downloader->error_text, kHttpBodyTooLargeText) == 0;
        StrCopy(result->errorText, sizeof result->errorText, downloader->error_text);
    }
    HttpDownloaderDestroy(downloader);
    free(downloader);
    return outcome;
}

// UpdateFetch: one small file (a document, a signature) fetched into memory the way the
// update check fetches its document. See update/UpdateService.h.
#include "http/HttpClient.h"
#include "http/HttpEncode.h"
#include "http/HttpUrl.h"
#include "text/BoundedText.h"
#include "update/UpdateClient.h"
#include "update/UpdateService.h"

#include <cstring>

namespace {

// user ":" password stays below this, so that its Base64 form fits a header line.
constexpr size_t kCredentialsMax = 200;

// Adds "Proxy-Authorization: Basic ..." for the next request when the options carry a
// user and a password; credentials too long to encode are left out, as the downloader
// leaves them out.
void AddProxyAuthorization(HttpClient* client, const UpdateDownloadOptions& options) {
    if (options.proxyUser == nullptr || options.proxyUser[0] == '\0' ||
        options.proxyPassword == nullptr || options.proxyPassword[0] == '\0')
        return;
    char credentials[kCredentialsMax];
    if (strlen(options.proxyUser) + 1 + strlen(options.proxyPassword) >= sizeof credentials)
        return;
    StrFormat(credentials, sizeof credentials, "%s:%s", options.proxyUser, options.proxyPassword);
    char encoded[kCredentialsMax * 2];
    char line[sizeof encoded + 32];
    if (Base64Encode(credentials, strlen(credentials), encoded, sizeof encoded, 0) > 0) {
        StrFormat(line, sizeof line, "Proxy-Authorization: Basic %s", encoded);
        HttpClientAddHeader(client, line);
    }
    memset(credentials, 0, sizeof credentials);
}

// One GET on a connected client; the proxy line goes with every request.
bool Get(HttpClient* client, const char* path, const UpdateDownloadOptions& options) {
    if (client->proxy_host[0] != '\0')
        AddProxyAuthorization(client, options);
    return HttpClientGet(client, path) != 0;
}

} // namespace

int UpdateFetch(const char* url, const UpdateDownloadOptions& options, UpdateFetchResult* result) {
    result->outcome = UPDATE_FETCH_BAD_URL;
    result->status = 0;
    result->body.clear();
    HttpUrl location;
    HttpClient* client = UpdateClientOpen(url, options.proxyHost, options.proxyPort, &location);
    if (client == nullptr)
        return 0;

    result->outcome = UPDATE_FETCH_NO_CONNECTION;
    if (HttpClientConnect(client, location.host, location.port)) {
        result->outcome = UPDATE_FETCH_NO_ANSWER;
        char target[kUpdateValueSize];
        bool answered = Get(client, location.path, options);
        if (answered && client->status_code == 301) {
            // The redirect's GET needs the proxy line again: request settings last one request.
            answered = UpdateClientFollow(client, &location, target) &&
                       Get(client, location.path, options);
        }
        if (answered) {
            result->outcome = UPDATE_FETCH_ANSWERED;
            result->status = client->status_code;
            if (client->body != nullptr)
                result->body.assign(client->body, client->body_length);
        }
    }
    UpdateClientClose(client, &location);
    return result->outcome == UPDATE_FETCH_ANSWERED ? 1 : 0;
}

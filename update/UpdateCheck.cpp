// The update check: fetch the update-information document, follow one permanent
// redirect, and hand the release facts of the caller's language back as an attribute list.

#include "attrlist/MifList.h"
#include "http/HttpClient.h"
#include "http/HttpUrl.h"
#include "profile/Profile.h"
#include "text/BoundedText.h"
#include "update/UpdateClient.h"
#include "update/UpdateService.h"

#include <cstdlib>
#include <cstring>

namespace {

struct FactKey {
    const char* name;
    uint16_t tag;
    bool isText; // text (ProfileGetString) or signed 32-bit integer (ProfileGetInt)
};

// The order in which the facts are read and appended: UrlInfo (6) comes before
// UrlDownload (5), and callers that walk the list see them in this order.
const FactKey kFactKeys[] = {
    {"ProductName", 1, true},         {"Version", 2, false},          {"Build", 3, false},
    {"Servicepack", 4, false},        {"UrlInfo", 6, true},           {"UrlDownload", 5, true},
    {"Filesize", 8, false},           {"UrlDownload-x86", 10, true},  {"Filesize-x86", 11, false},
    {"UrlDownload-x86-64", 20, true}, {"Filesize-x86-64", 21, false}, {"UrlWeb", 30, true},
};

constexpr size_t kSectionSize = 64; // "Language " and any 32-bit number
constexpr size_t kValueSize = kUpdateValueSize;

} // namespace

void UpdateAppendFacts(Profile* document, int32_t language, MifList* list, char* value) {
    char section[kSectionSize];
    StrFormat(section, sizeof section, "Language %d", language);
    if (!ProfileSectionExists(document, section))
        StrFormat(section, sizeof section, "Language 2");
    for (const FactKey& key : kFactKeys) {
        if (key.isText) {
            if (ProfileGetString(document, section, key.name, value, kValueSize))
                list->AddStr(key.tag, value);
        } else {
            int32_t number = 0;
            if (ProfileGetInt(document, section, key.name, &number))
                list->AddInt(key.tag, number);
        }
    }
}

uint32_t UpdateFactsFromDocument(const char* body, uint32_t length, int32_t language, void* buffer,
                                 uint32_t bufferSize) {
    Profile document;
    ProfileInit(&document);
    ProfileLoadBuffer(&document, body, length);
    MifList list;
    char value[kValueSize];
    UpdateAppendFacts(&document, language, &list, value);
    ProfileClose(&document);
    uint32_t result = 0;
    if (list.Finalize() && buffer != nullptr && list.GetSize() <= bufferSize) {
        memcpy(buffer, list.GetData(), list.GetSize());
        result = list.GetSize();
    }
    return result;
}

uint32_t UpdateCheck(int32_t language, const char* url, const char* proxyHost, uint16_t proxyPort,
                     void* buffer, uint32_t bufferSize) {
    HttpUrl location;
    HttpClient* client = UpdateClientOpen(url, proxyHost, proxyPort, &location);
    if (client == nullptr)
        return 0;

    MifList list;
    bool haveList = false;
    Profile document;
    bool haveDocument = false;
    char value[kValueSize]; // the redirect target first, then each text value

    if (HttpClientConnect(client, location.host, location.port)) {
        haveList = true;
        bool answered = HttpClientGet(client, location.path);
        if (answered && client->status_code == 301)
            answered = UpdateClientFollow(client, &location, value) &&
                       HttpClientGet(client, location.path);
        if (answered && client->status_code == 200) {
            ProfileInit(&document);
            haveDocument = true;
            ProfileLoadBuffer(&document, client->body, client->body_length);
            // The client goes before the document is read.
            UpdateClientClose(client, nullptr);
            client = nullptr;
            UpdateAppendFacts(&document, language, &list, value);
        }
    }

    UpdateClientClose(client, &location);
    if (haveDocument)
        ProfileClose(&document);
    if (!haveList)
        return 0;
    uint32_t result = 0;
    if (list.Finalize() && buffer != nullptr && list.GetSize() <= bufferSize) {
        memcpy(buffer, list.GetData(), list.GetSize());
        result = list.GetSize();
    }
    return result; // the list wipes its buffer as it goes
}

HttpClient* UpdateClientOpen(const char* url, const char* proxyHost, uint16_t proxyPort,
                             HttpUrl* location) {
    memset(location, 0, sizeof *location);
    bool useProxy = proxyHost != nullptr && proxyHost[0] != '\0';
    HttpClient* client = nullptr;
    // A failed parse may have kept the host, so the URL is released on every failure.
    if (HttpUrlParse(url, location, 80) && (!useProxy || strlen(proxyHost) <= kMaxProxyHostLength))
        client = HttpClientCreate(nullptr);
    if (client == nullptr) {
        HttpUrlRelease(location);
        return nullptr;
    }
    if (useProxy) {
        StrCopy(client->proxy_host, sizeof client->proxy_host, proxyHost);
        client->proxy_port = proxyPort;
    }
    return client;
}

bool UpdateClientFollow(HttpClient* client, HttpUrl* location, char* target) {
    if (!HttpClientGetHeader(client, "Location: ", target, kUpdateValueSize))
        return false;
    TcpClose(client->connection);
    HttpUrlRelease(location);
    return HttpUrlParse(target, location, 80) &&
           HttpClientConnect(client, location->host, location->port);
}

void UpdateClientClose(HttpClient* client, HttpUrl* location) {
    if (location != nullptr)
        HttpUrlRelease(location);
    if (client == nullptr)
        return;
    HttpClientDestroy(client); // closes the connection too
    free(client);
}

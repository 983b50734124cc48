// POST, the form body of the next request, and its extra header lines.
#include "http/HttpClient.h"

#include "http/HttpEncode.h"
#include "http/HttpText.h"
#include "text/BoundedText.h"

#include <cstdlib>
#include <cstring>

namespace {

// The body buffer is always capacity + this many bytes.
constexpr uint64_t kBodySlack = 10;
// Hard cap of the body capacity; growth beyond it fails like a failed allocation.
constexpr uint64_t kMaxBodyCapacity = 0x7FFFFFF0;
// The part capacity a multipart body starts from.
constexpr uint32_t kFirstPartCapacity = 40;
// Share of the part size the growth rule counts for the fixed text.
constexpr uint64_t kPartAllowance = 66;
// Room for a decoded value per value byte. Decoding does not lengthen a value here (a
// reference is longer than its UTF-8 form, other bytes are copied); two bytes, the bound
// the growth rule assumes, would even hold every byte handed to the UTF-8 encoder.
constexpr uint64_t kDecodedPerByte = 2;
// Longest user ":" password text whose Base64 form stays within 254 characters.
constexpr size_t kMaxCredentials = 189;
constexpr size_t kBase64Size = 255;

const char kPartStart[] = "Content-Disposition: form-data; name=\"";

void EmptyBody(HttpClient* client) {
    free(client->request_body);
    client->request_body = nullptr;
    client->request_body_length = 0;
    client->request_body_capacity = 0;
}

// Makes room for `needed` bytes of body text: when they pass the capacity, it grows by
// `factor` times `needed` and the buffer becomes capacity + 10 bytes. On failure the body
// is emptied, so a later append starts a new one.
bool ReserveBody(HttpClient* client, uint64_t needed, uint64_t factor) {
    if (needed <= client->request_body_capacity && client->request_body != nullptr)
        return true;
    uint64_t capacity = client->request_body_capacity;
    if (needed > capacity)
        capacity += factor * needed;
    if (capacity > kMaxBodyCapacity) {
        EmptyBody(client);
        return false;
    }
    bool fresh = client->request_body == nullptr;
    char* grown = static_cast<char*>(realloc(client->request_body, capacity + kBodySlack));
    if (grown == nullptr) {
        EmptyBody(client);
        return false;
    }
    if (fresh) {
        grown[0] = '\0';
        client->request_body_length = 0;
    }
    client->request_body = grown;
    client->request_body_capacity = static_cast<uint32_t>(capacity);
    return true;
}

// Appends text at the body's end; room must have been reserved.
void PutText(HttpClient* client, const char* text, size_t length) {
    memcpy(client->request_body + client->request_body_length, text, length);
    client->request_body_length += static_cast<uint32_t>(length);
    client->request_body[client->request_body_length] = '\0';
}

void PutText(HttpClient* client, const char* text) {
    PutText(client, text, strlen(text));
}

// Appends one multipart part: delimiter line, Content-Disposition line, blank line, the
// value (character references decoded when `decode` is set) and CR LF.
int AppendPart(HttpClient* client, const char* name, const char* value, bool decode) {
    if (client->request_body_capacity == 0)
        client->request_body_capacity = kFirstPartCapacity;
    uint64_t length = client->request_body_length;
    uint64_t nameLength = strlen(name);
    uint64_t valueLength = strlen(value);
    uint64_t needed = length + nameLength + kPartAllowance + 2 * valueLength;
    // The growth rule's share for the fixed text assumes a short boundary; the exact
    // size (delimiter, both lines, the value at its longest, CR LF and terminator) wins
    // when it is larger.
    uint64_t valueRoom = decode ? kDecodedPerByte * valueLength : valueLength;
    uint64_t exact = length + 2 + strlen(client->boundary) + 2 + (sizeof(kPartStart) - 1) +
                     nameLength + 3 + 2 + valueRoom + 2 + 1;
    if (!ReserveBody(client, needed > exact ? needed : exact, 2))
        return 0;
    PutText(client, "--");
    PutText(client, client->boundary);
    PutText(client, "\r\n");
    PutText(client, kPartStart);
    PutText(client, name);
    PutText(client, "\"\r\n\r\n");
    if (decode) {
        char* at = client->request_body + client->request_body_length;
        HttpDecodeCharRefs(value, at, static_cast<size_t>(valueRoom + 1));
        // The body is text: a decoded NUL ends the value.
        client->request_body_length += static_cast<uint32_t>(strlen(at));
    } else {
        PutText(client, value);
    }
    PutText(client, "\r\n");
    return 1;
}

int Exchange(HttpClient* client, const char* path) {
    // A request that could not be built sends nothing, so no answer is waited for.
    if (!HttpClientSendRequest(client, HTTP_METHOD_POST, path))
        return 0;
    return HttpClientReadResponse(client);
}

} // namespace

int HttpClientPost(HttpClient* client, const char* path) {
    const char* type = nullptr;
    char multipartType[HTTP_BOUNDARY_SIZE + 40];
    if (client->multipart == 1) {
        StrFormat(multipartType, sizeof(multipartType), "multipart/form-data; boundary=%s",
                  client->boundary);
        type = multipartType;
        uint64_t needed =
            static_cast<uint64_t>(client->request_body_length) + strlen(client->boundary) + 6 + 10;
        if (ReserveBody(client, needed, 2)) {
            PutText(client, "--");
            PutText(client, client->boundary);
            PutText(client, "--\r\n");
        }
    } else if (client->content_type == nullptr) {
        type = "application/x-www-form-urlencoded";
    }
    if (type != nullptr) {
        char* copy = HttpCopyText(type);
        if (copy == nullptr) {
            HttpClientClearRequest(client);
            return 0;
        }
        free(client->content_type);
        client->content_type = copy;
    }

    int result = Exchange(client, path);
    if (client->status_code == 0 && !client->connection->connected && HttpClientOpen(client))
        result = Exchange(client, path);
    HttpClientClearRequest(client);
    return result;
}

int HttpClientAddFormField(HttpClient* client, const char* name, const char* value,
                           uint32_t lineLength) {
    if (name == nullptr || value == nullptr)
        return 0;
    if (client->multipart == 1)
        return AppendPart(client, name, value, true);
    char* encodedName = HttpUrlEncode(name, lineLength);
    char* encodedValue = HttpUrlEncode(value, lineLength);
    int result = 0;
    if (encodedName != nullptr && encodedValue != nullptr)
        result = HttpClientAddEncodedPair(client, encodedName, encodedValue);
    free(encodedName);
    free(encodedValue);
    return result;
}

int HttpClientAddEncodedPair(HttpClient* client, const char* name, const char* value) {
    if (name == nullptr || value == nullptr)
        return 0;
    if (client->multipart == 1)
        return AppendPart(client, name, value, false);
    // The body's length counts, not its text length, so that bytes appended with
    // HttpClientAppendBody are kept.
    uint64_t needed =
        static_cast<uint64_t>(client->request_body_length) + strlen(name) + strlen(value) + 10;
    if (!ReserveBody(client, needed, 2))
        return 0;
    if (client->request_body_length > 0)
        PutText(client, "&");
    PutText(client, name);
    PutText(client, "=");
    PutText(client, value);
    return 1;
}

int HttpClientAppendBody(HttpClient* client, const void* bytes, uint32_t count) {
    if (count == 0)
        return 1;
    if (bytes == nullptr)
        return 0;
    uint64_t needed = static_cast<uint64_t>(client->request_body_length) + count + 10;
    if (!ReserveBody(client, needed, 1))
        return 0;
    PutText(client, static_cast<const char*>(bytes), count);
    return 1;
}

void HttpClientSetMultipart(HttpClient* client) {
    client->multipart = 1;
}

int HttpClientAddHeader(HttpClient* client, const char* line) {
    if (line == nullptr)
        return 0;
    size_t length = strlen(line);
    if (HttpStartsWithNoCase(line, length, "Host:")) {
        // The value starts after "Host: " (a line of only "Host:" gives an empty one).
        char* value = HttpCopyText(line + (length < 6 ? length : 6));
        if (value == nullptr)
            return 0;
        free(client->host_override);
        client->host_override = value;
        return 1;
    }
    size_t used = client->extra_headers != nullptr ? strlen(client->extra_headers) : 0;
    char* grown = static_cast<char*>(realloc(client->extra_headers, used + length + 3));
    if (grown == nullptr)
        return 0;
    memcpy(grown + used, line, length);
    memcpy(grown + used + length, "\r\n", 3);
    client->extra_headers = grown;
    return 1;
}

int HttpClientSetBasicAuth(HttpClient* client, const char* user, const char* password) {
    if (user == nullptr || user[0] == '\0')
        return 1;
    if (password == nullptr)
        password = "";
    size_t userLength = strlen(user);
    size_t passwordLength = strlen(password);
    // Refused rather than cut: a cut credential would be sent as a different one.
    if (userLength >= kMaxCredentials || passwordLength > kMaxCredentials - 1 - userLength)
        return 0;
    char plain[kMaxCredentials + 1];
    memcpy(plain, user, userLength);
    plain[userLength] = ':';
    memcpy(plain + userLength + 1, password, passwordLength);
    char encoded[kBase64Size];
    if (Base64Encode(plain, userLength + 1 + passwordLength, encoded, sizeof(encoded), 0) == 0)
        return 0;
    char line[sizeof("Authorization: Basic ") + kBase64Size];
    StrCopy(line, sizeof(line), "Authorization: Basic ");
    StrAppend(line, sizeof(line), encoded);
    return HttpClientAddHeader(client, line);
}

// HttpClientReadResponse fed through one end of a local socket pair, and the header scans
// HttpFindHeaderEnd and HttpFindLineValue over the same bytes. Byte 0: low four bits the
// number of cuts, bit 4 a second read on the connection, bits 5-7 the header name looked
// up; then two bytes per cut offset; the rest is the stream, split at the cuts. A successful read's
// body is terminated and equals the stream at its place; texts stay terminated; a status other than
// 200 sets the error. A header end changes as bytes arrive only where a break in the last byte held
// pairs with the next one; a value found is the rest of the first line starting with the name.
#include "http/HttpClient.h"
#include "http/TcpConnection.h"

#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <linux/sockios.h>
#include <sched.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kNames[] = {
    "Content-Length: ", "Location: ", "Connection: ",   "HTTP", "Last-Modified: ",
    "Date: ",           "",           "content-length:"};

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

void CheckHeaderEnd(const std::string& text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    ExactBuffer bytes(length);
    memcpy(bytes.Get(), text.data(), length);
    uint32_t offset = 0;
    const char* end = HttpFindHeaderEnd(bytes.Get(), length, &offset);
    FUZZ_CHECK(end == nullptr ||
               (end == bytes.Get() + offset && offset >= 2 && IsBreak(text[offset - 1])));
    // The prefixes the reader could have held: short ones and those near the end.
    for (uint32_t prefix = 0; prefix <= length; ++prefix) {
        if (prefix > 64 && prefix + 64 < length &&
            (end == nullptr || prefix + 2 < offset || prefix > offset + 2))
            continue;
        uint32_t prefixOffset = 0;
        if (HttpFindHeaderEnd(bytes.Get(), prefix, &prefixOffset) != nullptr)
            FUZZ_CHECK(end != nullptr && (prefixOffset == offset ||
                                          (prefixOffset == prefix && offset == prefix + 1)));
        else if (end != nullptr)
            FUZZ_CHECK(prefix <= offset);
    }
}

void CheckLineValue(const std::string& text, const char* name, uint32_t size) {
    ExactBuffer value(size);
    const int found =
        HttpFindLineValue(text.data(), static_cast<uint32_t>(text.size()), name, value.Get(), size);
    const size_t nameLength = strlen(name);
    size_t lineStart = 0;
    bool matched = false;
    std::string expected;
    for (size_t i = 0; i < text.size() && !matched; ++i) {
        if (!IsBreak(text[i]))
            continue;
        if (i - lineStart >= nameLength) {
            matched = strncasecmp(text.c_str() + lineStart, name, nameLength) == 0;
            expected = text.substr(lineStart + nameLength, i - lineStart - nameLength);
        }
        lineStart = i + 1;
    }
    FUZZ_CHECK(found == (matched && expected.size() < size ? 1 : 0));
    FUZZ_CHECK(!found || memcmp(value.Get(), expected.c_str(), expected.size() + 1) == 0);
}

// Sends the stream split at the cuts, each piece only once the reader has taken every
// byte of the one before, so that no receive sees past a cut; then closes its end. A
// byte stream, as TCP is: a packet socket would drop what a short receive leaves.
void Feed(int socket, const std::string& stream, std::vector<size_t> cuts) {
    cuts.push_back(stream.size());
    std::sort(cuts.begin(), cuts.end());
    size_t position = 0;
    for (size_t cut : cuts) {
        if (cut == position)
            continue;
        for (int queued = 1; queued > 0;) { // the reader closing its end empties the queue
            if (ioctl(socket, SIOCOUTQ, &queued) != 0)
                queued = 0;
            if (queued > 0)
                sched_yield();
        }
        ssize_t sent;
        do // libFuzzer's timer signal may interrupt the call
            sent = send(socket, stream.data() + position, cut - position, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(cut - position))
            break; // the reader is done
        position = cut;
    }
    close(socket);
}

// The body is the stream's bytes from the body's offset in the buffer on; or, when the
// blank line's lone last break got its partner in a later receive, from one further on.
bool BodyAtItsPlace(const HttpClient* client, const std::string& stream) {
    const size_t offset = static_cast<size_t>(client->body - client->receive_buffer);
    const size_t length = client->body_length;
    auto bodyFrom = [&](size_t at) {
        return at + length <= stream.size() && memcmp(client->body, &stream[at], length) == 0;
    };
    const bool partnered = offset >= 1 && offset < stream.size() &&
                           ((stream[offset - 1] == '\r' && stream[offset] == '\n') ||
                            (stream[offset - 1] == '\n' && stream[offset] == '\r'));
    return bodyFrom(offset) || (partnered && bodyFrom(offset + 1));
}

// `stream`: what the buffer holds from its start, or null for a read that started later.
void CheckResponse(HttpClient* client, int result, const std::string* stream) {
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(memchr(client->status_line, '\0', sizeof client->status_line) != nullptr);
    FUZZ_CHECK(memchr(client->error_text, '\0', sizeof client->error_text) != nullptr);
    FUZZ_CHECK(client->header_text == nullptr ||
               strncasecmp(client->header_text, "HTTP/1", 6) == 0);
    if (client->body != nullptr) { // readable up to its terminator, under AddressSanitizer
        FUZZ_CHECK(client->body >= client->receive_buffer && client->body_length <= 1000000);
        volatile char sink = 0;
        for (uint32_t i = 0; i <= client->body_length; ++i)
            sink = static_cast<char>(sink ^ client->body[i]);
    }
    if (result != 1)
        return;
    FUZZ_CHECK(client->header_text != nullptr && client->body != nullptr);
    FUZZ_CHECK(client->body[client->body_length] == '\0');
    if (stream != nullptr)
        FUZZ_CHECK(BodyAtItsPlace(client, *stream));
    FUZZ_CHECK(client->status_code == 200 || strncmp(client->error_text, "HTTP Error : ", 13) == 0);
    FUZZ_CHECK(strncmp(client->status_line, "HTTP", 4) == 0);
    for (const char* name : kNames) {
        for (uint32_t size : {1u, 8u, 64u}) {
            ExactBuffer value(size);
            FUZZ_CHECK(!HttpClientGetHeader(client, name, value.Get(), size) || value.Terminated());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    std::vector<size_t> cuts;
    for (size_t i = 0; i < (control & 15u); ++i)
        cuts.push_back(input.Number<uint16_t>());
    const std::string stream = input.Rest();
    CheckHeaderEnd(stream);
    CheckLineValue(stream, kNames[control >> 5], 16);
    CheckLineValue(stream, kNames[control >> 5], 256);
    for (size_t& cut : cuts)
        cut = stream.empty() ? 0 : cut % stream.size();
    int pair[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    std::thread feeder(Feed, pair[1], std::cref(stream), cuts);

    TcpConnection* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    FUZZ_CHECK(connection != nullptr);
    TcpConnectionInit(connection);
    connection->socket = pair[0];
    connection->connected = 1;
    connection->timeout = 1; // the feeder answers every wait at once
    HttpClient* client = HttpClientCreate(connection);
    FUZZ_CHECK(client != nullptr);
    CheckResponse(client, HttpClientReadResponse(client), &stream);
    if ((control & 16u) != 0) // whatever the first read left, then the end
        CheckResponse(client, HttpClientReadResponse(client), nullptr);
    HttpClientDestroy(client);
    free(client);
    TcpConnectionDestroy(connection);
    free(connection);
    feeder.join();
    return 0;
}

// HttpClientReadResponse fed from a byte stream (the client's connection is one end of a
// local socket pair, the fuzz bytes are written into the other end, which is then
// closed), and the header scans HttpFindHeaderEnd and HttpFindLineValue over the same
// bytes.
//
// Input: byte 0 holds in its low four bits the number of extra cuts in the stream (so '0'
// means none), in bit 4 whether a second response is read on the same connection and in
// bits 5 to 7 the header name looked up; then two bytes per cut give its offset; the rest
// is the stream. The stream travels as packets of at most 5,000 bytes, cut at the given
// offsets, so that the reader sees the pieces a TCP peer could deliver.
//
// Properties: every text field stays terminated inside its array; a successful read has a
// body that is terminated after body_length bytes, lies inside the bytes received and
// equals the stream at that place; a status other than 200 sets the error text. The
// header end lies just behind a line break and changes as more bytes arrive only where a
// break in the last byte held pairs with the next one (the reader scans a growing
// buffer); a value found is the rest of the first line that starts
// with the name and fits its buffer.
#include "http/HttpClient.h"
#include "http/TcpConnection.h"

#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kNames[] = {
    "Content-Length: ", "Location: ", "Connection: ",   "HTTP", "Last-Modified: ",
    "Date: ",           "",           "content-length:"};

constexpr size_t kPacketLimit = 5000; // the smallest piece the reader asks for
constexpr uint32_t kMaxBody = 1000000;

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        char a = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text - 'A' + 'a') : *text;
        char b =
            *prefix >= 'A' && *prefix <= 'Z' ? static_cast<char>(*prefix - 'A' + 'a') : *prefix;
        if (a != b)
            return false;
    }
    return true;
}

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
    // Every prefix the reader could have held gives the same answer, none, or a block
    // ending at its last byte, a break of its own that the next byte turns into a pair.
    for (uint32_t prefix = 0; prefix <= length; ++prefix) {
        if (prefix > 64 && prefix + 64 < length &&
            (end == nullptr || prefix + 2 < offset || prefix > offset + 2))
            continue; // the short prefixes and those near the end are the interesting ones
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
    // The first line (ended by a break inside the text) that starts with the name.
    const size_t nameLength = strlen(name);
    size_t lineStart = 0;
    bool matched = false;
    std::string expected;
    for (size_t i = 0; i < text.size() && !matched; ++i) {
        if (!IsBreak(text[i]))
            continue;
        if (i - lineStart >= nameLength) {
            matched = StartsWithNoCase(text.c_str() + lineStart, name);
            expected = text.substr(lineStart + nameLength, i - lineStart - nameLength);
        }
        lineStart = i + 1;
    }
    FUZZ_CHECK(found == (matched && expected.size() < size ? 1 : 0));
    if (found)
        FUZZ_CHECK(value.Terminated() && value.Get()[expected.size()] == '\0' &&
                   memcmp(value.Get(), expected.data(), expected.size()) == 0);
}

// Writes the stream as packets and closes the writing end. The socket buffer takes far
// more than the longest input, so a write that would block is a harness fault.
void Feed(int socket, const std::string& stream, std::vector<size_t> cuts) {
    FUZZ_CHECK(fcntl(socket, F_SETFL, O_NONBLOCK) == 0);
    cuts.push_back(stream.size());
    std::sort(cuts.begin(), cuts.end());
    size_t position = 0;
    for (size_t cut : cuts) {
        while (position < cut) {
            size_t piece = std::min(cut - position, kPacketLimit);
            ssize_t sent;
            do { // libFuzzer's timer signal may interrupt the call
                sent = send(socket, stream.data() + position, piece, MSG_NOSIGNAL);
            } while (sent < 0 && errno == EINTR);
            if (sent != static_cast<ssize_t>(piece)) {
                fprintf(stderr, "harness: the socket pair did not take a %zu-byte packet\n", piece);
                abort();
            }
            position += piece;
        }
    }
    close(socket);
}

// `stream` is what the buffer must hold from its start, or null when the read did not
// start at the beginning of the stream.
void CheckResponse(HttpClient* client, int result, const std::string* stream) {
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(memchr(client->status_line, '\0', sizeof client->status_line) != nullptr);
    FUZZ_CHECK(memchr(client->error_text, '\0', sizeof client->error_text) != nullptr);
    if (client->header_text != nullptr)
        FUZZ_CHECK(StartsWithNoCase(client->header_text, "HTTP/1"));
    if (client->body != nullptr) {
        // The body is readable up to its terminator (AddressSanitizer watches the reads).
        FUZZ_CHECK(client->body >= client->receive_buffer);
        FUZZ_CHECK(client->body_length <= kMaxBody);
        volatile char sink = 0;
        for (uint32_t i = 0; i <= client->body_length; ++i)
            sink = static_cast<char>(sink ^ client->body[i]);
        (void)sink;
    }
    if (result != 1)
        return;
    FUZZ_CHECK(client->header_text != nullptr && client->body != nullptr);
    FUZZ_CHECK(client->body[client->body_length] == '\0');
    if (stream != nullptr) {
        const size_t offset = static_cast<size_t>(client->body - client->receive_buffer);
        FUZZ_CHECK(offset + client->body_length <= stream->size());
        FUZZ_CHECK(memcmp(client->body, stream->data() + offset, client->body_length) == 0);
    }
    if (client->status_code != 200)
        FUZZ_CHECK(strncmp(client->error_text, "HTTP Error : ", 13) == 0);
    FUZZ_CHECK(strncmp(client->status_line, "HTTP", 4) == 0);

    // Header values fit the buffers they are asked into.
    for (const char* name : kNames) {
        for (uint32_t size : {1u, 8u, 64u}) {
            ExactBuffer value(size);
            if (HttpClientGetHeader(client, name, value.Get(), size))
                FUZZ_CHECK(value.Terminated());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const size_t cutCount = control & 15u;
    const bool readTwice = (control & 16u) != 0;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts.push_back(input.U16());
    const std::string stream = input.Rest();
    CheckHeaderEnd(stream);
    CheckLineValue(stream, kNames[control >> 5], 16);
    CheckLineValue(stream, kNames[control >> 5], 256);
    for (size_t& cut : cuts)
        cut = stream.empty() ? 0 : cut % stream.size();

    int pair[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair) == 0);
    Feed(pair[1], stream, cuts);

    TcpConnection* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    FUZZ_CHECK(connection != nullptr);
    TcpConnectionInit(connection);
    connection->socket = pair[0];
    connection->connected = 1;
    connection->timeout = 1; // the peer has closed: no wait ever lasts
    HttpClient* client = HttpClientCreate(connection);
    FUZZ_CHECK(client != nullptr);

    CheckResponse(client, HttpClientReadResponse(client), &stream);
    if (readTwice) // whatever the first read left in the socket, then its end
        CheckResponse(client, HttpClientReadResponse(client), nullptr);

    HttpClientDestroy(client);
    free(client);
    TcpConnectionDestroy(connection);
    free(connection);
    return 0;
}

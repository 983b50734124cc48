// The HTTP client over a server's bytes; byte 0 picks the path. Even: HttpClientReadResponse
// through a socket pair, byte 1 holding the number of cuts (bits 0-3) and a second read (bit 4),
// then two bytes per cut offset and the stream, split at the cuts. Odd: HttpDownload from the
// tests' loopback peer, byte 1 making the file exist (bit 0); the rest is the answer, whose body
// lands in the file, or the earlier file stays.
#include "http/HttpClient.h"
#include "http/HttpDownloader.h"
#include "http/TcpConnection.h"

#include "fuzz/FuzzSupport.h"
#include "support/ScriptedServer.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <linux/sockios.h>
#include <sched.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" void __wrap__Z5Sleepj(unsigned int) {} // the peer sent all before the client reads

namespace {

// A header end moves as bytes arrive only where a break in the last byte held pairs with the next.
void CheckHeaderEnd(const std::string& text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    ExactBuffer bytes(length);
    memcpy(bytes.Get(), text.data(), length);
    uint32_t offset = 0;
    const char* end = HttpFindHeaderEnd(bytes.Get(), length, &offset);
    FUZZ_CHECK(end == nullptr || (end == bytes.Get() + offset && offset >= 2 &&
                                  (text[offset - 1] == '\r' || text[offset - 1] == '\n')));
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
    FUZZ_CHECK(!client->header_text || strncasecmp(client->header_text, "HTTP/1", 6) == 0);
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
}

void ReadResponse(FuzzInput& input) {
    const uint8_t control = input.Byte();
    std::vector<size_t> cuts;
    for (size_t i = 0; i < (control & 15u); ++i)
        cuts.push_back(input.Number(2));
    const std::string stream = input.Rest();
    CheckHeaderEnd(stream);
    for (size_t& cut : cuts)
        cut = stream.empty() ? 0 : cut % stream.size();
    int pair[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    std::thread feeder(Feed, pair[1], std::cref(stream), cuts);

    TcpConnection connection;
    TcpConnectionInit(&connection);
    connection.socket = pair[0];
    connection.connected = 1;
    connection.timeout = 1; // the feeder answers every wait at once
    HttpClient* client = HttpClientCreate(&connection);
    FUZZ_CHECK(client != nullptr);
    CheckResponse(client, HttpClientReadResponse(client), &stream);
    if ((control & 16u) != 0) // whatever the first read left, then the end
        CheckResponse(client, HttpClientReadResponse(client), nullptr);
    HttpClientDestroy(client);
    free(client);
    TcpConnectionDestroy(&connection);
    feeder.join();
}

void Download(uint8_t control, const std::string& answer) {
    const bool existed = (control & 1) != 0;
    static const std::string destination =
        "/tmp/kiv-fuzz-download-" + std::to_string(getpid()) + ".bin";
    const std::string previous = "earlier content";
    unlink(destination.c_str());
    if (existed)
        std::ofstream(destination, std::ios::binary) << previous;

    ScriptedServer peer({ScriptedServer::Reply(answer)});
    HttpDownloader downloader;
    FUZZ_CHECK(HttpDownloaderCreate(&downloader) == &downloader);
    const std::string url = peer.Url("/setup.exe");
    int result = 7;
    const int returned =
        HttpDownload(&downloader, url.c_str(), destination.c_str(), &result, nullptr, nullptr);
    peer.Stop();
    FUZZ_CHECK(peer.Requests().size() == 1 && (returned == 0 || returned == 1) &&
               (result == 0 || result == 1));
    FUZZ_CHECK(memchr(downloader.error_text, '\0', sizeof downloader.error_text) != nullptr);

    std::ifstream file(destination, std::ios::binary);
    const bool exists = static_cast<bool>(file);
    const std::string content(std::istreambuf_iterator<char>(file), {});
    if (result == 1) {
        // The body starts 4 bytes behind the first CR with a CR 2 bytes on, in 4,096 bytes.
        FUZZ_CHECK(returned == 1 && exists);
        size_t start = 0;
        while (start + 3 < std::min<size_t>(answer.size(), 4096) &&
               !(answer[start] == '\r' && answer[start + 2] == '\r'))
            ++start;
        FUZZ_CHECK(start + 3 < answer.size() && content.size() <= answer.size() - start - 4);
        FUZZ_CHECK(answer.compare(start + 4, content.size(), content) == 0);
    } else if (returned == 1) {
        FUZZ_CHECK(exists == existed && (!existed || content == previous));
    }
    HttpDownloaderDestroy(&downloader);
    unlink(destination.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    if ((input.Byte() & 1) == 0) {
        ReadResponse(input);
        return 0;
    }
    const uint8_t control = input.Byte();
    Download(control, input.Rest());
    return 0;
}

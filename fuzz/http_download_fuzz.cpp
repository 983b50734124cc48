// HttpDownload against a scripted peer: a loopback listener accepts the downloader's
// connection, reads its request, answers with the fuzz bytes and closes its side.
//
// Input: byte 0 holds the choices: bit 0 makes the destination exist beforehand (so the
// request is conditional), bit 1 goes through the peer as a proxy with credentials, bit
// 2 installs a progress callback that stops the transfer at its second call; the rest
// is the answer.
//
// Properties: the request is one complete header block and conditional exactly when
// the destination existed; the error text stays inside its array; a transferred body
// (result 1) is the answer from just behind its header block, and no longer than that;
// a "not modified" answer leaves an existing destination as it was.
//
// The downloader pauses 100 ms before receiving again when an answer is short or its
// header incomplete. The peer has sent everything before the downloader reads, so the
// pause changes nothing but the speed: the link step of this harness routes Sleep to
// an empty function (see fuzz/CMakeLists.txt).
#include "http/HttpDownloader.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/LoopbackPeer.h"
#include "text/BoundedText.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

extern "C" void __wrap__Z5Sleepj(unsigned int) {}

namespace {

std::string ReadFile(const std::string& path, bool* exists) {
    std::ifstream file(path, std::ios::binary);
    *exists = static_cast<bool>(file);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

int StopAtSecondCall(void* context, uint32_t, uint32_t) {
    int* calls = static_cast<int*>(context);
    return ++*calls >= 2 ? 0 : 1;
}

// Where a "200" answer's body starts by the downloader's rule: four bytes behind the
// first CR that has another CR two bytes further, within the 4,096 bytes it holds.
size_t BodyStart(const std::string& answer) {
    const size_t held = answer.size() < 4096 ? answer.size() : 4096;
    for (size_t i = 0; i + 3 < held; ++i)
        if (answer[i] == '\r' && answer[i + 2] == '\r')
            return i + 4;
    return std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const bool existed = (control & 1) != 0;
    const bool viaProxy = (control & 2) != 0;
    const bool stopping = (control & 4) != 0;
    const std::string answer = input.Rest();

    static const std::string destination =
        "/tmp/kiv-fuzz-download-" + std::to_string(getpid()) + ".bin";
    const std::string previous = "earlier content";
    unlink(destination.c_str());
    if (existed) {
        std::ofstream(destination, std::ios::binary) << previous;
    }

    const uint16_t port = LoopbackPeer::Port();
    LoopbackPeer peer({answer});

    HttpDownloader downloader;
    FUZZ_CHECK(HttpDownloaderCreate(&downloader) == &downloader);
    std::string url;
    if (viaProxy) {
        StrCopy(downloader.proxy_host, sizeof downloader.proxy_host, "127.0.0.1");
        downloader.proxy_port = port;
        FUZZ_CHECK(HttpDownloaderSetProxyAuth(&downloader, "user", "secret") == 1);
        url = "http://update.invalid/dir/setup.exe";
    } else {
        url = "http://127.0.0.1:" + std::to_string(port) + "/dir/setup.exe";
    }
    int calls = 0;
    int result = 7;
    const int returned = HttpDownload(&downloader, url.c_str(), destination.c_str(), &result,
                                      stopping ? StopAtSecondCall : nullptr, &calls);
    peer.Stop();
    FUZZ_CHECK(peer.Requests().size() == 1);
    const std::string& request = peer.Requests()[0];

    FUZZ_CHECK(returned == 0 || returned == 1);
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(memchr(downloader.error_text, '\0', sizeof downloader.error_text) != nullptr);
    FUZZ_CHECK(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
    FUZZ_CHECK(request.compare(0, viaProxy ? 11 : 5, viaProxy ? "GET http://" : "GET /") == 0);
    FUZZ_CHECK((request.find("\r\nIf-Modified-Since: ") != std::string::npos) == existed);

    bool exists = false;
    const std::string content = ReadFile(destination, &exists);
    if (result == 1) {
        // A body was transferred: it is the answer behind its header block.
        FUZZ_CHECK(returned == 1 && exists);
        const size_t start = BodyStart(answer);
        FUZZ_CHECK(start != std::string::npos && start <= answer.size());
        FUZZ_CHECK(answer.compare(start, content.size(), content) == 0);
        FUZZ_CHECK(content.size() <= answer.size() - start);
    } else if (returned == 1) {
        // "Not modified": nothing written.
        FUZZ_CHECK(exists == existed);
        if (existed)
            FUZZ_CHECK(content == previous);
    }

    HttpDownloaderDestroy(&downloader);
    unlink(destination.c_str());
    return 0;
}

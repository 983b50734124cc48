// HttpDownload and the update check against the tests' loopback peer, every connection of
// the check sent to the peer as proxy. Byte 0: bit 3 picks the check, then byte 1 is the
// language, byte 2 the caller's buffer in 16-byte units (255: none), then the first
// answer up to a NUL and the answer to every later connection. Otherwise bit 0 makes the
// destination exist (a conditional request), bit 1 goes through the peer as proxy with
// credentials, bit 2 stops at the second progress call; the rest is the answer.
// Sleep is routed to an empty function at link time: the peer has sent all before reading.
#include "http/HttpDownloader.h"
#include "text/BoundedText.h"
#include "update/UpdateService.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/MifReference.h"
#include "support/ScriptedServer.h"

#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

extern "C" void __wrap__Z5Sleepj(unsigned int) {}

namespace {

int StopAtSecondCall(void* context, uint32_t, uint32_t) {
    return ++*static_cast<int*>(context) >= 2 ? 0 : 1;
}

void Check(FuzzInput& input) {
    const int32_t language = input.Byte() & 15;
    const uint32_t units = input.Byte();
    const std::string first = input.Until('\0');
    std::vector<ScriptedConnection> script{ScriptedServer::Reply(first)};
    script.resize(8, ScriptedServer::Reply(input.Rest()));
    const uint32_t bufferSize = units == 255 ? 0 : units * 16;
    ExactBuffer buffer(bufferSize);

    ScriptedServer peer(script);
    const uint32_t result =
        UpdateCheck(language, "http://update.invalid/kiv/update.ini", "127.0.0.1", peer.Port(),
                    units == 255 ? nullptr : buffer.Get(), bufferSize);
    peer.Stop();
    FUZZ_CHECK(result <= bufferSize && !peer.Requests().empty());
    for (uint32_t i = result; i < bufferSize; ++i)
        FUZZ_CHECK(static_cast<unsigned char>(buffer.Get()[i]) == 0xA5);
    // At most twelve facts of at most 255 bytes each: a large buffer gets at least the list.
    FUZZ_CHECK(result != 0 || bufferSize < 12 * (4 + 255) + 2);
    if (result == 0)
        return;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(buffer.Get());
    const MifWalk walk(bytes, result);
    FUZZ_CHECK(walk.strict);
    std::set<uint16_t> seen;
    for (const MifRecord& record : walk.records) {
        const uint16_t tag = record.tag;
        FUZZ_CHECK(seen.insert(tag).second);
        if (tag == 2 || tag == 3 || tag == 4 || tag == 8 || tag == 11 || tag == 21) {
            FUZZ_CHECK(record.length == 4);
        } else {
            FUZZ_CHECK(tag == 1 || tag == 5 || tag == 6 || tag == 10 || tag == 20 || tag == 30);
            FUZZ_CHECK(record.length <= 255);
            FUZZ_CHECK(memchr(bytes + record.offset, '\0', record.length) == nullptr);
        }
    }
}

void Download(uint8_t control, const std::string& answer) {
    const bool existed = (control & 1) != 0, viaProxy = (control & 2) != 0;
    static const std::string destination =
        "/tmp/kiv-fuzz-download-" + std::to_string(getpid()) + ".bin";
    const std::string previous = "earlier content";
    unlink(destination.c_str());
    if (existed)
        std::ofstream(destination, std::ios::binary) << previous;

    ScriptedServer peer({ScriptedServer::Reply(answer)});
    HttpDownloader downloader;
    FUZZ_CHECK(HttpDownloaderCreate(&downloader) == &downloader);
    std::string url = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/dir/setup.exe";
    if (viaProxy) {
        StrCopy(downloader.proxy_host, sizeof downloader.proxy_host, "127.0.0.1");
        downloader.proxy_port = peer.Port();
        FUZZ_CHECK(HttpDownloaderSetProxyAuth(&downloader, "user", "secret") == 1);
        url = "http://update.invalid/dir/setup.exe";
    }
    int calls = 0, result = 7;
    const int returned = HttpDownload(&downloader, url.c_str(), destination.c_str(), &result,
                                      (control & 4) != 0 ? StopAtSecondCall : nullptr, &calls);
    peer.Stop();
    FUZZ_CHECK(peer.Requests().size() == 1);
    const std::string request = peer.Requests()[0];
    FUZZ_CHECK((returned == 0 || returned == 1) && (result == 0 || result == 1));
    FUZZ_CHECK(memchr(downloader.error_text, '\0', sizeof downloader.error_text) != nullptr);
    FUZZ_CHECK(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
    FUZZ_CHECK(request.compare(0, viaProxy ? 11 : 5, viaProxy ? "GET http://" : "GET /") == 0);
    FUZZ_CHECK((request.find("\r\nIf-Modified-Since: ") != std::string::npos) == existed);

    std::ifstream file(destination, std::ios::binary);
    const bool exists = static_cast<bool>(file);
    std::ostringstream read;
    read << file.rdbuf();
    const std::string content = read.str();
    if (result == 1) {
        // The body starts 4 bytes behind the first CR with a CR 2 bytes on, in 4,096 bytes.
        FUZZ_CHECK(returned == 1 && exists);
        size_t start = std::string::npos;
        for (size_t i = 0;
             i + 3 < std::min<size_t>(answer.size(), 4096) && start == std::string::npos; ++i)
            if (answer[i] == '\r' && answer[i + 2] == '\r')
                start = i + 4;
        FUZZ_CHECK(start <= answer.size() && content.size() <= answer.size() - start);
        FUZZ_CHECK(answer.compare(start, content.size(), content) == 0);
    } else if (returned == 1) {
        FUZZ_CHECK(exists == existed && (!existed || content == previous));
    }
    HttpDownloaderDestroy(&downloader);
    unlink(destination.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    if ((control & 8) != 0)
        Check(input);
    else
        Download(control, input.Rest());
    return 0;
}

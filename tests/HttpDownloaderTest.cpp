#include "http/HttpDownloader.h"
#include "TestHelpers.h"
#include "compat/win32.h"
#include "http/HttpDate.h"
#include "support/ScriptedServer.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

using Requests = std::vector<std::string>;

const time_t kNov1994 = 784111777;
const std::string kNov1994Text = "Sun, 06 Nov 1994 08:49:37 GMT";
const char kUnchanged[] = "(unchanged)"; // error_text preset before each download

struct DownloaderDeleter {
    void operator()(HttpDownloader* downloader) const {
        HttpDownloaderDestroy(downloader);
        free(downloader);
    }
};
using DownloaderHandle = std::unique_ptr<HttpDownloader, DownloaderDeleter>;

// A downloader going through the proxy at 127.0.0.1:`proxyPort` when that is not 0.
DownloaderHandle MakeDownloader(uint16_t proxyPort = 0) {
    DownloaderHandle downloader(
        HttpDownloaderCreate(static_cast<HttpDownloader*>(malloc(sizeof(HttpDownloader)))));
    downloader->connection->timeout = 5;
    memcpy(downloader->error_text, kUnchanged, sizeof kUnchanged);
    if (proxyPort != 0) {
        memcpy(downloader->proxy_host, "127.0.0.1", 10);
        downloader->proxy_port = proxyPort;
    }
    return downloader;
}

// The file's modification time as an HTTP date.
std::string Date(const TempFile& file) {
    char date[40] = "(no file)";
    HttpFileDate(file.c_str(), nullptr, date);
    return date;
}

// Progress calls as "done/total" words, and when they came.
struct ProgressLog {
    std::string calls;
    std::vector<DWORD> ticks;
    int stopAtCall = 0; // the call (counted from 1) that returns 0; 0 never
};

int RecordProgress(void* context, uint32_t done, uint32_t total) {
    auto* log = static_cast<ProgressLog*>(context);
    log->calls += (log->calls.empty() ? "" : " ") + std::to_string(done) + "/" +
                  (total == kHttpLengthUnknown ? std::string("?") : std::to_string(total));
    log->ticks.push_back(GetTickCount());
    return static_cast<int>(log->ticks.size()) == log->stopAtCall ? 0 : 1;
}

// A request as the downloader writes it: the request line's target, the Host value and
// the lines between "Accept" and the empty line.
std::string Request(const std::string& target, const std::string& host,
                    const std::string& extra = "") {
    return "GET " + target + " HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: " + host +
           "\r\nUserAgent: KIV\r\nAccept: */*\r\n" + extra + "\r\n";
}

std::string DirectRequest(unsigned port, bool conditional) {
    return Request("/pkg/setup.exe", "127.0.0.1:" + std::to_string(port),
                   conditional ? "If-Modified-Since: " + kNov1994Text + "\r\n" : "");
}

std::string Url(unsigned port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/pkg/setup.exe";
}

TEST(HttpDownload, AnswersFilesAndTimes) {
    struct Case {
        const char* existing; // content of the destination before (dated 1994), or null
        std::string reply;
        int result, out;
        std::string error;    // kUnchanged when the download must not set one
        std::string content;  // "(no file)" when none may be written
        std::string date;     // of the file afterwards, "": not checked
        const char* progress; // the calls, "done/total" with ? for an unknown length
    };
    const std::string body(1000, 'b'), lm = "Tue, 15 Nov 1994 12:45:26 GMT",
                                       date = "Wed, 16 Nov 1994 00:00:01 GMT";
    const std::string lmLine = "Last-Modified: " + lm + "\r\n", dateLine = "Date: " + date + "\r\n";
    const Case cases[] = {
        {nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n" + lmLine + "\r\nhello", 1, 1,
         kUnchanged, "hello", lm, "0/5 5/5"},
        // Not modified: content and times stay, though the answer carries a date.
        {"old", "HTTP/1.1 304 Not Modified\r\n" + lmLine + dateLine + "\r\n", 1, 0, kUnchanged,
         "old", kNov1994Text, ""},
        // Modified: the longer old file is truncated.
        {"old content", "HTTP/1.0 200 OK\r\ncontent-length: 3\r\n" + lmLine + "\r\nnew", 1, 1,
         kUnchanged, "new", lm, "0/3 3/3"},
        // No length: the body ends when the server closes; Date alone sets the time.
        {nullptr, "HTTP/1.0 200 OK\r\n" + dateLine + "\r\n" + body, 1, 1, kUnchanged, body, date,
         "0/? 1000/?"},
        {nullptr, "HTTP/1.0 200 OK\r\nContent-length: 0\r\n\r\nabc", 1, 1, kUnchanged, "abc", "",
         "0/? 3/?"}, // a length of 0 counts as none
        // Cut off after 600 of 1000 bytes: the part stays, with its date.
        {nullptr,
         "HTTP/1.0 200 OK\r\nContent-length: 1000\r\n" + lmLine + "\r\n" + body.substr(400), 0, 0,
         kUnchanged, body.substr(400), lm, "0/1000 600/1000"},
        {nullptr, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", 0, 0,
         "HTTP Error: HTTP/1.1 404 Not Found", "(no file)", "", ""},
        {nullptr, "HTTP/1.0 503 100% busy %s%n\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 503 100  busy  s n", "(no file)", "", ""},
        {nullptr, "HTTP/1.0 500 " + std::string(100, 'x') + "\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 500 " + std::string(57, 'x'), "(no file)", "", ""}, // 70 bytes
        // Last-Modified wins over Date, after it or before it.
        {nullptr, "HTTP/1.0 200 OK\r\n" + dateLine + lmLine + "Content-Length: 1\r\n\r\nx", 1, 1,
         kUnchanged, "x", lm, "0/1 1/1"},
        {nullptr, "HTTP/1.0 200 OK\r\n" + lmLine + dateLine + "Content-Length: 1\r\n\r\nx", 1, 1,
         kUnchanged, "x", lm, "0/1 1/1"},
        // A date that cannot be set fails the download; the body stays.
        {nullptr, "HTTP/1.0 200 OK\r\nLast-Modified: soon\r\nContent-Length: 1\r\n\r\nx", 0, 0,
         "Set file time failed", "x", "", "0/1 1/1"},
        // A line past 199 characters keeps its start and its last character.
        {nullptr,
         "HTTP/1.0 200 OK\r\nContent-Length: " + std::string(200, '0') + "7\r\n\r\nabcdefghij", 1,
         1, kUnchanged, "abcdefghij", "", "0/7 10/7"},
        {nullptr, "HTTP/1.0 200 OK\r\nContent-length: 5\r\n\r\nhelloEXTRA", 1, 1, kUnchanged,
         "helloEXTRA", "", "0/5 10/5"}, // the bytes held are written as held
        {nullptr, "HTTP/1.0 200 OK\r\nContent-length: -5\r\n\r\nabc", 0, 0, kUnchanged, "abc", "",
         "0/4294967291 3/4294967291"}, // a negative length is a length, not none
        {nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 4294967295\r\n\r\nabc", 0, 0,
         "Content-length too large", "(no file)", "", ""},
        {nullptr, "", 0, 0, "Receive timeout", "(no file)", "", ""},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        if (c.existing != nullptr) {
            file.Write(c.existing);
            struct utimbuf times = {kNov1994, kNov1994};
            ASSERT_EQ(0, utime(file.c_str(), &times));
        }
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        DownloaderHandle downloader = MakeDownloader();
        ProgressLog log;
        int out = -1;
        EXPECT_EQ(c.result, HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.c_str(),
                                         &out, RecordProgress, &log));
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.error, downloader->error_text);
        EXPECT_EQ(Requests{DirectRequest(server.Port(), c.existing != nullptr)}, server.Requests());
        EXPECT_TRUE(c.date.empty() || c.date == Date(file)) << Date(file);
        EXPECT_EQ(c.content, file.Read());
        EXPECT_EQ(c.progress, log.calls);
        EXPECT_EQ(0u, downloader->connection->connected) << "closed after every download";
    }
}

TEST(HttpDownload, HeaderInSmallPiecesAndSecondDownloadIsConditional) {
    TempFile file("kiv_download");
    ScriptedConnection slow = ScriptedServer::Reply(
        "HTTP/1.0 200 OK\r\nContent-Length: 26\r\nLast-Modified: " + kNov1994Text +
        "\r\n\r\nabcdefghijklmnopqrstuvwxyz");
    slow.exchanges[0].piece = 16;
    slow.exchanges[0].delay_ms = 20;
    ScriptedServer server({slow, ScriptedServer::Reply("HTTP/1.0 304 Not Modified\r\n\r\n")});
    DownloaderHandle downloader = MakeDownloader();
    for (int round = 0; round < 2; ++round) {
        int out = -1;
        EXPECT_EQ(1, HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.c_str(), &out,
                                  nullptr, nullptr));
        EXPECT_EQ(round == 0 ? 1 : 0, out);
        EXPECT_EQ("abcdefghijklmnopqrstuvwxyz", file.Read());
    }
    EXPECT_EQ((Requests{DirectRequest(server.Port(), false), DirectRequest(server.Port(), true)}),
              server.Requests());
}

TEST(HttpDownload, ProxyRequests) {
    struct Case {
        std::string url;
        const char *user, *password;
        std::string request;
    };
    const std::string host126(126, 'h'), password198(198, 'p');
    const Case cases[] = {
        // The port is written even when it is 80; the Host line has none then.
        {"http://updates.example/pkg/setup.exe", nullptr, nullptr,
         Request("http://updates.example:80/pkg/setup.exe", "updates.example")},
        {"http://updates.example/a", "kiv", "s3cret",
         Request("http://updates.example:80/a", "updates.example",
                 "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n")},
        // No authorization without a password, nor when user ":" password has 200 bytes.
        {"http://updates.example/a", "kiv", nullptr,
         Request("http://updates.example:80/a", "updates.example")},
        {"http://updates.example/a", "u", password198.c_str(),
         Request("http://updates.example:80/a", "updates.example")},
        {"http://" + host126 + "/x", nullptr, nullptr, // the longest host the Host line holds
         Request("http://" + host126 + ":80/x", host126)},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader = MakeDownloader(server.Port());
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), c.user, c.password));
        // Null and empty arguments keep what is stored.
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), "", nullptr));
        EXPECT_EQ(1, HttpDownload(downloader.get(), c.url.c_str(), file.c_str(), nullptr, nullptr,
                                  nullptr));
        EXPECT_EQ(Requests{c.request}, server.Requests());
        EXPECT_EQ("ok", file.Read());
    }
}

TEST(HttpDownload, FailuresBeforeAnyAnswer) {
    uint16_t closedPort;
    {
        ScriptedServer gone({});
        closedPort = gone.Port();
    }
    struct Case {
        std::string url;
        bool viaProxy; // through the live server as proxy, or the closed port for a direct URL
        const char* error;
    } const cases[] = {
        {Url(closedPort), false, "Connect to 127.0.0.1 failed"},
        {"http://updates.example", true, "URL Parse Error !"},
        {"http://" + std::string(127, 'h') + "/a", true, "Host name too long"},
        {"http://" + std::string(122, 'h') + ":8080/a", true, "Host name too long"},
        {"http://updates.example/" + std::string(4100, 'p'), true, "Request too long"},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader = MakeDownloader(c.viaProxy ? server.Port() : 0);
        int out = -1;
        EXPECT_EQ(
            0, HttpDownload(downloader.get(), c.url.c_str(), file.c_str(), &out, nullptr, nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(c.error, downloader->error_text);
        EXPECT_EQ(0, server.Connections());
        EXPECT_EQ("(no file)", file.Read());
    }
    // A proxy that cannot be reached is reported with the URL's host.
    DownloaderHandle downloader = MakeDownloader(closedPort);
    EXPECT_EQ(0, HttpDownload(downloader.get(), "http://updates.example/a", "unused", nullptr,
                              nullptr, nullptr));
    EXPECT_STREQ("Connect to updates.example failed", downloader->error_text);
    EXPECT_EQ(0, HttpDownload(downloader.get(), nullptr, "unused", nullptr, nullptr, nullptr));
    EXPECT_STREQ("URL Parse Error !", downloader->error_text);
}

TEST(HttpDownload, DestinationFailures) {
    struct Case {
        std::string path;
        const char* error;
    } const cases[] = {
        {(std::filesystem::temp_directory_path() / "kiv_no_such_directory" / "x.bin").string(),
         "Can't open destination file"},
#ifdef __linux__
        // Every write fails there; the last buffered bytes reach it only when closing.
        {"/dev/full", "Write to destination failed"},
#endif
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody")});
        DownloaderHandle downloader = MakeDownloader();
        int out = -1;
        EXPECT_EQ(0, HttpDownload(downloader.get(), Url(server.Port()).c_str(), c.path.c_str(),
                                  &out, nullptr, nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(c.error, downloader->error_text);
        EXPECT_EQ(1, server.Connections());
    }
}

TEST(HttpDownload, ProgressIsThrottledAndMayStop) {
    // Periodic calls need 10 pieces and more than 500 ms: slow pieces make the count
    // decide, fast ones the time.
    struct Case {
        uint32_t pieces; // of 4,096 bytes each
        int delayMs;     // before each piece
        int stopAtCall;  // 0: never stop
    } const cases[] = {{16, 60, 2}, {40, 20, 0}};
    FOR_EACH_CASE(c, cases) {
        const uint32_t length = c.pieces * 4096;
        ScriptedConnection slow = ScriptedServer::Reply(
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) +
            "\r\nLast-Modified: " + kNov1994Text + "\r\n\r\n" + std::string(length, 'z'));
        slow.exchanges[0].piece = 4096;
        slow.exchanges[0].delay_ms = c.delayMs;
        ScriptedServer server({slow});
        TempFile file("kiv_download");
        DownloaderHandle downloader = MakeDownloader();
        ProgressLog log;
        log.stopAtCall = c.stopAtCall;
        int out = -1;
        const int ok = HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.c_str(),
                                    &out, RecordProgress, &log);
        const int calls = static_cast<int>(log.ticks.size());
        ASSERT_GE(calls, 3) << log.calls;
        // The first call announces the length, the last reports what was written.
        const std::string total = "/" + std::to_string(length);
        EXPECT_EQ("0" + total, log.calls.substr(0, log.calls.find(' ')));
        const std::string last = log.calls.substr(log.calls.rfind(' ') + 1);
        const uint32_t written = static_cast<uint32_t>(std::stoul(last));
        EXPECT_EQ(std::to_string(written) + total, last);
        EXPECT_EQ(kNov1994Text, Date(file));
        EXPECT_EQ(written, file.Read().size());
        EXPECT_STREQ(kUnchanged, downloader->error_text);
        EXPECT_EQ(c.stopAtCall == 0 ? 1 : 0, ok);
        EXPECT_EQ(ok, out);
        if (c.stopAtCall != 0) {
            // Stopped at the first periodic call: after 10 pieces, still called at the end.
            EXPECT_EQ(3, calls) << log.calls;
            EXPECT_GE(written, 10u * 4096);
            EXPECT_LT(written, length);
            EXPECT_EQ(last + " " + last, log.calls.substr(log.calls.find(' ') + 1));
        } else {
            EXPECT_EQ(length, written);
        }
        // Periodic calls keep more than 500 ms from the one before (the first included).
        for (int k = 1; k + 1 < calls; ++k)
            EXPECT_GT(log.ticks[k] - log.ticks[k - 1], 450u) << "call " << k << ": " << log.calls;
    }
}

} // namespace

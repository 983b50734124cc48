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
const char kNoFile[] = "(no file)";

using DownloaderHandle = Owned<HttpDownloader, HttpDownloaderDestroy>;

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
        int result; // returned and set in `result` when `out`
        bool out;
        std::string error, content, date; // date "": not checked
        const char* progress;             // "done/total" calls, ? for an unknown length
    };
    const std::string body(1000, 'b'), lm = "Thu, 15 Dec 1994 12:45:26 GMT",
                                       date = "Wed, 16 Nov 1994 00:00:01 GMT";
    const std::string ok = "HTTP/1.0 200 OK\r\n", lmLine = "Last-Modified: " + lm + "\r\n",
                      dateLine = "Date: " + date + "\r\n", x = "Content-Length: 1\r\n\r\nx";
    const Case cases[] = {
        {nullptr, ok + "Content-Length: 5\r\n" + lmLine + "\r\nhello", 1, 1, kUnchanged, "hello",
         lm, "0/5 5/5"},
        // Not modified: content and times stay, though the answer carries a date.
        {"old", "HTTP/1.1 304 Not Modified\r\n" + lmLine + dateLine + "\r\n", 1, 0, kUnchanged,
         "old", kNov1994Text, ""},
        {"old content", ok + "content-length: 3\r\n" + lmLine + "\r\nnew", 1, 1, kUnchanged, "new",
         lm, "0/3 3/3"}, // the longer old file is truncated
        // No length: the body ends when the server closes; Date alone sets the time.
        {nullptr, ok + dateLine + "\r\n" + body, 1, 1, kUnchanged, body, date, "0/? 1000/?"},
        {nullptr, ok + "Content-length: 0\r\n\r\nabc", 1, 1, kUnchanged, "abc", "", "0/? 3/?"},
        // Cut off after 600 of 1000 bytes: the part stays, with its date.
        {nullptr, ok + "Content-length: 1000\r\n" + lmLine + "\r\n" + body.substr(400), 0, 0,
         kUnchanged, body.substr(400), lm, "0/1000 600/1000"},
        {nullptr, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", 0, 0,
         "HTTP Error: HTTP/1.1 404 Not Found", kNoFile, "", ""},
        {nullptr, "HTTP/1.0 503 100% busy %s%n\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 503 100  busy  s n", kNoFile, "", ""},
        {nullptr, "HTTP/1.0 500 " + std::string(100, 'x') + "\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 500 " + std::string(57, 'x'), kNoFile, "", ""}, // 70 bytes
        // Last-Modified wins over Date, after it or before it.
        {nullptr, ok + dateLine + lmLine + x, 1, 1, kUnchanged, "x", lm, "0/1 1/1"},
        {nullptr, ok + lmLine + dateLine + x, 1, 1, kUnchanged, "x", lm, "0/1 1/1"},
        {nullptr, ok + "Last-Modified: soon\r\n" + x, 0, 0, "Set file time failed", "x", "",
         "0/1 1/1"},
        // A line past 199 characters keeps its start and its last character.
        {nullptr, ok + "Content-Length: " + std::string(200, '0') + "7\r\n\r\nabcdefghij", 1, 1,
         kUnchanged, "abcdefghij", "", "0/7 10/7"},
        {nullptr, ok + "Content-length: 5\r\n\r\nhelloEXTRA", 1, 1, kUnchanged, "helloEXTRA", "",
         "0/5 10/5"}, // the bytes held are written as held
        {nullptr, ok + "Content-length: -5\r\n\r\nabc", 0, 0, kUnchanged, "abc", "",
         "0/4294967291 3/4294967291"}, // a negative length is a length, not none
        {nullptr, ok + "Content-Length: 4294967295\r\n\r\nabc", 0, 0, "Content-length too large",
         kNoFile, "", ""},
        {nullptr, "", 0, 0, "Receive timeout", kNoFile, "", ""},
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
        EXPECT_EQ(c.out ? c.result : 0, out);
        EXPECT_EQ(c.error, downloader->error_text);
        EXPECT_EQ(Requests{DirectRequest(server.Port(), c.existing != nullptr)}, server.Requests());
        EXPECT_TRUE(c.date.empty() || c.date == Date(file)) << Date(file);
        EXPECT_EQ(c.content, file.Read());
        EXPECT_EQ(c.progress, log.calls);
        EXPECT_EQ(0u, downloader->connection->connected) << "closed after every download";
    }
}

// A file a download wrote makes the next one conditional, though its header came in pieces.
TEST(HttpDownload, HeaderInSmallPiecesAndSecondDownloadIsConditional) {
    TempFile file("kiv_download");
    const std::string body = "abcdefghijklmnopqrstuvwxyz";
    ScriptedServer server({{{{"HTTP/1.0 200 OK\r\nContent-Length: 26\r\nLast-Modified: " +
                                  kNov1994Text + "\r\n\r\n" + body,
                              0, 16, 20}}},
                           ScriptedServer::Reply("HTTP/1.0 304 Not Modified\r\n\r\n")});
    DownloaderHandle downloader = MakeDownloader();
    for (int round = 0; round < 2; ++round) {
        int out = -1;
        EXPECT_EQ(1, HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.c_str(), &out,
                                  nullptr, nullptr));
        EXPECT_EQ(round == 0 ? 1 : 0, out);
        EXPECT_EQ(body, file.Read());
        EXPECT_EQ(DirectRequest(server.Port(), round == 1), server.Requests().back());
    }
}

TEST(HttpDownload, ProxyRequests) {
    const std::string host126(126, 'h'), password198(198, 'p'), u = "updates.example";
    const struct {
        std::string url;
        const char *user, *password;
        std::string target, host, extra;
    } cases[] = {
        // The port is written even when it is 80; the Host line has none then.
        {"http://" + u + "/pkg/setup.exe", nullptr, nullptr, "http://" + u + ":80/pkg/setup.exe", u,
         ""},
        {"http://" + u + "/a", "kiv", "s3cret", "http://" + u + ":80/a", u,
         "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n"},
        // No authorization without a password, nor when user ":" password has 200 bytes.
        {"http://" + u + "/a", "kiv", nullptr, "http://" + u + ":80/a", u, ""},
        {"http://" + u + "/a", "u", password198.c_str(), "http://" + u + ":80/a", u, ""},
        {"http://" + host126 + "/x", nullptr, nullptr, "http://" + host126 + ":80/x", host126,
         ""}, // the longest host the Host line holds
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
        EXPECT_EQ(Requests{Request(c.target, c.host, c.extra)}, server.Requests());
        EXPECT_EQ("ok", file.Read());
    }
}

TEST(HttpDownload, FailuresBeforeAnyAnswerAndDestinationFailures) {
    const uint16_t closedPort = ScriptedServer({}).Port();
    const std::string missing =
        (std::filesystem::temp_directory_path() / "kiv_no_such_directory" / "x.bin").string();
    struct Case {
        std::string url, path; // path "": a temporary file
        uint16_t proxyPort;    // 1: the live server
        const char* error;
        int connections;
    } const cases[] = {
        {"", "", 0, "Connect to 127.0.0.1 failed", 0}, // the URL of the closed port
        {"http://updates.example", "", 1, "URL Parse Error !", 0},
        {"http://" + std::string(127, 'h') + "/a", "", 1, "Host name too long", 0},
        {"http://" + std::string(122, 'h') + ":8080/a", "", 1, "Host name too long", 0},
        {"http://updates.example/" + std::string(4100, 'p'), "", 1, "Request too long", 0},
        // A proxy that cannot be reached is reported with the URL's host.
        {"http://updates.example/a", "", closedPort, "Connect to updates.example failed", 0},
        {"http://updates.example/a", missing, 1, "Can't open destination file", 1},
#ifdef __linux__
        // Every write fails there; the last buffered bytes reach it only when closing.
        {"http://updates.example/a", "/dev/full", 1, "Write to destination failed", 1},
#endif
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody")});
        DownloaderHandle downloader =
            MakeDownloader(c.proxyPort == 1 ? server.Port() : c.proxyPort);
        int out = -1;
        EXPECT_EQ(0, HttpDownload(
                         downloader.get(), c.url.empty() ? Url(closedPort).c_str() : c.url.c_str(),
                         c.path.empty() ? file.c_str() : c.path.c_str(), &out, nullptr, nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(c.error, downloader->error_text);
        EXPECT_EQ(c.connections, server.Connections());
        EXPECT_EQ(kNoFile, file.Read());
    }
    DownloaderHandle downloader = MakeDownloader();
    EXPECT_EQ(0, HttpDownload(downloader.get(), nullptr, "unused", nullptr, nullptr, nullptr));
    EXPECT_STREQ("URL Parse Error !", downloader->error_text);
}

TEST(HttpDownload, ProgressIsThrottledAndMayStop) {
    // Periodic calls need 10 pieces and more than 500 ms: slow pieces make the count decide,
    // fast ones the time. {pieces of 4,096 bytes, ms before each, the call that stops}
    const int cases[][3] = {{16, 60, 2}, {40, 20, 0}};
    FOR_EACH_CASE(c, cases) {
        const uint32_t length = c[0] * 4096;
        ScriptedServer server(
            {{{{"HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) +
                    "\r\nLast-Modified: " + kNov1994Text + "\r\n\r\n" + std::string(length, 'z'),
                0, 4096, c[1]}}}});
        TempFile file("kiv_download");
        DownloaderHandle downloader = MakeDownloader();
        ProgressLog log;
        log.stopAtCall = c[2];
        int out = -1;
        EXPECT_EQ(c[2] == 0 ? 1 : 0, HttpDownload(downloader.get(), Url(server.Port()).c_str(),
                                                  file.c_str(), &out, RecordProgress, &log));
        EXPECT_EQ(c[2] == 0 ? 1 : 0, out);
        const int calls = static_cast<int>(log.ticks.size());
        // The first call announces the length, the last reports what was written; stopped at
        // the first periodic call (after 10 pieces), it is still called at the end.
        const uint32_t written = static_cast<uint32_t>(file.Read().size());
        const std::string total = "/" + std::to_string(length), last = std::to_string(written);
        EXPECT_TRUE(c[2] == 0 ? written == length : written >= 10u * 4096 && written < length);
        EXPECT_GE(calls, 3) << log.calls;
        EXPECT_EQ(0u, log.calls.find("0" + total + " "));
        EXPECT_TRUE(c[2] == 0 || log.calls == "0" + total + " " + last + total + " " + last + total)
            << log.calls;
        EXPECT_EQ(kNov1994Text, Date(file));
        EXPECT_STREQ(kUnchanged, downloader->error_text);
        EXPECT_EQ(log.calls.size() - last.size() - total.size(), log.calls.rfind(last + total));
        // Periodic calls keep more than 500 ms from the one before (the first included).
        for (int k = 1; k + 1 < calls; ++k)
            EXPECT_GT(log.ticks[k] - log.ticks[k - 1], 450u) << "call " << k << ": " << log.calls;
    }
}

} // namespace

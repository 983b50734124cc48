#include "http/HttpDownloader.h"
#include "TestHelpers.h"
#include "compat/win32.h"
#include "http/HttpDate.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"

#include <cstdlib>
#include <cstring>
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
const char kNoFile[] = "(no file)";

using DownloaderHandle = Owned<HttpDownloader, HttpDownloaderDestroy>;

// A downloader going through the proxy at 127.0.0.1:`proxyPort` when that is not 0, its
// error text preset to "-".
DownloaderHandle MakeDownloader(uint16_t proxyPort = 0) {
    DownloaderHandle downloader(
        HttpDownloaderCreate(static_cast<HttpDownloader*>(malloc(sizeof(HttpDownloader)))));
    memcpy(downloader->error_text, "-", 2);
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

std::string Url(unsigned port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/pkg/setup.exe";
}

// Header lines without an end, over 1,000,000 bytes after the status line, then silence.
ScriptedConnection Endless() {
    std::string text = "HTTP/1.0 200 OK\r\n";
    while (text.size() < 1100000)
        text += "X-Filler: " + std::string(100, 'f') + "\r\n";
    return ScriptedServer::Reply(text, ScriptedEnd::Silent);
}

// The reply's head at once, then `tail` in pieces with a pause before each, then `end`.
ScriptedConnection Then(const std::string& head, const std::string& tail, size_t piece, int delayMs,
                        ScriptedEnd end = ScriptedEnd::Reset) {
    return {{{head}, {tail, 0, piece, delayMs, false}}, end};
}

// Every answer, broken ones included, ends within its time-outs and leaves no socket or
// thread behind; the downloader never retries. `expect` is the result, the value set in
// `result`, the error text and the progress calls ("done/total", ? for an unknown length;
// "*" unchecked).
TEST(HttpDownload, AnswersFilesAndTimes) {
    struct Case {
        const char* existing; // content of the destination before (dated 1994), or null
        ScriptedConnection peer;
        std::string expect, content, date; // content "x*": any start of "x"; date "": unchecked
    };
    const std::string body(1000, 'b'), lm = "Thu, 15 Dec 1994 12:45:26 GMT",
                                       date = "Wed, 16 Nov 1994 00:00:01 GMT";
    const std::string ok = "HTTP/1.0 200 OK\r\n", lmLine = "Last-Modified: " + lm + "\r\n",
                      dateLine = "Date: " + date + "\r\n", x = "Content-Length: 1\r\n\r\nx";
    const std::string abc = "abcdefghijklmnopqrstuvwxyz", interim = "HTTP/1.1 100 Continue",
                      head26 = ok + "Content-length: 26\r\n\r\n";
    auto R = [](const std::string& reply) { return ScriptedServer::Reply(reply); };
    const Case cases[] = {
        {nullptr, R(ok + "Content-Length: 5\r\n" + lmLine + "\r\nhello"), "11 -|0/5 5/5", "hello",
         lm},
        // Not modified: content and times stay, though the answer carries a date.
        {"old", R("HTTP/1.1 304 Not Modified\r\n" + lmLine + dateLine + "\r\n"), "10 -|", "old",
         kNov1994Text},
        {"old content", R(ok + "content-length: 3\r\n" + lmLine + "\r\nnew"), "11 -|0/3 3/3", "new",
         lm}, // the longer old file is truncated
        // The header in small pieces, read as when whole.
        {nullptr,
         {{{ok + "Content-Length: 26\r\n" + lmLine + "\r\n" + abc, 0, 16, 20}}},
         "11 -|0/26 26/26",
         abc,
         lm},
        // No length: the body ends when the server closes; Date alone sets the time.
        {nullptr, R(ok + dateLine + "\r\n" + body), "11 -|0/? 1000/?", body, date},
        {nullptr, R(ok + "Content-length: 0\r\n\r\nabc"), "11 -|0/? 3/?", "abc", ""},
        // Cut off after 600 of 1000 bytes: the part stays, with its date.
        {nullptr, R(ok + "Content-length: 1000\r\n" + lmLine + "\r\n" + body.substr(400)),
         "00 -|0/1000 600/1000", body.substr(400), lm},
        {nullptr, R("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"),
         "00 HTTP Error: HTTP/1.1 404 Not Found|", kNoFile, ""},
        {nullptr, R("HTTP/1.0 503 100% busy %s%n\r\n\r\n"),
         "00 HTTP Error: HTTP/1.0 503 100  busy  s n|", kNoFile, ""},
        {nullptr, R("HTTP/1.0 500 " + std::string(100, 'x') + "\r\n\r\n"),
         "00 HTTP Error: HTTP/1.0 500 " + std::string(57, 'x') + "|", kNoFile, ""}, // 70 bytes
        // Last-Modified wins over Date, after it or before it.
        {nullptr, R(ok + dateLine + lmLine + x), "11 -|0/1 1/1", "x", lm},
        {nullptr, R(ok + lmLine + dateLine + x), "11 -|0/1 1/1", "x", lm},
        {nullptr, R(ok + "Last-Modified: soon\r\n" + x), "00 Set file time failed|0/1 1/1", "x",
         ""},
        // A line past 199 characters keeps its start and its last character.
        {nullptr, R(ok + "Content-Length: " + std::string(200, '0') + "7\r\n\r\nabcdefghij"),
         "11 -|0/7 10/7", "abcdefghij", ""},
        // The bytes held are written as held; a negative length is a length, not none.
        {nullptr, R(ok + "Content-length: 5\r\n\r\nhelloEXTRA"), "11 -|0/5 10/5", "helloEXTRA", ""},
        {nullptr, R(ok + "Content-length: -5\r\n\r\nabc"), "00 -|0/4294967291 3/4294967291", "abc",
         ""},
        {nullptr, R(ok + "Content-Length: 4294967295\r\n\r\nabc"), "00 Content-length too large|",
         kNoFile, ""},
        {nullptr, R(""), "00 Receive timeout|", kNoFile, ""},
        {nullptr, Endless(), "00 Receive timeout|", kNoFile, ""},
        {nullptr, R(interim + "\r\n\r\n" + head26 + abc), "00 HTTP Error: " + interim + "|",
         kNoFile, ""},
        {nullptr, ScriptedServer::Reply(interim + "\r\nX-Note: wait\r\n", ScriptedEnd::Silent),
         "00 HTTP Error: " + interim + "|", kNoFile, ""},
        // A length below what is sent, more to come: what came with the header is written.
        {nullptr,
         ScriptedServer::Reply(ok + "Content-length: 10\r\n\r\n" + abc + std::string(2000000, 'z'),
                               ScriptedEnd::Silent),
         "11 -|*", abc + std::string(4096, 'z') + "*", ""},
        {nullptr, Then(head26, abc.substr(0, 20), 0, 200), "00 -|*", abc.substr(0, 20) + "*", ""},
        {nullptr, Then(ok + "\r\n", abc.substr(0, 20), 0, 200), "11 -|*", abc.substr(0, 20) + "*",
         ""},
        {nullptr, Then(ok + "Content-length: 3\r\n\r\n", "abc", 1, 1000, ScriptedEnd::Close),
         "11 -|0/3 3/3", "abc", ""}, // a byte a second
    };
    WarmUpProcess();
    FOR_EACH_CASE(c, cases) {
        const int64_t handles = CountProcessHandles(), threads = CountProcessThreads();
        {
            TempFile file("kiv_download");
            if (c.existing != nullptr) {
                file.Write(c.existing);
                struct utimbuf times = {kNov1994, kNov1994};
                ASSERT_EQ(0, utime(file.c_str(), &times));
            }
            ScriptedServer server({c.peer});
            DownloaderHandle downloader = MakeDownloader();
            ProgressLog log;
            int out = -1;
            const int result = HttpDownload(downloader.get(), Url(server.Port()).c_str(),
                                            file.c_str(), &out, RecordProgress, &log);
            const std::string got = std::to_string(result) + std::to_string(out) + " " +
                                    downloader->error_text + "|" + log.calls;
            const bool anyCalls = c.expect.back() == '*';
            EXPECT_EQ(c.expect.substr(0, c.expect.size() - anyCalls),
                      anyCalls ? got.substr(0, got.find('|') + 1) : got);
            EXPECT_EQ(
                Requests{Request("/pkg/setup.exe", "127.0.0.1:" + std::to_string(server.Port()),
                                 c.existing ? "If-Modified-Since: " + kNov1994Text + "\r\n" : "")},
                server.Requests());
            EXPECT_TRUE(c.date.empty() || c.date == Date(file)) << Date(file);
            const std::string content = file.Read();
            const bool prefix = c.content.back() == '*';
            EXPECT_EQ(c.content.substr(0, prefix ? std::min(content.size(), c.content.size() - 1)
                                                 : std::string::npos),
                      content);
            EXPECT_EQ(0u, downloader->connection->connected) << "closed after every download";
        }
        EXPECT_TRUE(!kExactHandleCounts || handles == CountProcessHandles()) << "handles left";
        EXPECT_EQ(threads, CountProcessThreads()) << "threads left running";
    }
}

// Through a proxy the port is written even when it is 80; the Host line has none then.
// Null and empty credentials keep what is stored; no authorization without a password,
// nor when user ":" password has 200 bytes.
TEST(HttpDownload, ProxyRequests) {
    const std::string host126(126, 'h'), password198(198, 'p'), u = "http://updates.example";
    const struct {
        std::string url;
        const char *user, *password, *extra;
    } cases[] = {
        {u + "/pkg/setup.exe", nullptr, nullptr, ""},
        {u + "/a", "kiv", "s3cret", "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n"},
        {u + "/a", "kiv", nullptr, ""},
        {u + "/a", "u", password198.c_str(), ""},
        {"http://" + host126 + "/x", nullptr, nullptr, ""}, // the longest host the line holds
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader = MakeDownloader(server.Port());
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), c.user, c.password));
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), "", nullptr));
        EXPECT_EQ(1, HttpDownload(downloader.get(), c.url.c_str(), file.c_str(), nullptr, nullptr,
                                  nullptr));
        const size_t slash = c.url.find('/', 7);
        EXPECT_EQ(Requests{Request(c.url.substr(0, slash) + ":80" + c.url.substr(slash),
                                   c.url.substr(7, slash - 7), c.extra)},
                  server.Requests());
        EXPECT_EQ("ok", file.Read());
    }
}

// A proxy that cannot be reached is reported with the URL's host.
TEST(HttpDownload, FailuresBeforeAnyAnswerAndDestinationFailures) {
    const uint16_t closedPort = ScriptedServer({}).Port();
    const std::string missing =
        (std::filesystem::temp_directory_path() / "kiv_no_such_directory" / "x.bin").string();
    const std::string u = "http://updates.example/a";
    struct Case {
        std::string url, path; // path "": a temporary file
        uint16_t proxyPort;    // 1: the live server
        const char* error;
        int connections;
    } const cases[] = {
        {Url(closedPort), "", 0, "Connect to 127.0.0.1 failed", 0},
        {"http://updates.example", "", 1, "URL Parse Error !", 0},
        {"http://" + std::string(127, 'h') + "/a", "", 1, "Host name too long", 0},
        {"http://" + std::string(122, 'h') + ":8080/a", "", 1, "Host name too long", 0},
        {u + std::string(4100, 'p'), "", 1, "Request too long", 0},
        {u, "", closedPort, "Connect to updates.example failed", 0},
        {u, missing, 1, "Can't open destination file", 1},
#ifdef __linux__
        // Every write fails there; the last buffered bytes reach it only when closing.
        {u, "/dev/full", 1, "Write to destination failed", 1},
#endif
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody")});
        DownloaderHandle downloader =
            MakeDownloader(c.proxyPort == 1 ? server.Port() : c.proxyPort);
        int out = -1;
        EXPECT_EQ(0, HttpDownload(downloader.get(), c.url.c_str(),
                                  c.path.empty() ? file.c_str() : c.path.c_str(), &out, nullptr,
                                  nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(c.error, downloader->error_text);
        EXPECT_EQ(c.connections, server.Connections());
        EXPECT_EQ(kNoFile, file.Read());
    }
    DownloaderHandle downloader = MakeDownloader();
    EXPECT_EQ(0, HttpDownload(downloader.get(), nullptr, "unused", nullptr, nullptr, nullptr));
    EXPECT_STREQ("URL Parse Error !", downloader->error_text);
}

// Periodic calls need 10 pieces and more than 500 ms: slow pieces make the count decide,
// fast ones the time. The first call announces the length, the last reports what was
// written; stopped at the first periodic call (after 10 pieces), it is still called at
// the end.
TEST(HttpDownload, ProgressIsThrottledAndMayStop) {
    const int cases[][3] = {{16, 60, 2}, {40, 20, 0}}; // {pieces of 4,096 bytes, ms, stop at}
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
        const int stopped = c[2] != 0;
        EXPECT_EQ(!stopped, HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.c_str(),
                                         &out, RecordProgress, &log));
        EXPECT_EQ(!stopped, out);
        EXPECT_STREQ("-", downloader->error_text);
        EXPECT_EQ(kNov1994Text, Date(file));
        const uint32_t written = static_cast<uint32_t>(file.Read().size());
        const std::string total = "/" + std::to_string(length), last = std::to_string(written);
        EXPECT_TRUE(stopped ? written >= 10u * 4096 && written < length : written == length);
        EXPECT_GE(log.ticks.size(), 3u) << log.calls;
        EXPECT_EQ(0u, log.calls.find("0" + total + " "));
        EXPECT_EQ(log.calls.size() - last.size() - total.size(), log.calls.rfind(last + total));
        EXPECT_TRUE(!stopped || log.calls == "0" + total + " " + last + total + " " + last + total)
            << log.calls;
        // Periodic calls keep more than 500 ms from the one before (the first included).
        for (size_t k = 1; k + 1 < log.ticks.size(); ++k)
            EXPECT_GT(log.ticks[k] - log.ticks[k - 1], 450u) << "call " << k << ": " << log.calls;
    }
}

} // namespace

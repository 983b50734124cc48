#include "http/HttpDownloader.h"
#include "TestHelpers.h"
#include "compat/win32.h"
#include "http/HttpClient.h"
#include "http/HttpDate.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

using Requests = std::vector<std::string>;

const time_t kNov1994 = 784111777;
const std::string kNov1994Text = "Sun, 06 Nov 1994 08:49:37 GMT";

using DownloaderHandle = Owned<HttpDownloader, HttpDownloaderDestroy>;
using HttpClientHandle = Owned<HttpClient, HttpClientDestroy>;

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

// "result out error" of a download into `path`.
std::string Download(HttpDownloader* downloader, const std::string& url, const char* path,
                     ProgressLog* log = nullptr) {
    int out = -1;
    const int result = HttpDownload(downloader, url.c_str(), path, &out,
                                    log != nullptr ? RecordProgress : nullptr, log);
    return std::to_string(result) + std::to_string(out) + " " + downloader->error_text;
}

std::string Request(const std::string& target, const std::string& host,
                    const std::string& extra = "") {
    return "GET " + target + " HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: " + host +
           "\r\nUserAgent: KIV\r\nAccept: */*\r\n" + extra + "\r\n";
}

// Answers of every kind, broken ones included, to the client ("result status [body] error",
// " dropped": a silent peer timed out), the check ("bytes/connections": a failed read is
// retried on a new connection, twice at most) and the downloader ("result out error|progress
// calls|content|date of 1994", "*": any text that starts so; it never retries). "-": not tried.
TEST(HttpDownload, AnswersToTheClientTheCheckAndTheDownloader) {
    const std::string ok = "HTTP/1.0 200 OK\r\n", b = "HTTP/1.1 200 OK\r\n", body(1000, 'b');
    const std::string lm = "Thu, 15 Dec 1994 12:45:26 GMT", date = "Wed, 16 Nov 1994 00:00:01 GMT";
    const std::string lmLine = "Last-Modified: " + lm + "\r\n", dateLine = "Date: " + date + "\r\n";
    const std::string x = "Content-Length: 1\r\n\r\nx", abc = "abcdefghijklmnopqrstuvwxyz";
    const std::string interim = "HTTP/1.1 100 Continue", facts = "[Language 1]\r\nVersion=5\r\n";
    const ScriptedEnd close = ScriptedEnd::Close, silent = ScriptedEnd::Silent;
    auto R = [](const std::string& reply, ScriptedEnd end = ScriptedEnd::Close, size_t piece = 0) {
        return ScriptedConnection{{{reply, 0, piece, piece == 1 ? 2 : piece != 0 ? 60 : 0}}, end};
    };
    auto Then = [](const std::string& head, const std::string& tail, size_t piece, int delayMs,
                   ScriptedEnd end) {
        return ScriptedConnection{{{head}, {tail, 0, piece, delayMs, false}}, end};
    };
    std::string endless = ok; // header lines past 1,000,000 bytes
    while (endless.size() < 1100000)
        endless += "X-Filler: " + std::string(100, 'f') + "\r\n";
    const std::string closed = std::to_string(ScriptedServer({}).Port());
    // Without a length at most 1,000,000 bytes may arrive in all, with one the body alone.
    std::string big(1000000, 'x');
    for (size_t i = 0; i < big.size(); i += 997)
        big[i] = static_cast<char>('a' + i % 23);
    const std::string fits = big.substr(0, big.size() - (ok.size() + 2));
    const std::string moved = "HTTP/1.1 301 Moved Permanently",
                      none = "\r\nContent-Length: 0\r\n\r\n";
    const struct {
        ScriptedConnection peer;
        std::string client, check, download;
        const char* existing = nullptr; // the destination's content before (dated 1994)
    } cases[] = {
        {R(b + "Content-Length: 0\r\n\r\n", silent), "1 200 [] ", "2/1", "-"},
        {R(interim + "\r\n\r\n" + b + "Content-Length: 3\r\n\r\nabc"), "1 200 [abc] ", "2/1",
         "00 HTTP Error: " + interim + "||(no file)|"}, // the downloader takes no interim answer
        {R(interim + "\r\nX-Note: wait\r\n", silent), "-", "-",
         "00 HTTP Error: " + interim + "||(no file)|"},
        {R(interim + "\r\nX-Note: wait\r\n"), "0 0 ", "2/3", "-"}, // the block does not end
        // No length: the body ends with the connection; an empty one needs "Connection: close".
        {R(ok + "Server: s\r\n\r\nhello"), "1 200 [hello] ", "2/1", "11 -|0/? 5/?|hello|"},
        {R(ok + "Server: s\r\n\r\n"), "0 200 ", "2/3", "11 -|0/? 0/?||"},
        {R("HTTP/1.0 204 No Content\r\nConnection: CLOSE\r\n\r\n"),
         "1 204 [] HTTP Error :  No Content", "2/1",
         "00 HTTP Error: HTTP/1.0 204 No Content||(no file)|"},
        {R(ok + "Connection: closed\r\n\r\n"), "0 200 ", "2/3", "-"},
        {R(b + "content-length: 3\r\n\r\nabcdef", silent), "1 200 [abc] ", "2/1", "-"},
        {R(ok + "content-length: 6\r\n\r\nabcdef"), "1 200 [abcdef] ", "2/1",
         "11 -|0/6 6/6|abcdef|"},
        {R(b + "Content-Length:12\r\n\r\nshort body"), "1 200 [short body] ", "2/1", "-"},
        {R("HTTP/1.1 404 Not Found\r\nContent-Length: 25\r\n\r\n" + facts), // no facts read
         "1 404 [" + facts + "] HTTP Error :  Not Found", "2/1",
         "00 HTTP Error: HTTP/1.1 404 Not Found||(no file)|"},
        {R("HTTP/1.0 503 100% busy %s%n\r\n\r\n"), "-", "-",
         "00 HTTP Error: HTTP/1.0 503 100  busy  s n||(no file)|"},
        {R("HTTP/1.0 500 " + std::string(100, 'x') + "\r\n\r\n"), "-", "-",
         "00 HTTP Error: HTTP/1.0 500 " + std::string(57, 'x') + "||(no file)|"}, // 70 bytes
        {R("FTP 200 OK\r\n\r\n"), "0 0 ", "2/3", "-"},
        {R(ok + "Server: s\r\n"), "0 200 ", "2/3", "-"},
        // A length above what is sent, then close: the part stays.
        {R(ok + "Content-Length: 10\r\n\r\nabcd"), "0 200 ", "2/3", "00 -|0/10 4/10|abcd|"},
        {R(ok + "Content-length: 1000\r\n" + lmLine + "\r\n" + body.substr(400)), "-", "2/3",
         "00 -|0/1000 600/1000|" + body.substr(400) + "|" + lm},
        // A negative length: the client refuses it, the downloader reads 32 bits (-1: unknown).
        {R(ok + "Content-Length: -1\r\n\r\nx"), "0 200 ", "2/1", "11 -|0/? 1/?|x|"},
        {R(ok + "Content-length: -5\r\n\r\nabc"), "-", "-", "00 -|0/4294967291 3/4294967291|abc|"},
        {R(ok + "Content-Length: 4294967295\r\n\r\nabc"), "-", "-",
         "00 Content-length too large||(no file)|"},
        {R("HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", silent), "1 200 [hi] ", "2/1", "-"},
        {R("HTTP/1.0 2001 OK\r\nContent-Length: 2\r\n\r\nok"), "1 200 [ok] ", "2/1", "-"},
        // An empty announced body ends at once for the client; the downloader takes 0 as none.
        {R(ok + "Content-Length: 0\r\n\r\nextra"), "1 200 [] ", "2/1", "11 -|0/? 5/?|extra|"},
        // Byte by byte, every line break split from its partner: read as when whole.
        {R("HTTP/1.0 200 OK\n\rContent-Length: 5\n\r\n\rhello", silent, 1), "1 200 [hello] ", "2/1",
         "-"},
        {R("HTTP/1.0 200 OK\r\rContent-Length: 3\r\n\r\nabc", close, 1),
         "1 200 [Content-Length: 3\r\n\r\nabc] ", "2/1", "-"},
        {R(ok + "Content-Length: 26\r\n" + lmLine + "\r\n" + abc, close, 16),
         "1 200 [" + abc + "] ", "2/1", "11 -|0/26 26/26|" + abc + "|" + lm},
        // A length of 30 characters is read by the client only once the answer has ended;
        // a line past 199 characters keeps its start and its last character.
        {R(ok + "Content-Length: " + std::string(29, '0') + "3\r\n\r\nabc", silent),
         "1 200 [abc]  dropped", "-", "-"},
        {R(ok + "Content-Length: " + std::string(200, '0') + "7\r\n\r\nabcdefghij"), "-", "-",
         "11 -|0/7 10/7|abcdefghij|"},
        // No length: Date alone sets the time; Last-Modified wins over it, after or before.
        {R(ok + dateLine + "\r\n" + body), "-", "-", "11 -|0/? 1000/?|" + body + "|" + date},
        {R(ok + dateLine + lmLine + x), "-", "-", "11 -|0/1 1/1|x|" + lm},
        {R(ok + lmLine + dateLine + x), "-", "-", "11 -|0/1 1/1|x|" + lm},
        {R(ok + "Last-Modified: soon\r\n" + x), "-", "-", "00 Set file time failed|0/1 1/1|x|"},
        {R(""), "-", "2/3", "00 Receive timeout||(no file)|"},
        {R(endless, silent), "0 0 ", "2/1", "00 Receive timeout||(no file)|"},
        {R(interim + "\r\n" + endless.substr(ok.size()), silent), "-", "2/1", "-"},
        // Less announced than sent: the client reads what was announced, the downloader all held.
        {R(ok + "Content-length: 5\r\n\r\nhelloEXTRA"), "-", "-", "11 -|0/5 10/5|helloEXTRA|"},
        {R(ok + "Content-Length: " + std::to_string(facts.size()) + "\r\n\r\n" + facts +
               "Build=7\r\n" + std::string(2000000, 'z'),
           silent),
         "1 200 [" + facts + "] ", "10/1", "11 -|*"},
        {Then(ok + "Content-length: 26\r\n\r\n", abc.substr(0, 20), 0, 200, ScriptedEnd::Reset),
         "-", "2/3", "00 -|*"},
        {Then(ok + "\r\n", abc.substr(0, 20), 0, 200, ScriptedEnd::Reset), "-", "-", "11 -|*"},
        {Then(ok + "Content-length: 3\r\n\r\n", "abc", 1, 1000, close), "-", "-",
         "11 -|0/3 3/3|abc|"}, // a byte a second
        {R(ok + "\r\n" + fits), "1 200 [" + fits + "] ", "-", "-"},
        {R(ok + "\r\n" + fits + "x"), "0 0 ", "-", "-"},
        {R(ok + "Content-Length: 1000000\r\n\r\n" + big), "1 200 [" + big + "] ", "-", "-"},
        {R(ok + "Content-Length: 1000001\r\n\r\n" + big + "x"), "0 200 ", "-", "-"},
        // An existing file: the request is conditional; 304 keeps content and date, 200 truncates.
        {R("HTTP/1.1 304 Not Modified\r\n" + lmLine + dateLine + "\r\n"), "-", "-",
         "10 -||old|" + kNov1994Text, "old"},
        {R(ok + "content-length: 3\r\n" + lmLine + "\r\nnew"), "-", "-", "11 -|0/3 3/3|new|" + lm,
         "old content"},
        // No section for the language nor Language 2; redirects without a usable Location.
        {R(ok + "Content-Length: 23\r\n\r\n[Language 3]\nVersion=1\n"), "-", "2/1", "-"},
        {R(moved + none), "-", "2/1", "-"},
        {R(moved + "\r\nLocation: /elsewhere.ini" + none), "-", "2/1", "-"},
        {R(moved + "\r\nLocation: http://h/" + std::string(246, 'x') + none), "-", "2/1", "-"},
        {R(moved + "\r\nLocation: http://127.0.0.1:" + closed + "/u.ini" + none), "-", "2/1", "-"},
    };
    WarmUpProcess();
    FOR_EACH_CASE(c, cases) {
        const int64_t handles = CountProcessHandles(), threads = CountProcessThreads();
        if (c.client != "-") {
            ScriptedServer server({c.peer});
            HttpClientHandle client(HttpClientCreate(nullptr));
            client->connection->timeout = 2;
            ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
            ASSERT_EQ(1, HttpClientSendRequest(client.get(), HTTP_METHOD_GET, "r"));
            const int result = HttpClientReadResponse(client.get());
            EXPECT_TRUE(result == 0 || client->body[client->body_length] == '\0');
            const std::string body = result ? std::string(client->body, client->body_length) : "";
            EXPECT_EQ(
                c.client,
                std::to_string(result) + " " + std::to_string(client->status_code) +
                    (result ? " [" + body + "] " : " ") + client->error_text +
                    (c.peer.end == silent && !client->connection->connected ? " dropped" : ""));
        }
        if (c.check != "-") {
            ScriptedServer server({c.peer});
            uint8_t buffer[1024];
            const uint32_t size =
                UpdateCheck(1, server.Url("/u.ini").c_str(), nullptr, 0, buffer, sizeof buffer);
            server.Stop();
            EXPECT_EQ(c.check, std::to_string(size) + "/" + std::to_string(server.Connections()));
        }
        if (c.download != "-") {
            TempFile file("kiv_download");
            if (c.existing != nullptr) {
                file.Write(c.existing);
                struct utimbuf times = {kNov1994, kNov1994};
                EXPECT_EQ(0, utime(file.c_str(), &times));
            }
            ScriptedServer server({c.peer});
            DownloaderHandle downloader = MakeDownloader();
            ProgressLog log;
            const std::string result =
                Download(downloader.get(), server.Url("/pkg/setup.exe"), file.c_str(), &log);
            const std::string ims = c.existing ? "If-Modified-Since: " + kNov1994Text + "\r\n" : "";
            EXPECT_EQ(Requests{Request("/pkg/setup.exe", server.Host(), ims)}, server.Requests());
            EXPECT_EQ(0u, downloader->connection->connected) << "closed after every download";
            const std::string dated = Date(file);
            const std::string got = result + "|" + log.calls + "|" + file.Read() + "|" +
                                    (dated.find("1994") != std::string::npos ? dated : "");
            EXPECT_EQ(c.download,
                      c.download.back() == '*' ? got.substr(0, c.download.size() - 1) + "*" : got);
        }
        EXPECT_TRUE(!kExactHandleCounts || handles == CountProcessHandles()) << "handles left";
        EXPECT_EQ(threads, CountProcessThreads()) << "threads left running";
    }
}

// "result out error|file|connections". Through a proxy the port is in the request line even
// for 80, never in Host. Null or empty credentials keep the stored ones; none are sent without
// a password or at 200 bytes of user:password. A dead proxy is reported with the URL's host.
TEST(HttpDownload, ProxyRequestsAndFailuresBeforeTheBody) {
    const uint16_t closed = ScriptedServer({}).Port();
    const std::string missing =
        (std::filesystem::temp_directory_path() / "kiv_no_such_directory" / "x.bin").string();
    const std::string u = "http://updates.example", host126(126, 'h'), password198(198, 'p');
    const std::string auth = "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n";
    const struct {
        std::string url, path; // path "": a temporary file
        uint16_t proxyPort;    // 1: the live server
        const char *user, *password;
        std::string expect, extra; // extra: the request's credentials line
    } cases[] = {
        {u + "/pkg/setup.exe", "", 1, nullptr, nullptr, "11 -|ok|1", ""},
        {u + "/a", "", 1, "kiv", "s3cret", "11 -|ok|1", auth},
        {u + "/a", "", 1, "kiv", nullptr, "11 -|ok|1", ""},
        {u + "/a", "", 1, "u", password198.c_str(), "11 -|ok|1", ""},
        {"http://" + host126 + "/x", "", 1, nullptr, nullptr, "11 -|ok|1", ""}, // the longest
        {"http://127.0.0.1:" + std::to_string(closed) + "/a", "", 0, nullptr, nullptr,
         "00 Connect to 127.0.0.1 failed|(no file)|0", ""},
        {u, "", 1, nullptr, nullptr, "00 URL Parse Error !|(no file)|0", ""},
        {"http://" + std::string(127, 'h') + "/a", "", 1, nullptr, nullptr,
         "00 Host name too long|(no file)|0", ""},
        {"http://" + std::string(122, 'h') + ":8080/a", "", 1, nullptr, nullptr,
         "00 Host name too long|(no file)|0", ""},
        {u + "/" + std::string(4100, 'p'), "", 1, nullptr, nullptr,
         "00 Request too long|(no file)|0", ""},
        {u + "/a", "", closed, nullptr, nullptr, "00 Connect to updates.example failed|(no file)|0",
         ""},
        {u + "/a", missing, 1, nullptr, nullptr, "00 Can't open destination file|(no file)|1",
         auth},
#ifdef __linux__
        // Every write fails there; the last buffered bytes reach it only when closing.
        {u + "/a", "/dev/full", 1, nullptr, nullptr, "00 Write to destination failed|(no file)|1",
         ""},
#endif
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_download");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader =
            MakeDownloader(c.proxyPort == 1 ? server.Port() : c.proxyPort);
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), c.user, c.password));
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), "", nullptr));
        const std::string result =
            Download(downloader.get(), c.url, c.path.empty() ? file.c_str() : c.path.c_str());
        EXPECT_EQ(c.expect,
                  result + "|" + file.Read() + "|" + std::to_string(server.Connections()));
        const size_t slash = c.url.find('/', 7);
        if (result[0] == '1') {
            EXPECT_EQ(Requests{Request(c.url.substr(0, slash) + ":80" + c.url.substr(slash),
                                       c.url.substr(7, slash - 7), c.extra)},
                      server.Requests());
        }
    }
    DownloaderHandle downloader = MakeDownloader();
    EXPECT_EQ(0, HttpDownload(downloader.get(), nullptr, "unused", nullptr, nullptr, nullptr));
    EXPECT_STREQ("URL Parse Error !", downloader->error_text);
}

// Periodic calls need 10 pieces and 500 ms (slow pieces: the count decides, fast: the time);
// the first announces the length, the last reports what was written, even after a stop.
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
        const int stopped = c[2] != 0;
        const std::string result =
            Download(downloader.get(), server.Url("/pkg/setup.exe"), file.c_str(), &log);
        EXPECT_EQ(std::string(stopped ? "00" : "11") + " - " + kNov1994Text,
                  result + " " + Date(file));
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

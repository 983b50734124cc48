#include "http/HttpDownloader.h"
#include "compat/win32.h"
#include "http/HttpDate.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

using Requests = std::vector<std::string>;

const time_t kNov1994 = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
const char kNov1994Text[] = "Sun, 06 Nov 1994 08:49:37 GMT";
const char kUnchanged[] = "(unchanged)"; // error_text preset before each download

struct DownloaderDeleter {
    void operator()(HttpDownloader* downloader) const {
        HttpDownloaderDestroy(downloader);
        free(downloader);
    }
};
using DownloaderHandle = std::unique_ptr<HttpDownloader, DownloaderDeleter>;

DownloaderHandle MakeDownloader() {
    auto* memory = static_cast<HttpDownloader*>(malloc(sizeof(HttpDownloader)));
    DownloaderHandle downloader(HttpDownloaderCreate(memory));
    if (!downloader) {
        free(memory);
        return downloader;
    }
    downloader->connection->timeout = 5;
    strcpy(downloader->error_text, kUnchanged);
    return downloader;
}

// A destination path of its own per test, removed before and after.
struct TempFile {
    std::string path;
    explicit TempFile(const char* name)
        : path((std::filesystem::temp_directory_path() / name).string()) {
        std::remove(path.c_str());
    }
    ~TempFile() { std::remove(path.c_str()); }

    void Write(const std::string& content, time_t time) const {
        std::ofstream(path, std::ios::binary) << content;
        struct utimbuf times = {time, time};
        ASSERT_EQ(0, utime(path.c_str(), &times));
    }
    bool Exists() const { return std::filesystem::exists(path); }
    std::string Content() const {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // "access/modification" times as HTTP dates.
    std::string Times() const {
#ifdef _WIN32
        struct _stat64 status;
        if (_stat64(path.c_str(), &status) != 0)
            return "(no file)";
#else
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            return "(no file)";
#endif
        char access[40], modification[40];
        HttpDateFormat(status.st_atime, access);
        HttpDateFormat(status.st_mtime, modification);
        return std::string(access) + "/" + modification;
    }
};

// Progress calls as "done/total" words, and when they came.
struct ProgressLog {
    std::string calls;
    std::vector<DWORD> ticks;
    int stopAtCall = 0; // the call (counted from 1) that returns 0; 0 never
    int count = 0;
};

int RecordProgress(void* context, uint32_t done, uint32_t total) {
    auto* log = static_cast<ProgressLog*>(context);
    if (!log->calls.empty())
        log->calls += ' ';
    log->calls += std::to_string(done) + "/" +
                  (total == kHttpLengthUnknown ? std::string("?") : std::to_string(total));
    log->ticks.push_back(GetTickCount());
    return ++log->count == log->stopAtCall ? 0 : 1;
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
                   conditional ? std::string("If-Modified-Since: ") + kNov1994Text + "\r\n" : "");
}

std::string Url(unsigned port, const std::string& path = "pkg/setup.exe") {
    return "http://127.0.0.1:" + std::to_string(port) + "/" + path;
}

TEST(HttpDownload, AnswersFilesAndTimes) {
    const std::string body1000(1000, 'b');
    struct Case {
        const char* existing; // content of the destination before, or null for none
        std::string reply;
        int result;
        int out;
        std::string error;    // kUnchanged when the download must not set one
        const char* content;  // null: no file afterwards
        const char* times;    // access/modification date afterwards
        const char* progress; // the calls, "done/total" with ? for an unknown length
    };
    const std::string lastModified = "Last-Modified: Tue, 15 Nov 1994 12:45:26 GMT\r\n";
    const char* const kLm = "Tue, 15 Nov 1994 12:45:26 GMT/Tue, 15 Nov 1994 12:45:26 GMT";
    const std::string date = "Date: Wed, 16 Nov 1994 00:00:01 GMT\r\n";
    const char* const kDate = "Wed, 16 Nov 1994 00:00:01 GMT/Wed, 16 Nov 1994 00:00:01 GMT";
    const std::string k1994 = std::string(kNov1994Text) + "/" + kNov1994Text;
    const Case cases[] = {
        // 0: fresh file, length announced.
        {nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n" + lastModified + "\r\nhello", 1, 1,
         kUnchanged, "hello", kLm, "0/5 5/5"},
        // 1: not modified: content and times stay, though the answer carries a date.
        {"old", "HTTP/1.1 304 Not Modified\r\n" + lastModified + date + "\r\n", 1, 0, kUnchanged,
         "old", k1994.c_str(), ""},
        // 2: modified: the longer old file is truncated.
        {"old content", "HTTP/1.0 200 OK\r\ncontent-length: 3\r\n" + lastModified + "\r\nnew", 1, 1,
         kUnchanged, "new", kLm, "0/3 3/3"},
        // 3: no length: the body ends when the server closes; Date alone sets the time.
        {nullptr, "HTTP/1.0 200 OK\r\n" + date + "\r\n" + body1000, 1, 1, kUnchanged,
         body1000.c_str(), kDate, "0/? 1000/?"},
        // 4: a length of 0 counts as none.
        {nullptr, "HTTP/1.0 200 OK\r\nContent-length: 0\r\n\r\nabc", 1, 1, kUnchanged, "abc",
         nullptr, "0/? 3/?"},
        // 5: cut off after 600 of 1000 bytes: the part stays, with its date.
        {nullptr,
         "HTTP/1.0 200 OK\r\nContent-length: 1000\r\n" + lastModified + "\r\n" +
             body1000.substr(0, 600),
         0, 0, kUnchanged, body1000.c_str() + 400, kLm, "0/1000 600/1000"},
        // 6: an error answer writes no file.
        {nullptr, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", 0, 0,
         "HTTP Error: HTTP/1.1 404 Not Found", nullptr, nullptr, ""},
        // 7: '%' in the status line becomes a space.
        {nullptr, "HTTP/1.0 503 100% busy %s%n\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 503 100  busy  s n", nullptr, nullptr, ""},
        // 8: the error text quotes at most 70 bytes of the answer.
        {nullptr, "HTTP/1.0 500 " + std::string(100, 'x') + "\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 500 " + std::string(57, 'x'), nullptr, nullptr, ""},
        // 9: Last-Modified after Date still wins ...
        {nullptr, "HTTP/1.0 200 OK\r\n" + date + lastModified + "Content-Length: 1\r\n\r\nx", 1, 1,
         kUnchanged, "x", kLm, "0/1 1/1"},
        // 10: ... and Date after Last-Modified changes nothing.
        {nullptr, "HTTP/1.0 200 OK\r\n" + lastModified + date + "Content-Length: 1\r\n\r\nx", 1, 1,
         kUnchanged, "x", kLm, "0/1 1/1"},
        // 11: a date that cannot be set fails the download, the body stays.
        {nullptr, "HTTP/1.0 200 OK\r\nLast-Modified: soon\r\nContent-Length: 1\r\n\r\nx", 0, 0,
         "Set file time failed", "x", nullptr, "0/1 1/1"},
        // 12: bytes beyond the announced length are not written.
        {nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", 1, 1, kUnchanged, "abc",
         nullptr, "0/3 3/3"},
        // 13: a length that 32 bits cannot count.
        {nullptr, "HTTP/1.0 200 OK\r\nContent-Length: 4294967295\r\n\r\nabc", 0, 0,
         "Content-length too large", nullptr, nullptr, ""},
        // 14: no answer at all.
        {nullptr, "", 0, 0, "Receive timeout", nullptr, nullptr, ""},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        TempFile file("kiv_download_answers.bin");
        if (c.existing != nullptr)
            file.Write(c.existing, kNov1994);
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        DownloaderHandle downloader = MakeDownloader();
        ProgressLog log;
        int out = -1;
        EXPECT_EQ(c.result, HttpDownload(downloader.get(), Url(server.Port()).c_str(),
                                         file.path.c_str(), &out, RecordProgress, &log));
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(c.error, downloader->error_text);
        EXPECT_EQ(Requests{DirectRequest(server.Port(), c.existing != nullptr)}, server.Requests());
        // Times first: reading the content may update the access time.
        if (c.times != nullptr) {
            EXPECT_EQ(c.times, file.Times());
        }
        if (c.content == nullptr) {
            EXPECT_FALSE(file.Exists());
        } else {
            EXPECT_EQ(c.content, file.Content());
        }
        EXPECT_EQ(c.progress, log.calls);
        EXPECT_EQ(0u, downloader->connection->connected) << "closed after every download";
    }
}

TEST(HttpDownload, HeaderInSmallPiecesAndSecondDownloadIsConditional) {
    TempFile file("kiv_download_pieces.bin");
    const std::string reply =
        "HTTP/1.0 200 OK\r\nContent-Length: 26\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
        "\r\nabcdefghijklmnopqrstuvwxyz";
    ScriptedConnection slow = ScriptedServer::Reply(reply);
    slow.exchanges[0].piece = 16;
    slow.exchanges[0].delay_ms = 20;
    ScriptedServer server({slow, ScriptedServer::Reply("HTTP/1.0 304 Not Modified\r\n\r\n")});
    DownloaderHandle downloader = MakeDownloader();
    int out = 0;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        EXPECT_EQ(1, HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.path.c_str(),
                                  &out, nullptr, nullptr));
        EXPECT_EQ(round == 0 ? 1 : 0, out);
        EXPECT_EQ("abcdefghijklmnopqrstuvwxyz", file.Content());
    }
    EXPECT_EQ((Requests{DirectRequest(server.Port(), false), DirectRequest(server.Port(), true)}),
              server.Requests());
}

TEST(HttpDownload, ProxyRequests) {
    struct Case {
        std::string url;
        const char* user;
        const char* password;
        std::string request;
    };
    const std::string user100(100, 'u'), password99(99, 'p'), host126(126, 'h');
    const std::string proxyAuth = "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n";
    const Case cases[] = {
        // The port is written even when it is 80; the Host line has none then.
        {"http://updates.example/pkg/setup.exe", nullptr, nullptr,
         Request("http://updates.example:80/pkg/setup.exe", "updates.example")},
        {"https://updates.example:8080/", nullptr, nullptr,
         Request("http://updates.example:8080/", "updates.example:8080")},
        {"HTTPS://updates.example/a", nullptr, nullptr,
         Request("http://updates.example:443/a", "updates.example:443")},
        {"http://updates.example/a", "kiv", "s3cret",
         Request("http://updates.example:80/a", "updates.example", proxyAuth)},
        // A user without a password sends no authorization.
        {"http://updates.example/a", "kiv", nullptr,
         Request("http://updates.example:80/a", "updates.example")},
        // user ":" password of 200 characters is not sent.
        {"http://updates.example/a", user100.c_str(), password99.c_str(),
         Request("http://updates.example:80/a", "updates.example")},
        // The longest host the Host line holds.
        {"http://" + host126 + "/x", nullptr, nullptr,
         Request("http://" + host126 + ":80/x", host126)},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        TempFile file("kiv_download_proxy.bin");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader = MakeDownloader();
        strcpy(downloader->proxy_host, "127.0.0.1");
        downloader->proxy_port = server.Port();
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), c.user, c.password));
        // Null and empty arguments keep what is stored.
        EXPECT_EQ(1, HttpDownloaderSetProxyAuth(downloader.get(), "", nullptr));
        EXPECT_EQ(1, HttpDownload(downloader.get(), c.url.c_str(), file.path.c_str(), nullptr,
                                  nullptr, nullptr));
        EXPECT_EQ(Requests{c.request}, server.Requests());
        EXPECT_EQ("ok", file.Content());
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
        bool viaProxy; // through the live server (or the closed port) as proxy
        bool proxyClosed;
        const char* error;
    };
    const std::string host127(127, 'h');
    const Case cases[] = {
        {Url(closedPort), false, false, "Connect to 127.0.0.1 failed"},
        {"http://updates.example/a", true, true, "Connect to updates.example failed"},
        {"http://updates.example", true, false, "URL Parse Error !"},
        {"", true, false, "URL Parse Error !"},
        {"http://" + host127 + "/a", true, false, "Host name too long"},
        {"http://" + std::string(122, 'h') + ":8080/a", true, false, "Host name too long"},
        {"http://updates.example/" + std::string(4100, 'p'), true, false, "Request too long"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        TempFile file("kiv_download_failures.bin");
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nok")});
        DownloaderHandle downloader = MakeDownloader();
        if (c.viaProxy) {
            strcpy(downloader->proxy_host, "127.0.0.1");
            downloader->proxy_port = c.proxyClosed ? closedPort : server.Port();
        }
        int out = -1;
        EXPECT_EQ(0, HttpDownload(downloader.get(), c.url.c_str(), file.path.c_str(), &out, nullptr,
                                  nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(c.error, downloader->error_text);
        EXPECT_EQ(0, server.Connections());
        EXPECT_FALSE(file.Exists());
    }
    DownloaderHandle downloader = MakeDownloader();
    EXPECT_EQ(0, HttpDownload(downloader.get(), nullptr, "unused", nullptr, nullptr, nullptr));
    EXPECT_STREQ("URL Parse Error !", downloader->error_text);
}

TEST(HttpDownload, DestinationFailures) {
    struct Case {
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {(std::filesystem::temp_directory_path() / "kiv_no_such_directory" / "x.bin").string(),
         "Can't open destination file"},
#ifdef __linux__
        // Every write fails there; the last buffered bytes reach it only when closing.
        {"/dev/full", "Write to destination failed"},
#endif
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\nbody")});
        DownloaderHandle downloader = MakeDownloader();
        int out = -1;
        EXPECT_EQ(0, HttpDownload(downloader.get(), Url(server.Port()).c_str(),
                                  cases[i].path.c_str(), &out, nullptr, nullptr));
        EXPECT_EQ(0, out);
        EXPECT_STREQ(cases[i].error, downloader->error_text);
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
    };
    const Case cases[] = {{16, 60, 2}, {40, 20, 0}};
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        const uint32_t length = c.pieces * 4096;
        ScriptedConnection slow = ScriptedServer::Reply(
            "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) +
            "\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n" + std::string(length, 'z'));
        slow.exchanges[0].piece = 4096;
        slow.exchanges[0].delay_ms = c.delayMs;
        ScriptedServer server({slow});
        TempFile file("kiv_download_progress.bin");
        DownloaderHandle downloader = MakeDownloader();
        ProgressLog log;
        log.stopAtCall = c.stopAtCall;
        int out = -1;
        int ok = HttpDownload(downloader.get(), Url(server.Port()).c_str(), file.path.c_str(), &out,
                              RecordProgress, &log);
        ASSERT_GE(log.count, 3) << log.calls;
        // The first call announces the length, the last reports what was written.
        const std::string total = "/" + std::to_string(length);
        EXPECT_EQ("0" + total, log.calls.substr(0, log.calls.find(' ')));
        std::string last = log.calls.substr(log.calls.rfind(' ') + 1);
        uint32_t written = static_cast<uint32_t>(std::stoul(last));
        EXPECT_EQ(std::to_string(written) + total, last);
        EXPECT_EQ(std::string(kNov1994Text) + "/" + kNov1994Text, file.Times());
        EXPECT_EQ(written, file.Content().size());
        EXPECT_STREQ(kUnchanged, downloader->error_text);
        if (c.stopAtCall != 0) {
            // Stopped at the first periodic call: after 10 pieces, still called at the end.
            EXPECT_EQ(0, ok);
            EXPECT_EQ(0, out);
            EXPECT_EQ(3, log.count) << log.calls;
            EXPECT_GE(written, 10u * 4096);
            EXPECT_LT(written, length);
            EXPECT_EQ(last + " " + last, log.calls.substr(log.calls.find(' ') + 1));
        } else {
            EXPECT_EQ(1, ok);
            EXPECT_EQ(1, out);
            EXPECT_EQ(length, written);
        }
        // Periodic calls keep more than 500 ms from the one before (the first included).
        for (int k = 1; k + 1 < log.count; ++k)
            EXPECT_GT(log.ticks[k] - log.ticks[k - 1], 450u) << "call " << k << ": " << log.calls;
    }
}

} // namespace

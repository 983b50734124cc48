#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

const time_t kNov1994 = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT

using Requests = std::vector<std::string>;

struct Destination {
    std::string path =
        (std::filesystem::temp_directory_path() / "kiv_update_download.bin").string();
    Destination() { std::remove(path.c_str()); }
    ~Destination() { std::remove(path.c_str()); }
    std::string Content() const {
        std::ifstream file(path, std::ios::binary);
        return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(no file)";
    }
};

std::string Url(const ScriptedServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/pkg.bin";
}

const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n"
                   "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\npkg";

TEST(UpdateDownload, NullArgumentsAndOverlongProxyNeverConnect) {
    ScriptedServer server({ScriptedServer::Reply(kOk)});
    Destination file;
    const std::string url = Url(server);
    UpdateDownloadOptions options;
    UpdateDownloadResult result;
    result.transferred = 7;
    EXPECT_EQ(0, UpdateDownload(nullptr, file.path.c_str(), options, &result));
    EXPECT_EQ(0, result.transferred);
    EXPECT_EQ(0, UpdateDownload(url.c_str(), nullptr, options, &result));
    EXPECT_EQ(0, UpdateDownload(url.c_str(), nullptr, options, nullptr));

    // A proxy name is refused rather than cut to another one.
    const std::string proxy(128, 'p');
    options.proxyHost = proxy.c_str();
    options.proxyPort = server.Port();
    EXPECT_EQ(0, UpdateDownload(url.c_str(), file.path.c_str(), options, &result));
    EXPECT_STREQ("Proxy host name too long", result.errorText);
    EXPECT_EQ(0, server.Connections());
    EXPECT_EQ("(no file)", file.Content());
}

TEST(UpdateDownload, OutcomesAndTexts) {
    struct Case {
        const char* proxyHost; // "127.0.0.1" sends through the scripted server as proxy
        const char* user;
        const char* password;
        bool existing;
        std::string reply;
        int ok;
        int transferred;
        const char* error;
        const char* content;
        const char* request; // {url} stands for the URL, {host} for the Host line value
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false, kOk, 1, 1, "", "pkg",
         "GET /pkg.bin HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: {host}\r\n"
         "UserAgent: KIV\r\nAccept: */*\r\n\r\n"},
        // An empty proxy name means a direct connection.
        {"", nullptr, nullptr, true, "HTTP/1.1 304 Not Modified\r\n\r\n", 1, 0, "", "old",
         "GET /pkg.bin HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: {host}\r\n"
         "UserAgent: KIV\r\nAccept: */*\r\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
         "\r\n"},
        {"127.0.0.1", "kiv", "s3cret", false, kOk, 1, 1, "", "pkg",
         "GET {url} HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: {host}\r\n"
         "UserAgent: KIV\r\nAccept: */*\r\nProxy-Authorization: Basic a2l2OnMzY3JldA==\r\n\r\n"},
        {"127.0.0.1", nullptr, nullptr, false, "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n",
         0, 0, "HTTP Error: HTTP/1.0 407 Proxy Authentication Required", "(no file)",
         "GET {url} HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: {host}\r\n"
         "UserAgent: KIV\r\nAccept: */*\r\n\r\n"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        Destination file;
        if (c.existing) {
            std::ofstream(file.path, std::ios::binary) << "old";
            struct utimbuf times = {kNov1994, kNov1994};
            ASSERT_EQ(0, utime(file.path.c_str(), &times));
        }
        UpdateDownloadOptions options;
        options.proxyHost = c.proxyHost;
        options.proxyPort = server.Port();
        options.proxyUser = c.user;
        options.proxyPassword = c.password;
        UpdateDownloadResult result;
        const std::string url = Url(server);
        EXPECT_EQ(c.ok, UpdateDownload(url.c_str(), file.path.c_str(), options, &result));
        EXPECT_EQ(c.transferred, result.transferred);
        EXPECT_STREQ(c.error, result.errorText);
        EXPECT_EQ(c.content, file.Content());
        std::string request = c.request;
        request.replace(request.find("{host}"), 6, "127.0.0.1:" + std::to_string(server.Port()));
        if (request.find("{url}") != std::string::npos)
            request.replace(request.find("{url}"), 5, url);
        EXPECT_EQ(Requests{request}, server.Requests());
    }
}

int StopAtFirstPeriodicCall(void* context, uint32_t, uint32_t) {
    return ++*static_cast<int*>(context) < 2;
}

TEST(UpdateDownload, CancelledByTheCallback) {
    // 16 pieces, 50 ms apart: enough for a periodic call (10 pieces and 500 ms).
    const uint32_t length = 16 * 4096;
    ScriptedConnection slow =
        ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(length) +
                              "\r\n\r\n" + std::string(length, 'z'));
    slow.exchanges[0].piece = 4096;
    slow.exchanges[0].delay_ms = 50;
    ScriptedServer server({slow});
    Destination file;
    int calls = 0;
    UpdateDownloadOptions options;
    options.progress = StopAtFirstPeriodicCall;
    options.progressContext = &calls;
    UpdateDownloadResult result;
    EXPECT_EQ(0, UpdateDownload(Url(server).c_str(), file.path.c_str(), options, &result));
    EXPECT_EQ(3, calls); // the first, the periodic one that stops, the last
    EXPECT_EQ(0, result.transferred);
    EXPECT_STREQ("", result.errorText);
    EXPECT_LT(file.Content().size(), length);
}

} // namespace

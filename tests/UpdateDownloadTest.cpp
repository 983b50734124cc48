#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

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

TEST(UpdateDownload, NullArgumentsAndOverlongProxyNeverConnect) {
    ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\npkg")});
    Destination file;
    const std::string url = Url(server), proxy(128, 'p');
    UpdateDownloadOptions options;
    UpdateDownloadResult result;
    result.transferred = 7;
    EXPECT_EQ(0, UpdateDownload(nullptr, file.path.c_str(), options, &result));
    EXPECT_EQ(0, result.transferred);
    EXPECT_EQ(0, UpdateDownload(url.c_str(), nullptr, options, nullptr));
    // A proxy name is refused rather than cut to another one.
    options.proxyHost = proxy.c_str();
    options.proxyPort = server.Port();
    EXPECT_EQ(0, UpdateDownload(url.c_str(), file.path.c_str(), options, &result));
    EXPECT_STREQ("Proxy host name too long", result.errorText);
    EXPECT_EQ(0, server.Connections());
    EXPECT_EQ("(no file)", file.Content());
}

int StopAtFirstPeriodicCall(void* context, uint32_t, uint32_t) {
    return ++*static_cast<int*>(context) < 2;
}

TEST(UpdateDownload, PassesOnResultTextAndCredentials) {
    struct Case {
        const char* proxy; // "127.0.0.1": the scripted server is the proxy; "": direct
        const char* user;  // with password "s3cret"
        std::string reply;
        size_t pieces; // of 4,096 bytes, 50 ms apart, when the callback is to stop it
        int ok;
        int transferred;
        const char* error;
    };
    const std::string body(16 * 4096, 'z');
    const Case cases[] = {
        {"127.0.0.1", "kiv", "HTTP/1.0 200 OK\r\n\r\npkg", 0, 1, 1, ""},
        {"", nullptr, "HTTP/1.1 304 Not Modified\r\n\r\n", 0, 1, 0, ""},
        {"127.0.0.1", nullptr, "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n", 0, 0, 0,
         "HTTP Error: HTTP/1.0 407 Proxy Authentication Required"},
        // Stopped by the callback: 16 pieces allow a periodic call (10 pieces, 500 ms).
        {"", nullptr, "HTTP/1.0 200 OK\r\n\r\n" + body, 4096, 0, 0, ""},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedConnection connection = ScriptedServer::Reply(c.reply);
        connection.exchanges[0].piece = c.pieces;
        connection.exchanges[0].delay_ms = c.pieces ? 50 : 0;
        ScriptedServer server({connection});
        Destination file;
        int calls = 0;
        UpdateDownloadOptions options;
        options.proxyHost = c.proxy;
        options.proxyPort = server.Port();
        options.proxyUser = c.user;
        options.proxyPassword = c.user ? "s3cret" : nullptr;
        options.progress = StopAtFirstPeriodicCall;
        options.progressContext = &calls;
        UpdateDownloadResult result;
        EXPECT_EQ(c.ok, UpdateDownload(Url(server).c_str(), file.path.c_str(), options, &result));
        EXPECT_EQ(c.transferred, result.transferred);
        EXPECT_STREQ(c.error, result.errorText);
        ASSERT_EQ(1u, server.Requests().size());
        const char* start = c.proxy[0] ? "GET http://127.0.0.1:" : "GET /pkg.bin HTTP/1.0";
        EXPECT_EQ(0u, server.Requests()[0].rfind(start, 0)) << server.Requests()[0];
        EXPECT_EQ(c.user != nullptr,
                  server.Requests()[0].find("Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n") !=
                      std::string::npos);
        if (c.pieces != 0) {
            EXPECT_EQ(3, calls); // the first, the periodic one that stops, the last
            EXPECT_LT(file.Content().size(), body.size());
        }
    }
}

} // namespace

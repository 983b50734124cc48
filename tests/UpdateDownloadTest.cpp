#include "TestHelpers.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <string>

namespace {

std::string Url(const ScriptedServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/pkg.bin";
}

TEST(UpdateDownload, NullArgumentsAndOverlongProxyNeverConnect) {
    ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\npkg")});
    TempFile file("kiv_update_download");
    const std::string url = Url(server), proxy(128, 'p');
    UpdateDownloadOptions options;
    UpdateDownloadResult result;
    result.transferred = 7;
    EXPECT_EQ(0, UpdateDownload(nullptr, file.c_str(), options, &result));
    EXPECT_EQ(0, result.transferred);
    EXPECT_EQ(0, UpdateDownload(url.c_str(), nullptr, options, nullptr));
    // A proxy name is refused rather than cut to another one.
    options.proxyHost = proxy.c_str();
    options.proxyPort = server.Port();
    EXPECT_EQ(0, UpdateDownload(url.c_str(), file.c_str(), options, &result));
    EXPECT_STREQ("Proxy host name too long", result.errorText);
    EXPECT_EQ(0, server.Connections());
    EXPECT_EQ("(no file)", file.Read());
}

int CountCalls(void* context, uint32_t, uint32_t) {
    ++*static_cast<int*>(context);
    return 1;
}

// The downloader's own tests cover the transfer; here what passes through the entry.
TEST(UpdateDownload, PassesOnResultTextCredentialsAndProgress) {
    struct Case {
        const char* proxy; // "127.0.0.1": the scripted server is the proxy; "": direct
        const char* user;  // with password "s3cret"
        const char* reply;
        int ok, transferred;
        const char* error;
    } const cases[] = {
        {"127.0.0.1", "kiv", "HTTP/1.0 200 OK\r\n\r\npkg", 1, 1, ""},
        {"", nullptr, "HTTP/1.1 304 Not Modified\r\n\r\n", 1, 0, ""},
        {"127.0.0.1", nullptr, "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n", 0, 0,
         "HTTP Error: HTTP/1.0 407 Proxy Authentication Required"},
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        TempFile file("kiv_update_download");
        int calls = 0;
        UpdateDownloadOptions options;
        options.proxyHost = c.proxy;
        options.proxyPort = server.Port();
        options.proxyUser = c.user;
        options.proxyPassword = c.user ? "s3cret" : nullptr;
        options.progress = CountCalls;
        options.progressContext = &calls;
        UpdateDownloadResult result;
        EXPECT_EQ(c.ok, UpdateDownload(Url(server).c_str(), file.c_str(), options, &result));
        EXPECT_EQ(c.transferred, result.transferred);
        EXPECT_STREQ(c.error, result.errorText);
        EXPECT_EQ(c.transferred ? 2 : 0, calls); // before and after the body
        ASSERT_EQ(1u, server.Requests().size());
        const std::string request = server.Requests()[0];
        EXPECT_EQ(0u, request.rfind(c.proxy[0] ? "GET http://127.0.0.1:" : "GET /pkg.bin ", 0));
        EXPECT_EQ(c.user != nullptr,
                  request.find("Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n") !=
                      std::string::npos);
    }
}

} // namespace

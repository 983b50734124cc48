#include "TestHelpers.h"
#include "attrlist/MifList.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Moved(const std::string& location) {
    return "HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
           "\r\nContent-Length: 0\r\n\r\n";
}

std::string Url(const ScriptedServer& server, const char* path = "update.ini") {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + path;
}

Bytes Check(const std::string& url, int32_t language = 1, const char* proxy = nullptr,
            uint16_t proxyPort = 0) {
    uint8_t buffer[4096];
    uint32_t size = UpdateCheck(language, url.c_str(), proxy, proxyPort, buffer, sizeof buffer);
    return Bytes(buffer, buffer + size);
}

// The list a caller should receive, built with the container itself from "tag=text" and
// "tag#number" items separated by '|'.
Bytes Facts(const std::string& described) {
    MifList list;
    std::istringstream items(described);
    for (std::string item; std::getline(items, item, '|');) {
        const size_t at = item.find_first_of("=#");
        const uint16_t tag = static_cast<uint16_t>(std::stoi(item.substr(0, at)));
        item[at] == '=' ? list.AddStr(tag, item.c_str() + at + 1)
                        : list.AddInt(tag, std::stoi(item.substr(at + 1)));
    }
    list.Finalize();
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

const char kDocument[] =
    "[Language 1]\r\nProductName=Kiv VPN\r\nVersion=5\r\nBuild=1203 # nightly\r\n"
    "Servicepack=2\r\nUrlDownload=http://d/setup.bin\r\nUrlInfo=http://i/notes\r\n"
    "Filesize=65536\r\nUrlDownload-x86=http://d/x86.bin\r\nFilesize-x86=-1\r\n"
    "UrlDownload-x86-64=http://d/x64.bin\r\nFilesize-x86-64=99999999999\r\nUrlWeb=http://w/\r\n"
    "[Language 2]\r\nProductName=Fallback\r\nVersion=abc\r\nUrlWeb=\r\n";

TEST(UpdateCheck, ReadsTheFactsInTableOrder) {
    // Information before download; the x86-64 size saturated.
    const Bytes all =
        Facts("1=Kiv VPN|2#5|3#1203|4#2|6=http://i/notes|5=http://d/setup.bin|8#65536|"
              "10=http://d/x86.bin|11#-1|20=http://d/x64.bin|21#2147483647|"
              "30=http://w/");
    const Bytes fallback = Facts("1=Fallback|2#0|30=");
    for (int32_t language : {1, 2, 7, -1}) {
        SCOPED_TRACE(language);
        ScriptedServer server({ScriptedServer::Reply(Ok(kDocument))});
        EXPECT_EQ(language == 1 ? all : fallback, Check(Url(server), language));
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        EXPECT_EQ(std::vector<std::string>{"GET /update.ini HTTP/1.0\r\nAccept: */*\r\nHost: " +
                                           host + "\r\n\r\n"},
                  server.Requests());
    }
}

TEST(UpdateCheck, AnswersWithoutFactsGiveTheEndMarkerAlone) {
    const Bytes marker{0xFF, 0xFF};
    std::vector<std::string> replies = {
        "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found",
        Ok("[Language 3]\nVersion=1\n"), // neither the language nor Language 2
        Ok(""),                          // empty document
        Moved("/elsewhere.ini"),         // Location without a host
        "HTTP/1.1 301 Moved Permanently\r\nContent-Length: 0\r\n\r\n", // no Location
        Moved("http://h/" + std::string(246, 'x')), // a Location of 256 characters
        "garbage\r\n\r\n",                          // no HTTP answer at all
    };
    FOR_EACH_CASE(reply, replies) {
        ScriptedServer server({ScriptedServer::Reply(reply)});
        EXPECT_EQ(marker, Check(Url(server)));
    }
}

TEST(UpdateCheck, FollowsExactlyOneRedirect) {
    ScriptedServer target({ScriptedServer::Reply(Ok("[Language 1]\nVersion=9\n")),
                           ScriptedServer::Reply(Moved("http://127.0.0.1:1/x.ini"))});
    ScriptedServer first({ScriptedServer::Reply(Moved(Url(target, "new/update.ini")))});
    EXPECT_EQ(Facts("2#9"), Check(Url(first)));
    ASSERT_EQ(1u, target.Requests().size());
    EXPECT_EQ(0u, target.Requests()[0].find("GET /new/update.ini HTTP/1.0\r\n"));

    // A second 301 is not followed.
    ScriptedServer again({ScriptedServer::Reply(Moved(Url(target, "update.ini")))});
    EXPECT_EQ((Bytes{0xFF, 0xFF}), Check(Url(again)));
    EXPECT_EQ(2u, target.Requests().size());
}

// A redirect's Location without a port means port 80, and so does a URL without a scheme.
TEST(UpdateCheck, ThroughAProxy) {
    ScriptedServer proxy({ScriptedServer::Reply(Ok("[Language 1]\nBuild=7\n")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=8\n")),
                          ScriptedServer::Reply(Moved("http://updates.example/b.ini")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=9\n")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=10\n"))});
    const char* urls[] = {"http://updates.example/dir/u.ini", "http://updates.example:8080/u.ini",
                          "http://updates.example:8080/a.ini", "updates.example/s.ini"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Facts("3#" + std::to_string(7 + i)),
                  Check(urls[i], 1, "127.0.0.1", proxy.Port()));
    const std::string head = " HTTP/1.0\r\nAccept: */*\r\nHost: updates.example";
    EXPECT_EQ((std::vector<std::string>{"GET " + std::string(urls[0]) + head + "\r\n\r\n",
                                        "GET " + std::string(urls[1]) + head + ":8080\r\n\r\n",
                                        "GET " + std::string(urls[2]) + head + ":8080\r\n\r\n",
                                        "GET http://updates.example/b.ini" + head + "\r\n\r\n",
                                        "GET http://updates.example/s.ini" + head + "\r\n\r\n"}),
              proxy.Requests());
}

TEST(UpdateCheck, NothingWrittenWhenNothingCanBe) {
    uint8_t buffer[64];
    memset(buffer, 0xAB, sizeof buffer);
    const std::string refused = Url(ScriptedServer({})), longProxy(128, 'p');
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, nullptr},
        {"", nullptr},
        {"http://127.0.0.1", nullptr},
        {refused.c_str(), nullptr},
        {"http://127.0.0.1:1/u.ini", longProxy.c_str()}};
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(0u,
                  UpdateCheck(1, c.first, c.second, c.second ? 8080 : 0, buffer, sizeof buffer));
        EXPECT_EQ(0xAB, buffer[0]);
    }

    // Too small leaves the buffer untouched; exactly fitting gives the whole list.
    const std::string document = Ok("[Language 1]\nVersion=3\n");
    ScriptedServer server({ScriptedServer::Reply(document), ScriptedServer::Reply(document),
                           ScriptedServer::Reply(document)});
    EXPECT_EQ(0u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 1));
    EXPECT_EQ(0u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 9));
    EXPECT_EQ(0xAB, buffer[0]);
    EXPECT_EQ(10u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 10));
    EXPECT_EQ(Facts("2#3"), Bytes(buffer, buffer + 10));
}

TEST(UpdateDownload, NullArgumentsAndOverlongProxyNeverConnect) {
    ScriptedServer server({ScriptedServer::Reply("HTTP/1.0 200 OK\r\n\r\npkg")});
    TempFile file("kiv_update_download");
    const std::string url = Url(server, "pkg.bin"), proxy(128, 'p');
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
        EXPECT_EQ(c.ok,
                  UpdateDownload(Url(server, "pkg.bin").c_str(), file.c_str(), options, &result));
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

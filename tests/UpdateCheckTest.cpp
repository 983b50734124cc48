#include "TestHelpers.h"
#include "attrlist/MifList.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <cstring>
#include <sstream>

namespace {

using Bytes = std::vector<uint8_t>;
using Requests = std::vector<std::string>;

// The longest proxy name taken, 127 characters: the loopback address with leading zeros.
const std::string kLongestProxy = "127.0.0." + std::string(118, '0') + "1";

std::string Ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Moved(const std::string& location) {
    return "HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
           "\r\nContent-Length: 0\r\n\r\n";
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
              "10=http://d/x86.bin|11#-1|20=http://d/x64.bin|21#2147483647|30=http://w/");
    for (int32_t language : {1, 2, 7, -1}) {
        SCOPED_TRACE(language);
        ScriptedServer server({ScriptedServer::Reply(Ok(kDocument))});
        EXPECT_EQ(language == 1 ? all : Facts("1=Fallback|2#0|30="),
                  Check(server.Url("/update.ini"), language));
        EXPECT_EQ(Requests{"GET /update.ini HTTP/1.0\r\nAccept: */*\r\nHost: " + server.Host() +
                           "\r\n\r\n"},
                  server.Requests());
    }
}

// Not a second one: the interop stage's check-two-redirects.
TEST(UpdateCheck, FollowsARedirect) {
    ScriptedServer target({ScriptedServer::Reply(Ok("[Language 1]\nVersion=9\n"))});
    ScriptedServer first({ScriptedServer::Reply(Moved(target.Url("/new/update.ini")))});
    EXPECT_EQ(Facts("2#9"), Check(first.Url("/u.ini")));
    ASSERT_EQ(1u, target.Requests().size());
    EXPECT_EQ(0u, target.Requests()[0].find("GET /new/update.ini HTTP/1.0\r\n"));
}

// A redirect's Location without a port means port 80, and so does a URL without a scheme.
TEST(UpdateCheck, ThroughAProxy) {
    ScriptedServer proxy({ScriptedServer::Reply(Ok("[Language 1]\nBuild=7\n")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=8\n")),
                          ScriptedServer::Reply(Moved("http://updates.example/b.ini")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=9\n")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=10\n"))});
    const std::string urls[] = {"http://updates.example/dir/u.ini",
                                "http://updates.example:8080/u.ini",
                                "http://updates.example:8080/a.ini", "updates.example/s.ini"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Facts("3#" + std::to_string(7 + i)),
                  Check(urls[i], 1, kLongestProxy.c_str(), proxy.Port()));
    const std::string head = " HTTP/1.0\r\nAccept: */*\r\nHost: updates.example";
    EXPECT_EQ(
        (Requests{"GET " + urls[0] + head + "\r\n\r\n", "GET " + urls[1] + head + ":8080\r\n\r\n",
                  "GET " + urls[2] + head + ":8080\r\n\r\n",
                  "GET http://updates.example/b.ini" + head + "\r\n\r\n",
                  "GET http://updates.example/s.ini" + head + "\r\n\r\n"}),
        proxy.Requests());
}

TEST(UpdateCheck, NothingWrittenWhenNothingCanBe) {
    uint8_t buffer[64];
    memset(buffer, 0xAB, sizeof buffer);
    const std::string refused = ScriptedServer({}).Url("/u.ini"), longProxy(128, 'p');
    const std::pair<const char*, const char*> cases[] = {
        {nullptr, nullptr},
        {"", nullptr},
        {refused.c_str(), nullptr},
        {"http://127.0.0.1:1/u.ini", longProxy.c_str()}};
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(0u,
                  UpdateCheck(1, c.first, c.second, c.second ? 8080 : 0, buffer, sizeof buffer));
    }
    // Too small leaves the buffer untouched; exactly fitting gives the whole list.
    const ScriptedConnection document = ScriptedServer::Reply(Ok("[Language 1]\nVersion=3\n"));
    ScriptedServer server({document, document, document});
    EXPECT_EQ(0u, UpdateCheck(1, server.Url("/update.ini").c_str(), nullptr, 0, buffer, 1));
    EXPECT_EQ(0u, UpdateCheck(1, server.Url("/update.ini").c_str(), nullptr, 0, buffer, 9));
    EXPECT_EQ(0xAB, buffer[0]);
    EXPECT_EQ(10u, UpdateCheck(1, server.Url("/update.ini").c_str(), nullptr, 0, buffer, 10));
    EXPECT_EQ(Facts("2#3"), Bytes(buffer, buffer + 10));
}

// The downloader's own tests cover the transfer; here what passes through the entry: "result
// transferred error|progress calls file|request start", and " auth" for the credentials.
// A proxy name too long is refused rather than cut to another one.
TEST(UpdateDownload, PassesOnResultTextCredentialsAndProgress) {
    const std::string longProxy(128, 'p');
    const struct {
        bool url, path;
        const char* proxy; // the scripted server is the proxy unless "" (direct)
        const char* user;  // with password "s3cret"
        const char *reply, *expect;
    } cases[] = {
        {1, 1, kLongestProxy.c_str(), "kiv", "HTTP/1.0 200 OK\r\n\r\npkg",
         "11 |2 pkg|GET http auth"},
        {1, 1, "", nullptr, "HTTP/1.1 304 Not Modified\r\n\r\n", "10 |0 (no file)|GET /pkg"},
        {1, 1, longProxy.c_str(), nullptr, "", "00 Proxy host name too long|0 (no file)|"},
        {0, 1, "", nullptr, "", "00 |0 (no file)|"},
        {1, 0, "", nullptr, "", "00 |0 (no file)|"},
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
        options.progress = [](void* context, uint32_t, uint32_t) {
            return ++*static_cast<int*>(context), 1;
        };
        options.progressContext = &calls;
        UpdateDownloadResult result;
        result.transferred = 7;
        result.errorText[0] = '#';
        const int ok = UpdateDownload(c.url ? server.Url("/pkg.bin").c_str() : nullptr,
                                      c.path ? file.c_str() : nullptr, options, &result);
        const std::string request = server.Requests().empty() ? "" : server.Requests()[0];
        const bool auth =
            request.find("Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n") != std::string::npos;
        EXPECT_EQ(c.expect, std::to_string(ok) + std::to_string(result.transferred) + " " +
                                result.errorText + "|" + std::to_string(calls) + " " + file.Read() +
                                "|" + request.substr(0, 8) + (auth ? " auth" : ""));
    }
}

} // namespace

#include "attrlist/MifList.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <cstring>
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

// The list a caller should receive, built with the container itself.
struct Expect {
    MifList list;
    Expect& Text(uint16_t tag, const char* text) {
        list.AddStr(tag, text);
        return *this;
    }
    Expect& Int(uint16_t tag, int32_t value) {
        list.AddInt(tag, value);
        return *this;
    }
    Bytes Done() {
        list.Finalize();
        return Bytes(list.GetData(), list.GetData() + list.GetSize());
    }
};

const char kDocument[] = "[Language 1]\r\n"
                         "ProductName=Kiv VPN\r\n"
                         "Version=5\r\n"
                         "Build=1203 # nightly\r\n"
                         "Servicepack=2\r\n"
                         "UrlDownload=http://d/setup.bin\r\n"
                         "UrlInfo=http://i/notes\r\n"
                         "Filesize=65536\r\n"
                         "UrlDownload-x86=http://d/x86.bin\r\n"
                         "Filesize-x86=-1\r\n"
                         "UrlDownload-x86-64=http://d/x64.bin\r\n"
                         "Filesize-x86-64=99999999999\r\n"
                         "UrlWeb=http://w/\r\n"
                         "[Language 2]\r\n"
                         "ProductName=Fallback\r\n"
                         "Version=abc\r\n"
                         "UrlWeb=\r\n";

TEST(UpdateCheck, ReadsTheFactsInTableOrder) {
    Bytes all = Expect()
                    .Text(1, "Kiv VPN")
                    .Int(2, 5)
                    .Int(3, 1203)
                    .Int(4, 2)
                    .Text(6, "http://i/notes") // information before download
                    .Text(5, "http://d/setup.bin")
                    .Int(8, 65536)
                    .Text(10, "http://d/x86.bin")
                    .Int(11, -1)
                    .Text(20, "http://d/x64.bin")
                    .Int(21, 2147483647) // saturated
                    .Text(30, "http://w/")
                    .Done();
    Bytes fallback = Expect().Text(1, "Fallback").Int(2, 0).Text(30, "").Done();
    struct Case {
        int32_t language;
        Bytes expect;
    } cases[] = {{1, all}, {2, fallback}, {7, fallback}, {-1, fallback}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        ScriptedServer server({ScriptedServer::Reply(Ok(kDocument))});
        EXPECT_EQ(cases[i].expect, Check(Url(server), cases[i].language)) << "case " << i;
        ASSERT_EQ(1u, server.Requests().size());
        EXPECT_EQ("GET /update.ini HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:" +
                      std::to_string(server.Port()) + "\r\n\r\n",
                  server.Requests()[0]);
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
    for (size_t i = 0; i < replies.size(); ++i) {
        ScriptedServer server({ScriptedServer::Reply(replies[i])});
        EXPECT_EQ(marker, Check(Url(server))) << "case " << i;
    }
}

TEST(UpdateCheck, FollowsExactlyOneRedirect) {
    ScriptedServer target({ScriptedServer::Reply(Ok("[Language 1]\nVersion=9\n")),
                           ScriptedServer::Reply(Moved("http://127.0.0.1:1/x.ini"))});
    ScriptedServer first({ScriptedServer::Reply(Moved(Url(target, "new/update.ini")))});
    EXPECT_EQ(Expect().Int(2, 9).Done(), Check(Url(first)));
    ASSERT_EQ(1u, target.Requests().size());
    EXPECT_EQ(0u, target.Requests()[0].find("GET /new/update.ini HTTP/1.0\r\n"));

    // A second 301 is not followed.
    ScriptedServer again({ScriptedServer::Reply(Moved(Url(target, "update.ini")))});
    EXPECT_EQ((Bytes{0xFF, 0xFF}), Check(Url(again)));
    EXPECT_EQ(2u, target.Requests().size());
}

TEST(UpdateCheck, ThroughAProxy) {
    ScriptedServer proxy({ScriptedServer::Reply(Ok("[Language 1]\nBuild=7\n")),
                          ScriptedServer::Reply(Ok("[Language 1]\nBuild=8\n"))});
    EXPECT_EQ(Expect().Int(3, 7).Done(),
              Check("http://updates.example/dir/u.ini", 1, "127.0.0.1", proxy.Port()));
    EXPECT_EQ(Expect().Int(3, 8).Done(),
              Check("http://updates.example:8080/u.ini", 1, "127.0.0.1", proxy.Port()));
    std::vector<std::string> requests = proxy.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("GET http://updates.example/dir/u.ini HTTP/1.0\r\nAccept: */*\r\n"
              "Host: updates.example\r\n\r\n",
              requests[0]);
    EXPECT_EQ("GET http://updates.example:8080/u.ini HTTP/1.0\r\nAccept: */*\r\n"
              "Host: updates.example:8080\r\n\r\n",
              requests[1]);
}

TEST(UpdateCheck, NothingWrittenWhenNothingCanBe) {
    uint8_t buffer[64];
    memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(0u, UpdateCheck(1, nullptr, nullptr, 0, buffer, sizeof buffer));
    EXPECT_EQ(0u, UpdateCheck(1, "", nullptr, 0, buffer, sizeof buffer));
    EXPECT_EQ(0u, UpdateCheck(1, "http://127.0.0.1", nullptr, 0, buffer, sizeof buffer));

    // Nothing listens there any more: the first connect fails.
    std::string refused;
    {
        ScriptedServer gone({});
        refused = Url(gone);
    }
    EXPECT_EQ(0u, UpdateCheck(1, refused.c_str(), nullptr, 0, buffer, sizeof buffer));
    std::string longProxy(128, 'p');
    EXPECT_EQ(0u, UpdateCheck(1, "http://127.0.0.1:1/u.ini", longProxy.c_str(), 8080, buffer,
                              sizeof buffer));
    EXPECT_EQ(0xAB, buffer[0]);

    // Too small leaves the buffer untouched; exactly fitting gives the whole list.
    const std::string document = Ok("[Language 1]\nVersion=3\n");
    ScriptedServer server({ScriptedServer::Reply(document), ScriptedServer::Reply(document),
                           ScriptedServer::Reply(document)});
    EXPECT_EQ(0u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 1));
    EXPECT_EQ(0u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 9));
    EXPECT_EQ(0xAB, buffer[0]);
    EXPECT_EQ(10u, UpdateCheck(1, Url(server).c_str(), nullptr, 0, buffer, 10));
    EXPECT_EQ(Expect().Int(2, 3).Done(), Bytes(buffer, buffer + 10));
}

} // namespace

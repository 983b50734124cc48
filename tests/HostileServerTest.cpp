// Servers that misbehave on purpose: silent, dripping, oversized, lying, resetting. Every
// call must end with the result the rules give, within its time-outs, and leave no
// socket, thread or memory behind.
#include "attrlist/MifList.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kEndMarker{0xFF, 0xFF};
const char kDocument[] = "[Language 1]\r\nProductName=Kiv VPN\r\nVersion=5\r\nBuild=77\r\n";

std::string Url(const ScriptedServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + "/update.ini";
}

Bytes Check(const std::string& url, const char* proxy = nullptr, uint16_t proxyPort = 0) {
    uint8_t buffer[1024];
    uint32_t size = UpdateCheck(1, url.c_str(), proxy, proxyPort, buffer, sizeof buffer);
    return Bytes(buffer, buffer + size);
}

Bytes List(const char* productName) {
    MifList list;
    list.AddStr(1, productName);
    list.Finalize();
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

// Header lines without an end, `size` bytes in all after the status line.
std::string EndlessHeader(const std::string& statusLine, size_t size) {
    std::string text = statusLine;
    const std::string line = "X-Filler: " + std::string(100, 'f') + "\r\n";
    while (text.size() < size)
        text += line;
    return text;
}

// The reply's head at once, then `tail` byte by byte with `delayMs` before each.
ScriptedConnection Drip(const std::string& head, const std::string& tail, int delayMs) {
    ScriptedExchange first;
    first.reply = head;
    ScriptedExchange drip;
    drip.reply = tail;
    drip.read_request = false;
    drip.piece = 1;
    drip.delay_ms = delayMs;
    return {{first, drip}, ScriptedEnd::Close};
}

// The reply's head, then after a pause the start of the body, then a reset.
ScriptedConnection ResetAfter(const std::string& head, const std::string& part) {
    ScriptedExchange first;
    first.reply = head;
    ScriptedExchange more;
    more.reply = part;
    more.read_request = false;
    more.delay_ms = 200;
    return {{first, more}, ScriptedEnd::Reset};
}

// A loopback port with nobody listening on it.
uint16_t ClosedPort() {
    ScriptedServer probe({});
    return probe.Port();
}

// Every test must give back the sockets and threads it used.
class HostileServer : public testing::Test {
protected:
    static void SetUpTestSuite() { WarmUpProcess(); }
    void SetUp() override {
        handles_ = CountProcessHandles();
        threads_ = CountProcessThreads();
    }
    void TearDown() override {
        if (kExactHandleCounts) {
            EXPECT_EQ(handles_, CountProcessHandles()) << "handles or descriptors left open";
        }
        EXPECT_EQ(threads_, CountProcessThreads()) << "threads left running";
    }

private:
    int64_t handles_ = 0;
    int64_t threads_ = 0;
};

// The update check against servers that break the exchange in every way the reader
// must survive (the client's table has the whole answers read byte by byte). `connections` counts
// what the check opened: a read that fails on a dropped connection is retried on a new one, at most
// twice.
TEST_F(HostileServer, UpdateCheckSurvivesBrokenAnswers) {
    const std::string document = kDocument;
    const std::string announced =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(document.size());
    const std::string cut = "[Language 1]\r\nProductName=Kiv VPN\r\n";
    ScriptedConnection endless =
        ScriptedServer::Reply(EndlessHeader("HTTP/1.0 200 OK\r\n", 1100000), ScriptedEnd::Silent);
    ScriptedConnection endlessInterim = ScriptedServer::Reply(
        EndlessHeader("HTTP/1.1 100 Continue\r\n", 1100000), ScriptedEnd::Silent);
    const uint16_t closedPort = ClosedPort();

    struct Case {
        const char* name;
        std::vector<ScriptedConnection> script;
        Bytes expect;
        int connections;
    };
    const Case cases[] = {
        {"header past 1,000,000 bytes", {endless}, kEndMarker, 1},
        {"interim block past 1,000,000 bytes", {endlessInterim}, kEndMarker, 1},
        {"interim block without end, then close",
         {ScriptedServer::Reply("HTTP/1.1 100 Continue\r\nX-Note: wait\r\n")},
         kEndMarker,
         3},
        {"length above what is sent, then close",
         {ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\n" + document)},
         kEndMarker,
         3},
        {"length below what is sent, more to come",
         {ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(cut.size()) +
                                    "\r\n\r\n" + document + std::string(2000000, 'z'),
                                ScriptedEnd::Silent)},
         List("Kiv VPN"),
         1},
        {"reset in the middle of the body",
         {ResetAfter(announced + "\r\n\r\n", document.substr(0, 20))},
         kEndMarker,
         3},
        {"redirect to a port without listener",
         {ScriptedServer::Reply("HTTP/1.0 301 Moved Permanently\r\nLocation: http://127.0.0.1:" +
                                std::to_string(closedPort) +
                                "/u.ini\r\nContent-Length: 0\r\n\r\n")},
         kEndMarker,
         1},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.name);
        ScriptedServer server(c.script);
        EXPECT_EQ(c.expect, Check(Url(server)));
        server.Stop();
        EXPECT_EQ(c.connections, server.Connections());
    }
}

// The downloader against the same kinds of servers. It never retries; what it has
// written stays behind.
TEST_F(HostileServer, DownloadSurvivesBrokenAnswers) {
    const std::string body = "0123456789abcdefghijklmnopqrstuvwxyz";
    const std::string head = "HTTP/1.0 200 OK\r\nContent-length: " + std::to_string(body.size());
    struct Case {
        const char* name;
        ScriptedConnection script;
        int result;
        const char* error;
        std::string file; // "(no file)" when none may exist
        bool prefix;      // the file may hold any start of `file`
    };
    const Case cases[] = {
        {"header past 4,096 bytes",
         ScriptedServer::Reply(EndlessHeader("HTTP/1.0 200 OK\r\n", 1100000), ScriptedEnd::Silent),
         0, "Receive timeout", "(no file)", false},
        {"interim block first",
         ScriptedServer::Reply("HTTP/1.1 100 Continue\r\n\r\n" + head + "\r\n\r\n" + body), 0,
         "HTTP Error: HTTP/1.1 100 Continue", "(no file)", false},
        {"interim block without end",
         ScriptedServer::Reply("HTTP/1.1 100 Continue\r\nX-Note: wait\r\n", ScriptedEnd::Silent), 0,
         "HTTP Error: HTTP/1.1 100 Continue", "(no file)", false},
        {"length above what is sent, then close",
         ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-length: 500\r\n\r\n" + body), 0, "",
         body, false},
        {"length below what is sent, more to come", // what came with the header is written
         ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-length: 10\r\n\r\n" + body +
                                   std::string(2000000, 'z'),
                               ScriptedEnd::Silent),
         1, "", body + std::string(4096, 'z'), true},
        {"reset in the middle of a body of known length",
         ResetAfter(head + "\r\n\r\n", body.substr(0, 20)), 0, "", body.substr(0, 20), true},
        {"reset in the middle of a body of unknown length",
         ResetAfter("HTTP/1.0 200 OK\r\n\r\n", body.substr(0, 20)), 1, "", body.substr(0, 20),
         true},
        {"body dripping a byte a second",
         Drip("HTTP/1.0 200 OK\r\nContent-length: 3\r\n\r\n", "abc", 1000), 1, "", "abc", false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.name);
        const std::string path = fixtures::TempPath("hostile.bin");
        std::remove(path.c_str());
        ScriptedServer server({c.script});
        UpdateDownloadResult result;
        EXPECT_EQ(c.result, UpdateDownload(Url(server).c_str(), path.c_str(),
                                           UpdateDownloadOptions(), &result));
        EXPECT_STREQ(c.error, result.errorText);
        std::string file = fixtures::ReadFile(path);
        if (c.prefix) {
            EXPECT_EQ(0u, c.file.compare(0, file.size(), file)) << file;
        } else {
            EXPECT_EQ(c.file, file);
        }
        server.Stop();
        EXPECT_EQ(1, server.Connections());
        std::remove(path.c_str());
    }
}

TEST_F(HostileServer, ProxyThatClosesAtOnce) {
    ScriptedServer proxy({});
    EXPECT_EQ(kEndMarker, Check("http://updates.example/update.ini", "127.0.0.1", proxy.Port()));

    UpdateDownloadOptions options;
    options.proxyHost = "127.0.0.1";
    options.proxyPort = proxy.Port();
    UpdateDownloadResult result;
    const std::string path = fixtures::TempPath("hostile-proxy.bin");
    EXPECT_EQ(0,
              UpdateDownload("http://updates.example/setup.bin", path.c_str(), options, &result));
    EXPECT_STREQ("Receive timeout", result.errorText);
    EXPECT_EQ("(no file)", fixtures::ReadFile(path));
    proxy.Stop();
    // Three for the check (a dropped read is retried twice), one for the download.
    EXPECT_EQ(4, proxy.Connections());
}

} // namespace

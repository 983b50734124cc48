// Servers that misbehave on purpose: silent, dripping, oversized, lying, resetting. Every
// call must end with its result within its time-outs and leave no socket or thread behind.
#include "TestHelpers.h"
#include "attrlist/MifList.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kEndMarker{0xFF, 0xFF};
const std::string kDocument = "[Language 1]\r\nProductName=Kiv VPN\r\nVersion=5\r\nBuild=77\r\n";
const std::string kBody = "0123456789abcdefghijklmnopqrstuvwxyz";

// Header lines without an end, over 1,000,000 bytes after the status line, then silence.
ScriptedConnection Endless(const std::string& statusLine) {
    std::string text = statusLine;
    while (text.size() < 1100000)
        text += "X-Filler: " + std::string(100, 'f') + "\r\n";
    return ScriptedServer::Reply(text, ScriptedEnd::Silent);
}

// The reply's head at once, then `tail` in pieces with a pause before each, then `end`.
ScriptedConnection Then(const std::string& head, const std::string& tail, size_t piece, int delayMs,
                        ScriptedEnd end) {
    return {{{head}, {tail, 0, piece, delayMs, false}}, end};
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
        EXPECT_TRUE(!kExactHandleCounts || handles_ == CountProcessHandles()) << "handles left";
        EXPECT_EQ(threads_, CountProcessThreads()) << "threads left running";
    }
    int64_t handles_ = 0, threads_ = 0;
};

// `connections` counts what the check opened: a read that fails on a dropped connection
// is retried on a new one, at most twice.
TEST_F(HostileServer, UpdateCheckSurvivesBrokenAnswers) {
    const std::string announced =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kDocument.size()) + "\r\n\r\n";
    const uint16_t closedPort = ScriptedServer({}).Port();
    MifList cut;
    cut.AddStr(1, "Kiv VPN");
    cut.Finalize();
    struct Case {
        ScriptedConnection script;
        Bytes expect;
        int connections;
    } const cases[] = {
        {Endless("HTTP/1.0 200 OK\r\n"), kEndMarker, 1},
        {Endless("HTTP/1.1 100 Continue\r\n"), kEndMarker, 1},
        // interim block without end, then close
        {ScriptedServer::Reply("HTTP/1.1 100 Continue\r\nX-Note: wait\r\n"), kEndMarker, 3},
        // length above what is sent, then close
        {ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\n" + kDocument),
         kEndMarker, 3},
        // length below what is sent (the first line only), more to come
        {ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 35\r\n\r\n" + kDocument +
                                   std::string(2000000, 'z'),
                               ScriptedEnd::Silent),
         Bytes(cut.GetData(), cut.GetData() + cut.GetSize()), 1},
        {Then(announced, kDocument.substr(0, 20), 0, 200, ScriptedEnd::Reset), kEndMarker, 3},
        {ScriptedServer::Reply("HTTP/1.0 301 Moved Permanently\r\nLocation: http://127.0.0.1:" +
                               std::to_string(closedPort) + "/u.ini\r\nContent-Length: 0\r\n\r\n"),
         kEndMarker, 1},
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server({c.script});
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/u.ini";
        uint8_t buffer[1024];
        uint32_t size = UpdateCheck(1, url.c_str(), nullptr, 0, buffer, sizeof buffer);
        EXPECT_EQ(c.expect, Bytes(buffer, buffer + size));
        server.Stop();
        EXPECT_EQ(c.connections, server.Connections());
    }
}

// The downloader never retries; what it has written stays behind.
TEST_F(HostileServer, DownloadSurvivesBrokenAnswers) {
    const std::string head = "HTTP/1.0 200 OK\r\nContent-length: 36\r\n\r\n";
    struct Case {
        ScriptedConnection script;
        int result;
        const char* error;
        std::string file; // "(no file)" when none may exist
        bool prefix;      // the file may hold any start of `file`
    } const cases[] = {
        {Endless("HTTP/1.0 200 OK\r\n"), 0, "Receive timeout", "(no file)", false},
        {ScriptedServer::Reply("HTTP/1.1 100 Continue\r\n\r\n" + head + kBody), 0,
         "HTTP Error: HTTP/1.1 100 Continue", "(no file)", false},
        {ScriptedServer::Reply("HTTP/1.1 100 Continue\r\nX-Note: wait\r\n", ScriptedEnd::Silent), 0,
         "HTTP Error: HTTP/1.1 100 Continue", "(no file)", false},
        // length below what is sent, more to come: what came with the header is written
        {ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-length: 10\r\n\r\n" + kBody +
                                   std::string(2000000, 'z'),
                               ScriptedEnd::Silent),
         1, "", kBody + std::string(4096, 'z'), true},
        {Then(head, kBody.substr(0, 20), 0, 200, ScriptedEnd::Reset), 0, "", kBody.substr(0, 20),
         true},
        {Then("HTTP/1.0 200 OK\r\n\r\n", kBody.substr(0, 20), 0, 200, ScriptedEnd::Reset), 1, "",
         kBody.substr(0, 20), true},
        // a byte a second
        {Then("HTTP/1.0 200 OK\r\nContent-length: 3\r\n\r\n", "abc", 1, 1000, ScriptedEnd::Close),
         1, "", "abc", false},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile path("kiv_hostile");
        ScriptedServer server({c.script});
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/u.bin";
        UpdateDownloadResult result;
        EXPECT_EQ(c.result,
                  UpdateDownload(url.c_str(), path.c_str(), UpdateDownloadOptions(), &result));
        EXPECT_STREQ(c.error, result.errorText);
        const std::string file = path.Read();
        EXPECT_EQ(c.prefix ? c.file.substr(0, file.size()) : c.file, file);
        server.Stop();
        EXPECT_EQ(1, server.Connections());
    }
}

} // namespace

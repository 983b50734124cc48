#include "http/HttpClient.h"
#include "support/HttpClientHandle.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Requests = std::vector<std::string>;

constexpr uint32_t kAny = 0xFFFFFFFF;
const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string Body(const HttpClient* client) {
    return client->body != nullptr ? std::string(client->body, client->body_length) : "(null)";
}

TEST(HttpClientRequest, RequestLineAndHostLine) {
    struct Case {
        const char* proxiedHost; // null: direct to the scripted server
        uint32_t serverPort;
        const char* path;
        const char* request;
    };
    const Case cases[] = {
        {nullptr, 0, "dir/file.ini",
         "GET /dir/file.ini HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:{port}\r\n\r\n"},
        {nullptr, 0, "/dir/file.ini",
         "GET /dir/file.ini HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:{port}\r\n\r\n"},
        {nullptr, 0, "", "GET / HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:{port}\r\n\r\n"},
        {nullptr, 0, "//x", "GET //x HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:{port}\r\n\r\n"},
        {"H", 8080, "/dir/file.ini",
         "GET http://H:8080/dir/file.ini HTTP/1.0\r\nAccept: */*\r\nHost: H:8080\r\n\r\n"},
        {"H", 80, "dir/file.ini",
         "GET http://H/dir/file.ini HTTP/1.0\r\nAccept: */*\r\nHost: H\r\n\r\n"},
        {"H", 80, "/", "GET http://H/ HTTP/1.0\r\nAccept: */*\r\nHost: H\r\n\r\n"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply(kOk)});
        HttpClientHandle client = MakeHttpClient();
        if (c.proxiedHost != nullptr) {
            strcpy(client->proxy_host, "127.0.0.1");
            client->proxy_port = server.Port();
            ASSERT_EQ(1, HttpClientConnect(client.get(), c.proxiedHost, c.serverPort));
        } else {
            ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        }
        EXPECT_EQ(1, HttpClientGet(client.get(), c.path));
        EXPECT_EQ(200u, client->status_code);
        EXPECT_EQ("ok", Body(client.get()));
        EXPECT_EQ(Requests{WithPort(c.request, server.Port())}, server.Requests());
    }
}

TEST(HttpClientRequest, ConnectAddressUsesHostTextForHostLine) {
    ScriptedServer server({ScriptedServer::Reply(kOk)});
    HttpClientHandle client = MakeHttpClient();
    KivIpAddr loopback;
    ASSERT_EQ(1, loopback.Parse("127.0.0.1"));
    EXPECT_EQ(0, HttpClientConnectAddress(client.get(), loopback, server.Port(), nullptr));
    ASSERT_EQ(1, HttpClientConnectAddress(client.get(), loopback, server.Port(), "name.test"));
    EXPECT_EQ(1, HttpClientGet(client.get(), "a"));
    EXPECT_EQ(Requests{WithPort("GET /a HTTP/1.0\r\nAccept: */*\r\nHost: name.test:{port}\r\n\r\n",
                                server.Port())},
              server.Requests());
}

TEST(HttpClientRequest, ConnectFailures) {
    uint16_t closedPort;
    {
        ScriptedServer gone({});
        closedPort = gone.Port();
    }
    HttpClientHandle client = MakeHttpClient();
    EXPECT_STREQ("", client->error_text);
    EXPECT_EQ(0, HttpClientConnect(client.get(), "127.0.0.1", closedPort));
    EXPECT_STREQ("TCP Connect failed", client->error_text);

    // A host name that does not fit server_host is refused, not cut.
    std::string longHost(128, 'h');
    client->error_text[0] = '\0';
    EXPECT_EQ(0, HttpClientConnect(client.get(), longHost.c_str(), 80));
    EXPECT_STREQ("TCP Connect failed", client->error_text);
    EXPECT_STRNE(longHost.c_str(), client->server_host);
}

TEST(HttpClientResponse, Table) {
    struct Case {
        const char* name;
        std::string reply;
        ScriptedEnd end;
        size_t piece;
        int result;
        uint32_t status;   // kAny: not checked
        const char* body;  // null: not checked
        const char* error; // null: not checked
    };
    const Case cases[] = {
        {"announced empty body", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         ScriptedEnd::Silent, 0, 1, 200, "", ""},
        {"interim answer first",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc",
         ScriptedEnd::Close, 0, 1, 200, "abc", nullptr},
        {"close-delimited body with Connection: close",
         "HTTP/1.0 200 OK\r\nConnection: close\r\n\r\nhello", ScriptedEnd::Close, 0, 1, 200,
         "hello", nullptr},
        {"close-delimited body without Connection line",
         "HTTP/1.0 200 OK\r\nServer: s\r\n\r\nhello", ScriptedEnd::Close, 0, 1, 200, "hello",
         nullptr},
        {"empty body needs a length or Connection: close", "HTTP/1.0 200 OK\r\nServer: s\r\n\r\n",
         ScriptedEnd::Close, 0, 0, 200, nullptr, nullptr},
        {"Connection value compared ignoring case",
         "HTTP/1.0 204 No Content\r\nConnection: CLOSE\r\n\r\n", ScriptedEnd::Close, 0, 1, 204, "",
         "HTTP Error :  No Content"},
        {"length name ignores case", "HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\nabcdef",
         ScriptedEnd::Silent, 0, 1, 200, "abc", nullptr},
        {"length without blank after colon is not a length",
         "HTTP/1.1 200 OK\r\nContent-Length:12\r\n\r\nshort body", ScriptedEnd::Close, 0, 1, 200,
         "short body", nullptr},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found",
         ScriptedEnd::Close, 0, 1, 404, "not found", "HTTP Error :  Not Found"},
        {"not HTTP", "FTP 200 OK\r\n\r\n", ScriptedEnd::Close, 0, 0, 0, nullptr, nullptr},
        {"no end of header", "HTTP/1.0 200 OK\r\nServer: s\r\n", ScriptedEnd::Close, 0, 0, 200,
         nullptr, nullptr},
        {"body shorter than announced", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabcd",
         ScriptedEnd::Close, 0, 0, 200, nullptr, nullptr},
        {"announced length above limit", "HTTP/1.0 200 OK\r\nContent-Length: 1000001\r\n\r\nx",
         ScriptedEnd::Close, 0, 0, 200, nullptr, nullptr},
        {"negative announced length", "HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nx",
         ScriptedEnd::Close, 0, 0, 200, nullptr, nullptr},
        {"blank line split between CR and LF", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody",
         ScriptedEnd::Silent, 37, 1, 200, "body", nullptr},
        {"trickled in small pieces", "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world",
         ScriptedEnd::Silent, 5, 1, 200, "hello world", nullptr},
        {"line feeds only", "HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", ScriptedEnd::Silent, 0, 1,
         200, "hi", nullptr},
        // Whether the status line is read before the reset depends on timing.
        {"reset before the header ends", "HTTP/1.0 200 OK\r\n", ScriptedEnd::Reset, 0, 0, kAny,
         nullptr, nullptr},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.name);
        ScriptedExchange exchange;
        exchange.reply = c.reply;
        exchange.piece = c.piece;
        exchange.delay_ms = c.piece != 0 ? 60 : 0;
        ScriptedServer server({{{exchange}, c.end}});
        HttpClientHandle client = MakeHttpClient(2);
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        ASSERT_EQ(1, HttpClientSendRequest(client.get(), HTTP_METHOD_GET, "r"));
        EXPECT_EQ(c.result, HttpClientReadResponse(client.get()));
        if (c.status != kAny) {
            EXPECT_EQ(c.status, client->status_code);
        }
        if (c.body != nullptr) {
            EXPECT_EQ(c.body, Body(client.get()));
        }
        if (c.error != nullptr) {
            EXPECT_STREQ(c.error, client->error_text);
        }
        if (c.result == 1) {
            EXPECT_EQ('\0', client->body[client->body_length]);
        }
    }
}

TEST(HttpClientResponse, HeaderTextAndHeaderLookup) {
    ScriptedServer server({ScriptedServer::Reply("HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
                                                 "HTTP/1.1 301 Moved Permanently\r\nLocation: "
                                                 "http://other/x\r\nContent-Length: 0\r\n\r\n")});
    HttpClientHandle client = MakeHttpClient();
    ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
    ASSERT_EQ(1, HttpClientGet(client.get(), "a"));
    EXPECT_EQ(301u, client->status_code);
    EXPECT_STREQ("HTTP/1.1 301 Moved Permanently\r\nLocation: http://other/x\r\n"
                 "Content-Length: 0\r\n\r",
                 client->header_text);
    EXPECT_STREQ("HTTP/1.1 301 Moved Permanently", client->status_line);
    EXPECT_STREQ("HTTP Error :  Moved Permanently", client->error_text);

    char value[64];
    EXPECT_EQ(1, HttpClientGetHeader(client.get(), "location: ", value, sizeof(value)));
    EXPECT_STREQ("http://other/x", value);
    EXPECT_EQ(0, HttpClientGetHeader(client.get(), "Location: ", value, 14));
    EXPECT_EQ(1, HttpClientGetHeader(client.get(), "Location: ", value, 15));
    EXPECT_EQ(0, HttpClientGetHeader(client.get(), "X-Interim: ", value, sizeof(value)));
}

TEST(HttpClientResponse, FindHeaderEnd) {
    struct Case {
        const char* bytes;
        int found;
        uint32_t offset;
    };
    const Case cases[] = {
        {"A\r\n\r\nB", 1, 5}, {"A\n\nB", 1, 3},         {"A\r\rB", 1, 3}, {"A\n\r\n\rB", 1, 5},
        {"A\r\nB\r\n", 0, 0}, {"A\r\n\r", 0, 0},        {"A\n\n", 0, 0},  {"\r\n\r\nX", 1, 4},
        {"A\r\n\n\rB", 1, 5}, {"A\r\nB\r\n\r\n", 1, 8}, {"", 0, 0},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        uint32_t offset = 0;
        uint32_t length = static_cast<uint32_t>(strlen(cases[i].bytes));
        const char* end = HttpFindHeaderEnd(cases[i].bytes, length, &offset);
        EXPECT_EQ(cases[i].found, end != nullptr) << "case " << i;
        if (end != nullptr) {
            EXPECT_EQ(cases[i].offset, offset) << "case " << i;
            EXPECT_EQ(cases[i].bytes + offset, end) << "case " << i;
        }
    }
}

TEST(HttpClientResponse, SizeLimits) {
    const std::string closeHeader = "HTTP/1.0 200 OK\r\n\r\n";
    const std::string announced = "HTTP/1.0 200 OK\r\nContent-Length: 1000000\r\n\r\n";
    std::string pattern(1000001, 'x');
    for (size_t i = 0; i < pattern.size(); i += 997)
        pattern[i] = static_cast<char>('a' + i % 23);
    struct Case {
        std::string reply;
        int result;
        uint32_t bodyLength;
    };
    const Case cases[] = {
        // Without a length, at most 1,000,000 bytes may arrive in all.
        {closeHeader + pattern.substr(0, 1000000 - closeHeader.size()), 1,
         static_cast<uint32_t>(1000000 - closeHeader.size())},
        {closeHeader + pattern.substr(0, 1000001 - closeHeader.size()), 0, 0},
        {announced + pattern.substr(0, 1000000), 1, 1000000},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply(cases[i].reply)});
        HttpClientHandle client = MakeHttpClient();
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        ASSERT_EQ(1, HttpClientSendRequest(client.get(), HTTP_METHOD_GET, "big"));
        EXPECT_EQ(cases[i].result, HttpClientReadResponse(client.get()));
        EXPECT_EQ(cases[i].bodyLength, client->body_length);
        if (cases[i].result == 1) {
            EXPECT_EQ(0, memcmp(pattern.data(), client->body, client->body_length));
        }
    }
}

TEST(HttpClientResponse, ReceiveTimeout) {
    ScriptedConnection silent;
    silent.exchanges.push_back(ScriptedExchange());
    silent.end = ScriptedEnd::Silent;
    ScriptedServer server({silent});
    HttpClientHandle client = MakeHttpClient(1);
    ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
    ASSERT_EQ(1, HttpClientSendRequest(client.get(), HTTP_METHOD_GET, "slow"));
    EXPECT_EQ(0, HttpClientReadResponse(client.get()));
    EXPECT_EQ(TCP_ERR_TIMEOUT, client->connection->last_error);
    EXPECT_EQ(0u, client->connection->connected);
    EXPECT_EQ(0u, client->status_code);
}

ScriptedConnection Garbage() {
    return ScriptedServer::Reply("garbage\r\n\r\n");
}

TEST(HttpClientGet, ReconnectRules) {
    const std::string request =
        "GET /doc HTTP/1.0\r\nAccept: */*\r\nHost: 127.0.0.1:{port}\r\n\r\n";
    ScriptedConnection silent;
    silent.exchanges.push_back(ScriptedExchange());
    silent.end = ScriptedEnd::Silent;
    struct Case {
        const char* name;
        std::vector<ScriptedConnection> script;
        int result;
        int connections;
    };
    const Case cases[] = {
        {"time-out, then the resent request is answered",
         {silent, ScriptedServer::Reply(kOk)},
         1,
         2},
        {"two failed reads, the third attempt is answered",
         {Garbage(), Garbage(), ScriptedServer::Reply(kOk)},
         1,
         3},
        {"three failed reads end the GET",
         {Garbage(), Garbage(), Garbage(), ScriptedServer::Reply(kOk)},
         0,
         3},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].name);
        ScriptedServer server(cases[i].script);
        HttpClientHandle client = MakeHttpClient(1);
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        EXPECT_EQ(cases[i].result, HttpClientGet(client.get(), "doc"));
        EXPECT_EQ(cases[i].connections, server.Connections());
        EXPECT_EQ(Requests(cases[i].connections, WithPort(request, server.Port())),
                  server.Requests());
    }
}

TEST(HttpClientGet, ReusesOpenConnectionAndReopensDroppedOne) {
    ScriptedConnection kept;
    ScriptedExchange first;
    first.reply = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nfirst";
    ScriptedExchange second;
    second.reply = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nsecond";
    kept.exchanges = {first, second};
    // The server then closes the kept connection; the third GET finds it dropped.
    ScriptedServer server(
        {kept, ScriptedServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nthird")});
    HttpClientHandle client = MakeHttpClient();
    ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
    const char* expected[] = {"first", "second", "third"};
    for (const char* body : expected) {
        EXPECT_EQ(1, HttpClientGet(client.get(), "k"));
        EXPECT_EQ(body, Body(client.get()));
    }
    EXPECT_EQ(2, server.Connections());
    EXPECT_EQ(3u, server.Requests().size());
}

TEST(HttpClientGet, FailedReopenClearsRequest) {
    HttpClientHandle client = MakeHttpClient();
    {
        ScriptedServer server({ScriptedServer::Reply(kOk)});
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        ASSERT_EQ(1, HttpClientGet(client.get(), "a"));
    }
    // The server is gone: the request fails, reopening fails, and the settings are dropped.
    ASSERT_EQ(1, HttpClientAddHeader(client.get(), "X-Once: 1"));
    client->error_text[0] = '\0';
    EXPECT_EQ(0, HttpClientGet(client.get(), "a"));
    EXPECT_STREQ("TCP Connect failed", client->error_text);
    EXPECT_EQ(nullptr, client->extra_headers);
}

} // namespace

// Faults that the fuzz harnesses of fuzz/ found, each pinned by the smallest case that
// showed it.
#include "http/HttpClient.h"
#include "support/HttpClientHandle.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// An empty body announced by Content-Length is followed by its NUL even when more bytes
// arrived behind the header block.
TEST(FuzzFindings, EmptyAnnouncedBodyEndsAtOnce) {
    const char* const replies[] = {
        "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nextra bytes",
        "HTTP/1.0 200 OK\r\nContent-Length: none\r\n\r\nextra bytes",
    };
    for (size_t i = 0; i < sizeof replies / sizeof replies[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        ScriptedServer server({ScriptedServer::Reply(replies[i])});
        HttpClientHandle client = MakeHttpClient();
        ASSERT_EQ(1, HttpClientConnect(client.get(), "127.0.0.1", server.Port()));
        EXPECT_EQ(1, HttpClientGet(client.get(), "a"));
        EXPECT_EQ(0u, client->body_length);
        ASSERT_NE(nullptr, client->body);
        EXPECT_STREQ("", client->body);
    }
}

} // namespace

#include "http/TcpConnection.h"
#include "support/ScriptedServer.h"

#include "compat/win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

struct ConnectionDeleter {
    void operator()(TcpConnection* connection) const {
        TcpConnectionDestroy(connection);
        free(connection);
    }
};
using Connection = std::unique_ptr<TcpConnection, ConnectionDeleter>;

Connection MakeConnection(uint32_t timeout = 5) {
    auto* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    TcpConnectionInit(connection);
    connection->timeout = timeout;
    return Connection(connection);
}

// Waiting receives until one fails; what they brought.
std::string ReceiveAll(TcpConnection* connection) {
    std::string text;
    char buffer[64];
    uint32_t length = sizeof buffer;
    for (; TcpReceive(connection, buffer, &length, 0, 1); length = sizeof buffer)
        text.append(buffer, length);
    return text;
}

const KivIpAddr kLoopback("127.0.0.1");

TEST(TcpConnection, ExchangeWithLiteralAddressAndHostName) {
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        ScriptedServer server({ScriptedServer::Reply("world")});
        Connection connection = MakeConnection();
        ASSERT_EQ(1, TcpConnectHost(connection.get(), host, server.Port()));
        EXPECT_EQ(1u, connection->connected);
        EXPECT_EQ(1, TcpSend(connection.get(), "hello\r\n\r\n", 9));
        EXPECT_EQ(1, TcpSend(connection.get(), "", 0));
        EXPECT_EQ("world", ReceiveAll(connection.get()));
        // The peer closed: the connection is dropped but its socket stays until closed.
        EXPECT_EQ(0u, connection->connected + connection->last_error);
        EXPECT_NE(-1, connection->socket);
        EXPECT_EQ(std::vector<std::string>{"hello\r\n\r\n"}, server.Requests());
        EXPECT_EQ(1, TcpClose(connection.get()));
        EXPECT_EQ(-1, connection->socket);
    }
}

int g_hookCalls = 0;
int32_t g_hookSocket = -1;
int Hook(void* answer, int32_t socket) {
    ++g_hookCalls;
    g_hookSocket = socket;
    return *static_cast<int*>(answer);
}

TEST(TcpConnection, RefusedConnectAndSocketHook) {
    uint16_t closedPort;
    {
        ScriptedServer gone({});
        closedPort = gone.Port();
    }
    Connection connection = MakeConnection();
    EXPECT_EQ(0, TcpConnectAddress(connection.get(), kLoopback, closedPort));
    EXPECT_EQ(TCP_ERR_CONNECT, connection->last_error);
    EXPECT_EQ(-1, connection->socket);
    EXPECT_EQ(0u, connection->connected + connection->connecting);
    EXPECT_EQ(1u, connection->watchdog_done);

    // The hook sees each new socket and may refuse it.
    ScriptedServer server({ScriptedServer::Reply("")});
    int answer = 0;
    TcpSetSocketHook(connection.get(), Hook, &answer);
    EXPECT_EQ(0, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
    EXPECT_EQ(1, g_hookCalls);
    EXPECT_GE(g_hookSocket, 0);
    EXPECT_EQ(-1, connection->socket);
    answer = 1;
    EXPECT_EQ(1, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
    EXPECT_EQ(2, g_hookCalls);
    EXPECT_EQ(g_hookSocket, connection->socket);
}

TEST(TcpConnection, SilentPeerTimesOutAndResetPeerDrops) {
    ScriptedConnection silent;
    silent.end = ScriptedEnd::Silent;
    ScriptedServer server({silent, ScriptedServer::Reply("", ScriptedEnd::Reset)});
    Connection connection = MakeConnection(1);
    ASSERT_EQ(1, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
    char buffer[16];
    uint32_t length = sizeof buffer;
    EXPECT_EQ(0, TcpReceive(connection.get(), buffer, &length, 0, 1));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(TCP_ERR_TIMEOUT, connection->last_error);
    EXPECT_EQ(0u, connection->connected);
    length = sizeof buffer; // a dropped connection does not wait again
    EXPECT_EQ(0, TcpReceive(connection.get(), buffer, &length, 0, 1));
    EXPECT_EQ(0u, connection->last_error);

    ASSERT_EQ(1, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
    ASSERT_EQ(1, TcpSend(connection.get(), "go\r\n\r\n", 6));
    length = sizeof buffer;
    EXPECT_EQ(0, TcpReceive(connection.get(), buffer, &length, 0, 1));
    EXPECT_EQ(0u, connection->connected);
    // Sending into the reset connection fails with the reset code; the process lives on.
    connection->connected = 1;
    int sent = 1;
    for (int i = 0; i < 20 && sent; ++i)
        sent = TcpSend(connection.get(), "more", 4);
    EXPECT_EQ(0, sent);
    EXPECT_EQ(static_cast<uint32_t>(WSAECONNRESET), connection->last_error);
    EXPECT_EQ(0u, connection->connected);
}

#ifndef _WIN32
// Descriptor numbers of 1024 and above do not fit a select set; waiting must still work.
TEST(TcpConnection, WaitingReceiveOnHighDescriptor) {
    rlimit original;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &original));
    rlimit raised = original;
    raised.rlim_cur = std::max<rlim_t>(original.rlim_cur, 1200);
    if (raised.rlim_cur > original.rlim_max || setrlimit(RLIMIT_NOFILE, &raised) != 0)
        GTEST_SKIP() << "cannot raise the descriptor limit";
    ScriptedExchange late;
    late.reply = "late";
    late.delay_ms = 300;
    ScriptedServer server({{{late}, ScriptedEnd::Close}});
    std::vector<int> fillers;
    for (int fd = 0; fd >= 0 && fd < 1030;) {
        fd = open("/dev/null", O_RDONLY);
        fillers.push_back(fd);
    }
    Connection connection = MakeConnection(5);
    const int connected = TcpConnectHost(connection.get(), "127.0.0.1", server.Port());
    const int32_t socket = connection->socket;
    std::string received;
    if (connected && TcpSend(connection.get(), "x\r\n\r\n", 5))
        received = ReceiveAll(connection.get());
    connection.reset();
    for (int fd : fillers)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &original);
    ASSERT_EQ(1, connected);
    EXPECT_GE(socket, 1024);
    EXPECT_EQ("late", received);
}
#endif

} // namespace

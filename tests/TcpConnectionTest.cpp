// TcpConnection against loopback peers, and the connect watchdog when connects hang.
#include "http/TcpConnection.h"
#include "TestHelpers.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"

#include "compat/win32.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <signal.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

using Connection = Owned<TcpConnection, TcpConnectionDestroy>;

Connection MakeConnection(uint32_t timeout = 5) {
    auto* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    TcpConnectionInit(connection);
    connection->timeout = timeout;
    return Connection(connection);
}

// A listener that never accepts, its smallest queue filled until a connect stays pending
// (`full`): from then on every connect to it neither succeeds nor fails.
struct FullListener {
    FullListener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (bind(listener, any, length) == 0 && listen(listener, 0) == 0 &&
            getsockname(listener, any, &length) == 0)
            for (port = ntohs(address.sin_port); fillers.size() < 64 && !full;) {
                fillers.push_back(socket(AF_INET, SOCK_STREAM, 0));
                u_long on = 1;
                ioctlsocket(fillers.back(), FIONBIO, &on);
                connect(fillers.back(), any, length);
                full = !Ready(fillers.back(), POLLWRNORM, 500); // held back, not queued
            }
    }
    ~FullListener() {
        for (SOCKET socket : fillers)
            closesocket(socket);
        closesocket(listener);
    }
    static bool Ready(SOCKET socket, short events, int ms) {
        WSAPOLLFD entry = {};
        entry.fd = socket;
        entry.events = events;
        return WSAPoll(&entry, 1, ms) != 0;
    }
    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    bool full = false;
    std::vector<SOCKET> fillers;
};

const KivIpAddr kLoopback("127.0.0.1");

void ExpectConnectFailed(const TcpConnection& c) {
    EXPECT_EQ(std::to_string(TCP_ERR_CONNECT) + " -1 0 0 1",
              std::to_string(c.last_error) + " " + std::to_string(c.socket) + " " +
                  std::to_string(c.connected) + " " + std::to_string(c.connecting) + " " +
                  std::to_string(c.watchdog_done));
}

// Hanging connects at once each end by their own watchdog at the time-out, leaving nothing.
TEST(ConnectWatchdog, HangingConnectsEndAtTheTimeoutAndLeaveNothing) {
    WarmUpProcess();
    FullListener listener;
    if (!listener.full)
        GTEST_SKIP() << "connects to a full listen queue do not hang on this system";
    const int64_t threads = CountProcessThreads(), handles = CountProcessHandles();
    const uint32_t timeout = 2;
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) {
        callers.emplace_back([&, i] {
            SCOPED_TRACE(testing::Message() << "caller " << i);
            Connection connection = MakeConnection(timeout);
            Clock::time_point start = Clock::now();
            EXPECT_EQ(0, TcpConnectAddress(connection.get(), kLoopback, listener.port));
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            EXPECT_GE(seconds, timeout - 0.5);
            EXPECT_LE(seconds, timeout + 1.5);
            ExpectConnectFailed(*connection);
        });
    }
    for (std::thread& caller : callers)
        caller.join();
    // Wine may list a thread it used for aborted connects a moment longer; a watchdog left
    // behind would stay.
    for (int i = 0; i < 20 && CountProcessThreads() != threads; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(threads, CountProcessThreads());
    EXPECT_TRUE(!kExactHandleCounts || handles == CountProcessHandles());
}

#ifndef _WIN32
void IgnoreSignal(int) {}

// Found by fuzzing: a signal that reaches a thread while its connect waits for room in
// a full queue must not fail the connect, as Windows calls are never interrupted.
TEST(ConnectWatchdog, ConnectWaitsThroughSignal) {
    FullListener listener;
    if (!listener.full)
        GTEST_SKIP() << "connects to a full listen queue do not hang on this system";
    struct sigaction quiet = {}, previous = {};
    quiet.sa_handler = IgnoreSignal; // no SA_RESTART: the signal interrupts the call
    ASSERT_EQ(0, sigaction(SIGUSR1, &quiet, &previous));
    Connection connection = MakeConnection(5);
    std::atomic<int> result{-1};
    std::thread connecting(
        [&] { result = TcpConnectAddress(connection.get(), kLoopback, listener.port); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool waiting = result.load() == -1;
    pthread_kill(connecting.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Room in the queue: the retried connect gets in.
    for (int i = 0; i < 40 && result.load() == -1; ++i) {
        if (FullListener::Ready(listener.listener, POLLRDNORM, 50))
            closesocket(accept(listener.listener, nullptr, nullptr));
    }
    connecting.join();
    sigaction(SIGUSR1, &previous, nullptr);
    if (!waiting)
        GTEST_SKIP() << "the connect did not wait for the full queue";
    EXPECT_EQ(1, result.load());
    EXPECT_EQ(1u, connection->connected);
}
#endif

// A refused connect leaves no socket; the hook sees each new socket and may refuse it. A
// send larger than the socket buffers waits for room until everything is gone.
TEST(TcpConnection, ExchangeWithLiteralAddressAndHostName) {
    const std::string request = "PUT\r\n\r\n" + std::string(8 * 1024 * 1024, 'b');
    WSADATA data; // started and cleaned up once more than the peers do: balanced
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    const uint16_t closed = ScriptedServer({}).Port();
    int32_t hook[3] = {0, -1, 1}; // calls, the last socket, the answer
    for (const char* host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        ScriptedServer server(
            {ScriptedServer::Reply("world", ScriptedEnd::Close, request.size() - 7)});
        Connection connection = MakeConnection();
        EXPECT_EQ(0, TcpConnectHost(connection.get(), host, closed));
        ExpectConnectFailed(*connection);
        TcpSetSocketHook(
            connection.get(),
            [](void* context, int32_t socket) {
                int32_t* seen = static_cast<int32_t*>(context);
                seen[1] = socket;
                return ++seen[0], static_cast<int>(seen[2] = !seen[2]);
            },
            hook);
        EXPECT_EQ(0, TcpConnectHost(connection.get(), host, server.Port()));
        EXPECT_TRUE(hook[1] >= 0 && connection->socket == -1);
        ASSERT_EQ(1, TcpConnectHost(connection.get(), host, server.Port()));
        EXPECT_TRUE(hook[1] == connection->socket && connection->connected == 1);
        EXPECT_EQ(1,
                  TcpSend(connection.get(), request.data(), static_cast<uint32_t>(request.size())));
        EXPECT_EQ(1, TcpSend(connection.get(), "", 0));
        std::string received; // by waiting receives until one fails
        char buffer[64];
        for (uint32_t length = sizeof buffer; TcpReceive(connection.get(), buffer, &length, 0, 1);
             length = sizeof buffer)
            received.append(buffer, length);
        EXPECT_EQ("world", received);
        // The peer closed: the connection is dropped but its socket stays until closed.
        EXPECT_EQ(0u, connection->connected + connection->last_error);
        EXPECT_NE(-1, connection->socket);
        EXPECT_EQ(std::vector<std::string>{request}, server.Requests());
        EXPECT_EQ(1, TcpClose(connection.get()));
        EXPECT_EQ(-1, connection->socket);
    }
    EXPECT_EQ(4, hook[0]);
    EXPECT_EQ(0, WSACleanup());
}

// Sending into a reset connection fails with the reset code; the process lives on.
TEST(TcpConnection, ResetPeerDrops) {
    ScriptedServer server({ScriptedServer::Reply("", ScriptedEnd::Reset)});
    Connection connection = MakeConnection(1);
    ASSERT_EQ(1, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
    ASSERT_EQ(1, TcpSend(connection.get(), "go\r\n\r\n", 6));
    char buffer[16];
    uint32_t length = sizeof buffer;
    EXPECT_EQ(0, TcpReceive(connection.get(), buffer, &length, 0, 1));
    EXPECT_EQ(0u, connection->connected);
    connection->connected = 1;
    int sent = 1;
    for (int i = 0; i < 20 && sent; ++i)
        sent = TcpSend(connection.get(), "more", 4);
    EXPECT_EQ(0, sent);
    EXPECT_EQ(static_cast<uint32_t>(WSAECONNRESET), connection->last_error);
    EXPECT_EQ(0u, connection->connected);
}

// Receives take queued bytes at once and wait only when none are there, as if each waited
// first; a failed receive drops the connection, which then never waits again.
TEST(TcpConnection, ReceiveWithAndWithoutWaiting) {
    const struct {
        const char* name;
        uint32_t timeout;
        int wait, delayMs, settleMs, result; // delayMs: before the peer sends "late"
        uint32_t lastError;
        const char* text;
    } cases[] = {
        {"waits for late bytes", 5, 1, 300, 0, 1, 0, "late"},
        {"takes queued bytes", 1, 1, 0, 200, 1, 0, "late"},
        {"without wait blocks until bytes come", 1, 0, 1500, 0, 1, 0, "late"},
        {"no time to wait times out with bytes queued", 0, 1, 0, 200, 0, TCP_ERR_TIMEOUT, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({{{{"late", 0, 0, c.delayMs, false}}, ScriptedEnd::Silent}});
        Connection connection = MakeConnection(c.timeout);
        ASSERT_EQ(1, TcpConnectHost(connection.get(), "127.0.0.1", server.Port()));
        std::this_thread::sleep_for(std::chrono::milliseconds(c.settleMs));
        char buffer[16] = {};
        uint32_t length = sizeof buffer;
        EXPECT_EQ(c.result, TcpReceive(connection.get(), buffer, &length, 0, c.wait));
        EXPECT_EQ(std::string(c.text), std::string(buffer, length));
        EXPECT_EQ(c.lastError, connection->last_error);
        EXPECT_EQ(static_cast<uint32_t>(c.result), connection->connected);
        length = sizeof buffer;
        if (c.result == 0) {
            EXPECT_EQ(0, TcpReceive(connection.get(), buffer, &length, 0, 1));
            EXPECT_EQ(0u, length + connection->last_error);
        }
    }
}

} // namespace

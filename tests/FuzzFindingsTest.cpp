// Faults that the fuzz harnesses of fuzz/ found, each pinned by the smallest case that
// showed it.
#include "attrlist/MifList.h"
#include "http/HttpClient.h"
#include "http/TcpConnection.h"
#include "support/HttpClientHandle.h"
#include "support/ScriptedServer.h"

#include "compat/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wire(const MifList& list) {
    return Bytes(list.GetData(), list.GetData() + list.GetSize());
}

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

// A list finalized with one stray byte behind its end marker: the setters must append
// behind the records, not behind half of the marker, and a caller's bytes stay as they are.
TEST(FuzzFindings, StrayByteBehindEndMarker) {
    MifList list;
    ASSERT_EQ(1, list.AddInt(1, 5u));
    ASSERT_EQ(1, list.Finalize());
    ASSERT_EQ(1, list.AppendByte(0));
    ASSERT_EQ(1, list.IsFinalized());
    EXPECT_EQ(0, list.SetInt(2, 7u, 1));
    EXPECT_EQ((Bytes{1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 4, 0, 7, 0, 0, 0, 0xFF, 0xFF}), Wire(list));
    EXPECT_EQ(7u, list.GetInt(2));

    Bytes flat{1, 0, 2, 0, 1, 2, 0xFF, 0xFF, 0};
    const Bytes original = flat;
    EXPECT_EQ(0, MifFlatSetInt(flat.data(), static_cast<uint32_t>(flat.size()), 3, 7u, 1));
    EXPECT_EQ(original, flat);
}

// A value taken from the list's own buffer while the add has to grow that buffer: the
// bytes are read from where the growth moved them.
TEST(FuzzFindings, ValueFromOwnBufferWhileGrowing) {
    // Each add below needs more room than is left, so each one moves the buffer.
    MifList list;
    ASSERT_EQ(1, list.Reset(12));
    ASSERT_EQ(1, list.AddStr(1, "abcdefgh"));
    const uint32_t size = list.GetSize();
    ASSERT_EQ(list.GetCapacity(), size);
    const Bytes all = Wire(list);
    ASSERT_EQ(1, list.AddBin(2, list.GetData(), size));
    Bytes expected = all;
    expected.insert(expected.end(), {2, 0, static_cast<uint8_t>(size), 0});
    expected.insert(expected.end(), all.begin(), all.end());
    EXPECT_EQ(expected, Wire(list));

    MifList filler;
    const std::vector<char> big(3000, 'x');
    ASSERT_EQ(1, filler.AddBin(3, big.data(), static_cast<uint32_t>(big.size())));
    const Bytes before = Wire(filler);
    ASSERT_EQ(1, filler.AppendBytes(filler.GetData(), filler.GetSize()));
    Bytes doubled = before;
    doubled.insert(doubled.end(), before.begin(), before.end());
    EXPECT_EQ(doubled, Wire(filler));
}

// A setter appending to a finalized list in a caller's buffer that has room for the new
// record but not for the end marker behind it: the list stays as it was, finalized.
TEST(FuzzFindings, SetterKeepsMarkerInFullCallerBuffer) {
    struct Case {
        uint32_t capacity;
        int result;
        Bytes wire;
    };
    const Case cases[] = {
        {16, 0, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF}},
        {17, 0, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF}},
        {18, 1, {1, 0, 4, 0, 5, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        Bytes buffer(cases[i].capacity, 0xA5);
        MifList list;
        ASSERT_EQ(1, list.Attach(buffer.data(), cases[i].capacity, 0));
        ASSERT_EQ(1, list.AddInt(1, 5u));
        ASSERT_EQ(1, list.AddBin(2, nullptr, 0));
        ASSERT_EQ(1, list.Finalize());
        // Occurrence 2 of tag 3 is missing, so the value is appended as a new record.
        list.SetStr(3, "", 2);
        EXPECT_EQ(cases[i].wire, Wire(list));
        EXPECT_EQ(1, list.IsFinalized());
        EXPECT_EQ(cases[i].result, list.Exists(3));
    }
}

#ifndef _WIN32
struct ConnectionDeleter {
    void operator()(TcpConnection* connection) const {
        TcpConnectionDestroy(connection);
        free(connection);
    }
};
using Connection = std::unique_ptr<TcpConnection, ConnectionDeleter>;

Connection MakeConnection(uint32_t timeout) {
    TcpConnection* connection = static_cast<TcpConnection*>(malloc(sizeof(TcpConnection)));
    TcpConnectionInit(connection);
    connection->timeout = timeout;
    return Connection(connection);
}

void IgnoreSignal(int) {}

// A signal that reaches a thread while its connect waits for the peer (here: for room in
// a full accept queue) must not fail the connect: Windows calls are never interrupted.
TEST(FuzzFindings, ConnectWaitsThroughSignal) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(INVALID_SOCKET, listener);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    ASSERT_EQ(0, listen(listener, 0));
    ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
    const uint16_t port = ntohs(address.sin_port);
    KivIpAddr loopback;
    ASSERT_EQ(1, loopback.Parse("127.0.0.1"));

    // Fill the queue until a connect hangs (the watchdog then aborts it after 1 s).
    std::vector<Connection> queued;
    bool full = false;
    for (int i = 0; i < 8 && !full; ++i) {
        Connection filler = MakeConnection(1);
        if (TcpConnectAddress(filler.get(), loopback, port))
            queued.push_back(std::move(filler));
        else
            full = true;
    }

    struct sigaction quiet = {};
    quiet.sa_handler = IgnoreSignal; // no SA_RESTART: the signal interrupts the call
    struct sigaction previous = {};
    ASSERT_EQ(0, sigaction(SIGUSR1, &quiet, &previous));
    Connection connection = MakeConnection(5);
    std::atomic<int> result{-1};
    std::thread connecting([&] { result = TcpConnectAddress(connection.get(), loopback, port); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool waiting = result.load() == -1;
    pthread_kill(connecting.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Room in the queue: the retried connect gets in.
    SOCKET accepted = accept(listener, nullptr, nullptr);
    connecting.join();
    sigaction(SIGUSR1, &previous, nullptr);
    if (accepted != INVALID_SOCKET)
        closesocket(accepted);
    closesocket(listener);
    if (!full || !waiting)
        GTEST_SKIP() << "the connect did not wait for the full queue";
    EXPECT_EQ(1, result.load());
    EXPECT_EQ(1u, connection->connected);
}
#endif

} // namespace

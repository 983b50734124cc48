// Connecting: Windows Sockets start-up, name resolution, and the connect bounded by a
// watchdog thread.
#include "http/TcpConnection.h"

#include "http/TcpSocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// Length of the socket address passed to connect.
constexpr int kSockaddrV4Length = 16;
constexpr int kSockaddrV6Length = 28;
// The watchdog counts the time-out in steps of this length.
constexpr uint32_t kWatchdogStepMs = 100;
// The watchdog only waits and closes a socket: a small stack makes its start cheaper
// than one of the default size would.
constexpr SIZE_T kWatchdogStackSize = 64 * 1024;

std::atomic<int> g_socketsStarted{0};

// What the connecting thread and its watchdog share for one connect attempt. The
// connection's connecting, watchdog_done, socket and connected fields are only touched
// under `lock` while the watchdog runs; `wake` lets the connecting thread end the
// watchdog's current step at once when the connect returns. The connecting thread
// learns that the watchdog is done by waiting for its thread to end, which costs one
// hand-over fewer than a second wake would.
struct ConnectAttempt {
    TcpConnection* connection;
    std::mutex lock;
    std::condition_variable wake;
    std::atomic<bool> returned{false}; // the connect call has returned
};

// A connect on a near network returns within tens of microseconds. For that long the
// watchdog and the connecting thread look at each other's progress without sleeping:
// putting a thread to sleep and waking it on another core costs more than the connect.
constexpr auto kSpinTime = std::chrono::microseconds(200);

template <typename Done>
bool SpinUntil(Done done) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > kSpinTime)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Aborts the connect when it has not returned within the time-out: shutting down and
// closing the socket makes the blocked connect fail.
DWORD WINAPI TcpConnectWatchdog(LPVOID parameter) {
    ConnectAttempt* attempt = static_cast<ConnectAttempt*>(parameter);
    TcpConnection* connection = attempt->connection;
    SpinUntil([attempt] { return attempt->returned.load(std::memory_order_acquire); });
    std::unique_lock<std::mutex> hold(attempt->lock);
    uint64_t limit = static_cast<uint64_t>(connection->timeout) * 1000;
    uint64_t elapsed = 0;
    bool finished = connection->connecting != 1;
    while (!finished) {
        finished = attempt->wake.wait_for(hold, std::chrono::milliseconds(kWatchdogStepMs),
                                          [connection] { return connection->connecting != 1; });
        if (finished)
            break;
        elapsed += kWatchdogStepMs;
        if (elapsed >= limit) {
            TcpClose(connection); // makes the blocked connect return with an error
            break;
        }
    }
    connection->watchdog_done = 1;
    return 0;
}

void CloseWithoutShutdown(TcpConnection* connection) {
    if (connection->socket != -1) {
        closesocket(TcpSocketHandle(connection->socket));
        connection->socket = -1;
    }
    connection->connected = 0;
}

// Runs the blocking connect with the watchdog beside it. Returns 1 when the socket is
// connected and still open.
int ConnectWithWatchdog(TcpConnection* connection, const void* address, int addressLength) {
    ConnectAttempt attempt;
    attempt.connection = connection;
    SOCKET socket = TcpSocketHandle(connection->socket);

    connection->connecting = 1;
    connection->watchdog_done = 0;
    HANDLE watchdog = CreateThread(nullptr, kWatchdogStackSize, TcpConnectWatchdog, &attempt,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (watchdog == nullptr) {
        // Without a watchdog nothing would bound the connect, and nothing would ever set
        // watchdog_done: the attempt fails before connecting.
        connection->connecting = 0;
        connection->watchdog_done = 1;
        return 0;
    }

    int result = connect(socket, static_cast<const sockaddr*>(address), addressLength);

    attempt.returned.store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> hold(attempt.lock);
        connection->connecting = 0;
    }
    attempt.wake.notify_one();
    // The watchdog ends at once now; it is gone before the attempt's state goes out of
    // scope and before the connect returns.
    if (!SpinUntil([watchdog] { return WaitForSingleObject(watchdog, 0) == WAIT_OBJECT_0; }))
        WaitForSingleObject(watchdog, INFINITE);
    CloseHandle(watchdog);
    // The watchdog may have closed the socket just as the connect succeeded.
    return result == 0 && connection->socket != -1 ? 1 : 0;
}

} // namespace

void NetStartup() {
    if (g_socketsStarted.load())
        return;
    WSADATA data;
    // WSAStartup counts its callers, so two threads starting at once do no harm.
    if (WSAStartup(MAKEWORD(2, 0), &data) == 0)
        g_socketsStarted.store(1);
}

int TcpConnectAddress(TcpConnection* connection, const KivIpAddr& address, uint32_t port) {
    connection->peer = address;
    connection->port = port;
    CloseWithoutShutdown(connection);

    SOCKET socket = ::socket(address.Family(), SOCK_STREAM, 0);
    int32_t field = TcpSocketField(socket);
    if (socket == INVALID_SOCKET || field < 0)
        return 0;
    connection->socket = field;

    // Linger on with time 0: closing resets the connection at once.
    linger option = {};
    option.l_onoff = 1;
    option.l_linger = 0;
    if (setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                   sizeof(option)) != 0) {
        CloseWithoutShutdown(connection);
        return 0;
    }
    if (connection->socket_hook != nullptr &&
        connection->socket_hook(connection->socket_hook_context, field) == 0) {
        CloseWithoutShutdown(connection);
        return 0;
    }

    union {
        sockaddr_in v4;
        sockaddr_in6 v6;
        unsigned char bytes[kSockaddrV6Length];
    } target;
    static_assert(sizeof(target) >= kSockaddrV6Length, "socket address buffer too small");
    int built = address.ToSockaddr(&target, kSockaddrV6Length, static_cast<uint16_t>(port));
    int length = address.Length() == KivIpAddr::kV4Length ? kSockaddrV4Length : kSockaddrV6Length;

    // Once connected the socket does not block: a receive takes what is queued without
    // a wait first (TcpReceive), and waits only when there is nothing. A socket that
    // cannot be switched would block those receives, so it fails the attempt.
    u_long nonBlocking = 1;
    if (built && ConnectWithWatchdog(connection, &target, length) &&
        ioctlsocket(socket, FIONBIO, &nonBlocking) == 0) {
        connection->connected = 1;
        return 1;
    }
    CloseWithoutShutdown(connection);
    connection->last_error = TCP_ERR_CONNECT;
    return 0;
}

int TcpConnectHost(TcpConnection* connection, const char* host, uint32_t port) {
    if (host == nullptr)
        return 0;
    KivIpAddr address;
    if (address.Parse(host) == 1)
        return TcpConnectAddress(connection, address, port);

    addrinfo* results = nullptr;
    if (getaddrinfo(host, nullptr, nullptr, &results) != 0)
        return 0;
    int connected = 0;
    // One address per family: the first IPv4 entry, then the first IPv6 entry.
    for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr &&
            entry->ai_addrlen >= sizeof(sockaddr_in)) {
            const sockaddr_in* v4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            if (address.SetBytes(&v4->sin_addr, KivIpAddr::kV4Length) == 1)
                connected = TcpConnectAddress(connection, address, port);
            break;
        }
    }
    if (!connected) {
        for (const addrinfo* entry = results; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET6 && entry->ai_addr != nullptr &&
                entry->ai_addrlen >= sizeof(sockaddr_in6)) {
                const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
                if (address.SetBytes(&v6->sin6_addr, KivIpAddr::kV6Length) == 1)
                    connected = TcpConnectAddress(connection, address, port);
                break;
            }
        }
    }
    freeaddrinfo(results);
    return connected;
}

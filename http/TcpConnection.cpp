#include "http/TcpConnection.h"

#include "http/TcpSocket.h"

#include <climits>
#include <new>

namespace {

// Largest piece handed to one send or recv call, whose length is an int.
constexpr uint32_t kMaxPiece = INT_MAX;

// One wait for `events` on the socket, without a limit when `milliseconds` is -1; true
// when the socket is ready.
bool WaitFor(SOCKET socket, short events, int milliseconds) {
    WSAPOLLFD entry = {};
    entry.fd = socket;
    entry.events = events;
    return WSAPoll(&entry, 1, milliseconds) > 0;
}

// One receive on the non-blocking socket. False when it would have had to wait; else
// true with recv's result in *count.
bool TryReceive(SOCKET socket, char* buffer, int length, int flags, int* count) {
    *count = recv(socket, buffer, length, flags);
    return *count >= 0 || WSAGetLastError() != WSAEWOULDBLOCK;
}

} // namespace

void TcpConnectionInit(TcpConnection* connection) {
    new (connection) TcpConnection();
    NetStartup();
}

void TcpConnectionDestroy(TcpConnection* connection) {
    if (connection == nullptr)
        return;
    TcpClose(connection);
    connection->~TcpConnection();
}

int TcpClose(TcpConnection* connection) {
    if (connection->socket != -1) {
        SOCKET socket = TcpSocketHandle(connection->socket);
        shutdown(socket, SD_BOTH);
        closesocket(socket);
        connection->socket = -1;
        connection->connected = 0;
    }
    return 1;
}

int TcpSend(TcpConnection* connection, const void* bytes, uint32_t length) {
    if (connection->socket == -1)
        return 0;
    SOCKET socket = TcpSocketHandle(connection->socket);
    const char* position = static_cast<const char*>(bytes);
    while (length > 0) {
        int piece = static_cast<int>(length < kMaxPiece ? length : kMaxPiece);
        int sent = send(socket, position, piece, 0);
        // The socket does not block (see TcpConnectAddress): a full send buffer is waited
        // out without a limit, as a blocking send would.
        if (sent < 0 && WSAGetLastError() == WSAEWOULDBLOCK && WaitFor(socket, POLLWRNORM, -1))
            continue;
        // A send that moves nothing would repeat forever; it counts as a failure.
        if (sent <= 0) {
            connection->last_error = static_cast<uint32_t>(WSAGetLastError());
            if (connection->last_error == WSAECONNRESET)
                connection->connected = 0;
            return 0;
        }
        position += sent;
        length -= static_cast<uint32_t>(sent);
    }
    return 1;
}

int TcpWaitReadable(TcpConnection* connection, uint32_t seconds) {
    if (connection->socket == -1)
        return 0;
    // WSAPoll rather than select: select's descriptor sets cannot hold the high
    // descriptor numbers a busy host process hands out.
    WSAPOLLFD entry = {};
    entry.fd = TcpSocketHandle(connection->socket);
    entry.events = POLLRDNORM;
    int milliseconds = seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
    return WSAPoll(&entry, 1, milliseconds) > 0 ? 1 : 0;
}

int TcpReceive(TcpConnection* connection, void* buffer, uint32_t* length, int flags, int wait) {
    uint32_t wanted = *length;
    *length = 0;
    if (connection->socket == -1)
        return 0;
    connection->last_error = 0;
    SOCKET socket = TcpSocketHandle(connection->socket);
    char* bytes = static_cast<char*>(buffer);
    int piece = static_cast<int>(wanted < kMaxPiece ? wanted : kMaxPiece);

    int count = 0;
    if (wait) {
        // Bytes already queued are taken without a wait; only a receive that would block
        // waits, in 1-second steps, so a silent peer still times out after `timeout`
        // steps. Without steps the receive always times out, as the waits would.
        bool received = false;
        if (connection->connected && connection->timeout > 0)
            received = TryReceive(socket, bytes, piece, flags, &count);
        for (uint32_t step = 0; !received && step < connection->timeout; ++step) {
            if (!connection->connected)
                return 0;
            WSAPOLLFD entry = {};
            entry.fd = socket;
            entry.events = POLLRDNORM;
            int polled = WSAPoll(&entry, 1, 1000);
            if (polled < 0)
                return 0;
            // A readiness that no receive confirms still uses up its step, so that the
            // time-out stays bounded.
            if (polled > 0)
                received = TryReceive(socket, bytes, piece, flags, &count);
        }
        if (!received) {
            if (!connection->connected)
                return 0;
            connection->last_error = TCP_ERR_TIMEOUT;
            count = 0;
        }
    } else {
        // A receive without the time-out blocks until something arrives.
        while (!TryReceive(socket, bytes, piece, flags, &count))
            if (!WaitFor(socket, POLLRDNORM, -1))
                break;
    }

    if (count == 0) {
        connection->connected = 0;
        return 0;
    }
    if (count < 0) {
        int error = WSAGetLastError();
        if (error == WSAECONNRESET || error == WSAECONNABORTED)
            connection->connected = 0;
        return 0;
    }
    *length = static_cast<uint32_t>(count);
    return 1;
}

void TcpSetSocketHook(TcpConnection* connection, TcpSocketHookFn hook, void* context) {
    connection->socket_hook = hook;
    connection->socket_hook_context = context;
}

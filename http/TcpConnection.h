// TcpConnection: one TCP connection to a server or proxy, with a time-out in whole
// seconds that bounds the connect (through a watchdog thread) and each waiting receive.
//
// Lifecycle: the owner takes raw memory for the record (malloc), constructs it with
// TcpConnectionInit, and after TcpConnectionDestroy gives the memory back (free). The
// record is reused across connects: each TcpConnectAddress closes a socket left open and
// makes a new one. Owners test `connected` to decide whether to reconnect.
//
// A connection is used by one thread at a time. The only other thread is the connect
// watchdog, which exists only while TcpConnectAddress runs.
#pragma once

#include "net/KivIpAddr.h"

#include <cstdint>

// last_error after a failed connect.
constexpr uint32_t TCP_ERR_CONNECT = 1;
// last_error after a waiting receive saw nothing for `timeout` seconds.
constexpr uint32_t TCP_ERR_TIMEOUT = 3;

// Called with each newly created socket before it connects (e.g. to set socket options);
// a result of 0 refuses the socket and fails the connect.
typedef int (*TcpSocketHookFn)(void* context, int32_t socket);

struct TcpConnection {
    uint32_t timeout = 15;   // seconds; bounds the connect and each waiting receive
    uint32_t connected = 0;  // 1 after a connect; 0 after close, peer close, reset
                             // or abort, and after a receive time-out
    KivIpAddr peer;          // address last connected to
    uint32_t port = 0;       // port last connected to (low 16 bits used)
    uint32_t last_error = 0; // see TCP_ERR_*, or the socket error of a failed send
    TcpSocketHookFn socket_hook = nullptr;
    void* socket_hook_context = nullptr;
    int32_t socket = -1;       // -1 when there is none
    uint32_t connecting = 0;   // 1 while a connect call is in progress
    uint8_t watchdog_done = 0; // set by the watchdog when it ends
};

// Starts Windows Sockets once per process (version 2.0). A failed start is tried again
// by the next call; until one succeeds, socket creation fails and so do the connects.
void NetStartup();

// Constructs the record in raw memory: peer invalid, no socket, not connected,
// last_error 0, no hook, timeout 15. Starts Windows Sockets when needed.
void TcpConnectionInit(TcpConnection* connection);
// Closes an open socket (shutdown both ways first) and destructs the record; the caller
// frees the memory.
void TcpConnectionDestroy(TcpConnection* connection);

// Connects to `address`:`port` (low 16 bits); the connected socket is non-blocking, and
// TcpSend and TcpReceive do the waiting. A watchdog thread aborts the connect when
// it has not finished after `timeout` seconds (counted in 100 ms steps); it is woken as
// soon as the connect returns and has ended before this function returns. Returns 1
// connected, 0 failed (last_error is TCP_ERR_CONNECT when the connect itself failed or
// timed out). When no watchdog thread can be started the attempt fails the same way
// without connecting, since nothing would bound it.
int TcpConnectAddress(TcpConnection* connection, const KivIpAddr& address, uint32_t port);
// Connects to a literal IPv4/IPv6 address, or resolves `host` and tries its first IPv4
// address, then its first IPv6 address. Returns 1 connected, 0 failed.
int TcpConnectHost(TcpConnection* connection, const char* host, uint32_t port);
// Shuts down and closes an open socket; always returns 1.
int TcpClose(TcpConnection* connection);

// Sends all `length` bytes, waiting without a limit while the socket buffers are full.
// Returns 1 when all were sent (also for length 0), 0 without a socket or when a send
// failed; the socket error is then in last_error, and a reset (10054) also clears
// connected.
int TcpSend(TcpConnection* connection, const void* bytes, uint32_t length);
// Receives once, at most *length bytes, and stores the count in *length (0 on failure).
// With `wait` set, bytes already queued are taken at once; otherwise it waits up to
// `timeout` seconds, in 1-second steps, for data (with a timeout of 0 it always times
// out). Without `wait` it blocks until something arrives, as a blocking receive would.
// Returns 1 when bytes arrived; 0 without a socket, when the connection was dropped
// before or while waiting, on a wait error, on a time-out (last_error TCP_ERR_TIMEOUT,
// connected 0), when the peer closed (connected 0) or on a socket error (connected 0 for
// a reset or an abort).
int TcpReceive(TcpConnection* connection, void* buffer, uint32_t* length, int flags, int wait);
// 1 when one wait of `seconds` whole seconds reports the socket readable; 0 otherwise or
// when there is no socket.
int TcpWaitReadable(TcpConnection* connection, uint32_t seconds);
// Stores the hook called on each new socket, and its first argument.
void TcpSetSocketHook(TcpConnection* connection, TcpSocketHookFn hook, void* context);

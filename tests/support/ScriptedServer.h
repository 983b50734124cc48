// ScriptedServer: a loopback TCP server for tests that plays a script per accepted
// connection and records the exact request bytes it received.
//
// Each connection runs its exchanges in order: read one request (up to and including
// the blank line, plus `body_bytes` more), record it, then send `reply`, optionally in
// pieces with pauses. After the last exchange the connection is closed, reset (linger
// 0, so the peer sees a reset), or held silently open until the peer closes or the
// server stops. Connections beyond the script are accepted and closed at once.
//
// The server listens on 127.0.0.1 on a free port when constructed and serves on its own
// thread; the destructor stops it. It builds with Winsock and with compat/.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptedExchange {
    std::string reply;        // bytes sent once the request was read
    size_t body_bytes = 0;    // request body bytes read after the blank line
    size_t piece = 0;         // send the reply in pieces of this many bytes (0: at once)
    int delay_ms = 0;         // pause before each piece
    bool read_request = true; // false: send the reply without reading anything first
};

enum class ScriptedEnd { Close, Reset, Silent };

struct ScriptedConnection {
    std::vector<ScriptedExchange> exchanges;
    ScriptedEnd end = ScriptedEnd::Close;
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<ScriptedConnection> script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // One connection with one exchange.
    static ScriptedConnection Reply(std::string reply, ScriptedEnd end = ScriptedEnd::Close,
                                    size_t bodyBytes = 0);

    bool Listening() const { return listener_ != kNoSocket; }
    uint16_t Port() const { return port_; }
    // Requests in the order they were received, over all connections.
    std::vector<std::string> Requests() const;
    // Connections accepted so far, the unscripted ones included.
    int Connections() const { return accepted_.load(); }
    // Ends the serving thread; held connections are closed.
    void Stop();

private:
    static constexpr intptr_t kNoSocket = -1;

    void Serve();
    void Play(intptr_t socket, const ScriptedConnection& connection);
    bool ReadRequest(intptr_t socket, std::string* pending, size_t bodyBytes);
    bool SendAll(intptr_t socket, const char* bytes, size_t count);
    // Waits up to 50 ms for the socket; 1 ready, 0 not yet, -1 error.
    static int WaitFor(intptr_t socket, short events);

    std::vector<ScriptedConnection> script_;
    intptr_t listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

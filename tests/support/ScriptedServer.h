// The loopback peer of the tests and fuzz harnesses, on a free 127.0.0.1 port until Stop().
// Each accepted connection, one at a time, plays the next ScriptedConnection, then closes,
// resets or holds the connection; connections beyond the script are closed at once. With
// `repeat` the script starts over instead and nothing is recorded, so that the server's
// own memory stays constant.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptedExchange {
    std::string reply;        // sent once the request (to its blank line) was read
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
    explicit ScriptedServer(std::vector<ScriptedConnection> script, bool repeat = false);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    static ScriptedConnection Reply(std::string reply, ScriptedEnd end = ScriptedEnd::Close,
                                    size_t bodyBytes = 0);

    uint16_t Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }
    std::vector<std::string> Requests() const; // as received, over all connections
    int Connections() const { return accepted_.load(); }
    // Waits up to `seconds` until `count` connections had their socket closed.
    bool WaitForClosed(int count, int seconds) const;
    void Stop(); // ends the thread and closes every connection

private:
    void Serve();
    void Play(intptr_t socket, const ScriptedConnection& connection);
    bool ReadRequest(intptr_t socket, std::string* pending, size_t bodyBytes);
    bool SendAll(intptr_t socket, const char* bytes, size_t count);

    const std::vector<ScriptedConnection> script_;
    const bool repeat_;
    // Large pieces: under Wine each poll and receive costs much, and a test sends 8 MiB.
    std::vector<char> received_ = std::vector<char>(64 * 1024);
    intptr_t listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0}, closed_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_; // under lock_
    std::thread thread_;
};

// The loopback peer of the tests and fuzz harnesses, on a free 127.0.0.1 port until Stop().
// With a script, each accepted connection plays the next ScriptedConnection, then closes,
// resets or holds the connection; connections beyond the script are closed at once. With
// responses by path (a proxy's absolute URL counts by its path; others get a 404), a fixed
// pool of workers records nothing, so the server's own threads and memory stay constant.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
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
    explicit ScriptedServer(std::vector<ScriptedConnection> script);
    ScriptedServer(std::map<std::string, std::string> responses, int workers);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // One connection with one exchange.
    static ScriptedConnection Reply(std::string reply, ScriptedEnd end = ScriptedEnd::Close,
                                    size_t bodyBytes = 0);

    uint16_t Port() const { return port_; }
    std::vector<std::string> Requests() const; // as received, over all connections
    int Connections() const { return accepted_.load(); }
    // Path mode: connections closed after a registered response went out in full;
    // WaitForClosed waits up to `seconds` until `count` connections were closed in all.
    int Served() const { return served_.load(); }
    bool WaitForClosed(int count, int seconds) const;
    void Stop(); // ends all threads and closes every connection

private:
    static constexpr intptr_t kNoSocket = -1;

    void Listen(int workers);
    void AcceptLoop();
    void WorkLoop();
    void Play(intptr_t socket, const ScriptedConnection& connection);
    bool ReadRequest(intptr_t socket, std::string* pending, size_t bodyBytes, bool record);
    bool SendAll(intptr_t socket, const char* bytes, size_t count);

    const std::vector<ScriptedConnection> script_;
    const std::map<std::string, std::string> responses_;
    const bool byPath_;
    size_t next_ = 0; // next scripted connection, under lock_
    intptr_t listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0}, served_{0}, closed_{0};
    mutable std::mutex lock_;
    std::condition_variable waiting_;
    std::deque<intptr_t> queue_; // accepted, not yet served; under lock_
    std::vector<std::string> requests_;
    std::vector<std::thread> threads_;
};

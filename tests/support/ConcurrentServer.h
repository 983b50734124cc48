// ConcurrentServer: a loopback HTTP server for load and soak tests that answers any
// number of clients at once.
//
// Each connection carries one request: the server reads it up to the blank line, sends
// the complete response registered for its path (a canned 404 for any other path) and
// closes the connection. A request through a proxy names an absolute URL; its path is
// the part after the host. Connections are accepted on one thread and served by a fixed
// pool of workers, so the server's own threads and handles stay constant however many
// requests it answers.
//
// It listens on 127.0.0.1 on a free port when constructed; the destructor stops it. It
// builds with Winsock and with compat/.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ConcurrentServer {
public:
    // `responses`: complete response bytes (status line to body) by request path, such
    // as "/update.ini".
    explicit ConcurrentServer(std::map<std::string, std::string> responses, int workers = 8);
    ~ConcurrentServer();
    ConcurrentServer(const ConcurrentServer&) = delete;
    ConcurrentServer& operator=(const ConcurrentServer&) = delete;

    bool Listening() const { return listener_ != kNoSocket; }
    uint16_t Port() const { return port_; }
    // Connections closed after a registered response was sent in full.
    int Served() const { return served_.load(); }
    // Connections closed after an incomplete or unreadable request, a failed send, or a
    // request for an unknown path.
    int Refused() const { return refused_.load(); }
    // Waits up to `seconds` until Served() + Refused() reaches `count`; true when it did.
    bool WaitForClosed(int count, int seconds) const;
    // Ends all threads; connections waiting to be served are closed.
    void Stop();

private:
    static constexpr intptr_t kNoSocket = -1;

    void AcceptLoop();
    void WorkLoop();
    // True when a registered response was sent in full.
    bool Answer(intptr_t socket);

    const std::map<std::string, std::string> responses_;
    intptr_t listener_ = kNoSocket;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> served_{0};
    std::atomic<int> refused_{0};
    std::mutex lock_;
    std::condition_variable waiting_;
    std::deque<intptr_t> accepted_; // under lock_
    std::vector<std::thread> threads_;
};

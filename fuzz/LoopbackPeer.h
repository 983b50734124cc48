// A scripted HTTP peer for the harnesses that make their own connections: it listens on
// 127.0.0.1 and, for each connection it accepts, reads the request up to its blank line,
// sends the next scripted answer (the last one again once the script is used up), closes
// its sending side and waits for the other side to close. It serves on its own thread
// until it is stopped, so that a caller may connect as often as it likes.
//
// One listening socket serves all inputs of a run; the thread is per input.
#pragma once

#include "fuzz/FuzzSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

class LoopbackPeer {
public:
    explicit LoopbackPeer(std::vector<std::string> answers) : answers_(std::move(answers)) {
        DropStaleConnections();
        thread_ = std::thread(&LoopbackPeer::Serve, this);
    }

    ~LoopbackPeer() { Stop(); }

    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    static uint16_t Port() { return Shared().port; }

    // Ends the serving thread (a connection being served is finished first).
    void Stop() {
        if (!thread_.joinable())
            return;
        char wake = 1;
        while (write(Shared().wake[1], &wake, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }

    // The requests received, one per connection; valid after Stop.
    const std::vector<std::string>& Requests() const { return requests_; }

private:
    // Waits longer than any answer takes; reached only if the other side hangs, which
    // libFuzzer's own time-out reports first.
    static constexpr int kWaitMs = 30000;

    struct Sockets {
        int listener = -1;
        int wake[2] = {-1, -1}; // Stop writes a byte into wake[1]
        uint16_t port = 0;
    };

    static const Sockets& Shared() {
        static const Sockets sockets = [] {
            Sockets made;
            made.listener = ::socket(AF_INET, SOCK_STREAM, 0);
            FUZZ_CHECK(made.listener >= 0);
            sockaddr_in address = {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            FUZZ_CHECK(bind(made.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
                       0);
            FUZZ_CHECK(listen(made.listener, 16) == 0);
            socklen_t length = sizeof address;
            FUZZ_CHECK(getsockname(made.listener, reinterpret_cast<sockaddr*>(&address), &length) ==
                       0);
            made.port = ntohs(address.sin_port);
            FUZZ_CHECK(pipe(made.wake) == 0);
            FUZZ_CHECK(fcntl(made.wake[0], F_SETFL, O_NONBLOCK) == 0);
            return made;
        }();
        return sockets;
    }

    // A connection that an earlier input left unanswered would take this input's first
    // answer: whatever waits in the queue now is closed unread.
    static void DropStaleConnections() {
        const int listener = Shared().listener;
        for (;;) {
            pollfd entry = {listener, POLLIN, 0};
            if (poll(&entry, 1, 0) <= 0)
                return;
            const int stale = accept(listener, nullptr, nullptr);
            if (stale < 0)
                return;
            close(stale);
        }
    }

    // libFuzzer's timer signal interrupts these calls now and then: they are repeated.
    static int Poll(pollfd* entries, nfds_t count) {
        int ready;
        do {
            ready = poll(entries, count, kWaitMs);
        } while (ready < 0 && errno == EINTR);
        return ready;
    }

    static bool Readable(int socket) {
        pollfd entry = {socket, POLLIN, 0};
        return Poll(&entry, 1) > 0;
    }

    static ssize_t Receive(int socket, char* buffer, size_t size) {
        ssize_t n;
        do {
            n = recv(socket, buffer, size, 0);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    void Serve() {
        const Sockets& shared = Shared();
        for (;;) {
            pollfd entries[2] = {{shared.listener, POLLIN, 0}, {shared.wake[0], POLLIN, 0}};
            if (Poll(entries, 2) <= 0 || (entries[1].revents & POLLIN) != 0)
                break;
            int socket;
            do {
                socket = accept(shared.listener, nullptr, nullptr);
            } while (socket < 0 && errno == EINTR);
            if (socket < 0)
                break;
            const size_t index = requests_.size();
            requests_.emplace_back();
            Answer(socket, &requests_.back(),
                   answers_.empty()
                       ? std::string()
                       : answers_[index < answers_.size() ? index : answers_.size() - 1]);
            close(socket);
        }
        char drained[16];
        while (read(shared.wake[0], drained, sizeof drained) > 0) {
        }
    }

    static void Answer(int socket, std::string* request, const std::string& answer) {
        char piece[4096];
        while (request->find("\r\n\r\n") == std::string::npos && Readable(socket)) {
            ssize_t n = Receive(socket, piece, sizeof piece);
            if (n <= 0)
                break;
            request->append(piece, static_cast<size_t>(n));
        }
        size_t sent = 0;
        while (sent < answer.size()) {
            ssize_t n = send(socket, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        shutdown(socket, SHUT_WR);
        while (Readable(socket) && Receive(socket, piece, sizeof piece) > 0) {
        }
    }

    std::vector<std::string> answers_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

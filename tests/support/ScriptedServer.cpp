#include "support/ScriptedServer.h"

#include "compat/win32.h"

#include <algorithm>
#include <chrono>

namespace {

// A test never waits forever on a client that sent less than the script expects.
constexpr auto kRequestDeadline = std::chrono::seconds(10);

SOCKET AsSocket(intptr_t socket) {
    return static_cast<SOCKET>(socket);
}

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Waits up to 50 ms for the socket; 1 ready, 0 not yet, -1 error.
int WaitFor(intptr_t socket, short events) {
    WSAPOLLFD entry = {};
    entry.fd = AsSocket(socket);
    entry.events = events;
    int result = WSAPoll(&entry, 1, 50);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

} // namespace

ScriptedServer::ScriptedServer(std::vector<ScriptedConnection> script, bool repeat)
    : script_(std::move(script)), repeat_(repeat) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof(address);
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if (bind(listener, any, length) != 0 || listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, any, &length) != 0) {
        closesocket(listener);
        return;
    }
    listener_ = static_cast<intptr_t>(listener);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&ScriptedServer::Serve, this);
}

ScriptedServer::~ScriptedServer() {
    Stop();
    if (listener_ != -1)
        closesocket(AsSocket(listener_));
}

ScriptedConnection ScriptedServer::Reply(std::string reply, ScriptedEnd end, size_t bodyBytes) {
    return {{{std::move(reply), bodyBytes}}, end};
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void ScriptedServer::Stop() {
    stop_ = true;
    // Its own connection wakes the waiting accept at once (fuzz harnesses stop a server per input).
    SOCKET wake = thread_.joinable() ? socket(AF_INET, SOCK_STREAM, 0) : INVALID_SOCKET;
    if (wake != INVALID_SOCKET) {
        sockaddr_in address = LoopbackAddress(port_);
        connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }
    if (thread_.joinable())
        thread_.join();
    if (wake != INVALID_SOCKET)
        closesocket(wake);
}

bool ScriptedServer::WaitForClosed(int count, int seconds) const {
    for (int waited = 0; closed_.load() < count; waited += 5) {
        if (waited > seconds * 1000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ScriptedServer::Serve() {
    for (size_t next = 0; !stop_;) {
        SOCKET accepted = WaitFor(listener_, POLLRDNORM) > 0
                              ? accept(AsSocket(listener_), nullptr, nullptr)
                              : INVALID_SOCKET;
        if (accepted == INVALID_SOCKET)
            continue;
        if (stop_) {
            closesocket(accepted);
            return;
        }
        ++accepted_;
        if (next < script_.size()) {
            Play(static_cast<intptr_t>(accepted), script_[next]);
            next = repeat_ ? (next + 1) % script_.size() : next + 1;
        } else {
            closesocket(accepted);
        }
        ++closed_; // once the socket is gone: a caller who sees the count sees no socket left
    }
}

void ScriptedServer::Play(intptr_t socket, const ScriptedConnection& connection) {
    std::string pending;
    bool alive = true;
    for (const ScriptedExchange& exchange : connection.exchanges) {
        if (exchange.read_request && !ReadRequest(socket, &pending, exchange.body_bytes))
            alive = false;
        const std::string& reply = exchange.reply;
        size_t piece = exchange.piece == 0 ? reply.size() : exchange.piece;
        for (size_t at = 0; at < reply.size() && alive; at += piece) {
            if (exchange.delay_ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(exchange.delay_ms));
            alive = SendAll(socket, reply.data() + at, std::min(piece, reply.size() - at));
        }
        if (!alive)
            break;
    }
    // Silent: hold the connection, discarding what arrives, until the peer closes it.
    char scratch[4096];
    for (int ready = 0; alive && connection.end == ScriptedEnd::Silent && !stop_ && ready >= 0;) {
        ready = WaitFor(socket, POLLRDNORM);
        if (ready > 0 && recv(AsSocket(socket), scratch, sizeof(scratch), 0) <= 0)
            break;
    }
    if (connection.end == ScriptedEnd::Reset) {
        linger option = {};
        option.l_onoff = 1; // and a zero time: the peer sees a reset
        setsockopt(AsSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                   sizeof(option));
    }
    closesocket(AsSocket(socket));
}

// Reads up to the blank line plus `bodyBytes` into *pending; the request goes on record
// (unless repeating), as far as it came when it ends early.
bool ScriptedServer::ReadRequest(intptr_t socket, std::string* pending, size_t bodyBytes) {
    auto deadline = std::chrono::steady_clock::now() + kRequestDeadline;
    for (;;) {
        size_t blank = pending->find("\r\n\r\n");
        bool whole = blank != std::string::npos && pending->size() >= blank + 4 + bodyBytes;
        int ready = whole || stop_ || std::chrono::steady_clock::now() > deadline
                        ? -1
                        : WaitFor(socket, POLLRDNORM);
        char* bytes = received_.data();
        int count = ready > 0 ? recv(AsSocket(socket), bytes, received_.size(), 0) : 0;
        if (ready < 0 || (ready > 0 && count <= 0)) {
            size_t length = whole ? blank + 4 + bodyBytes : pending->size();
            if (!repeat_ && length > 0) {
                std::lock_guard<std::mutex> hold(lock_);
                requests_.push_back(pending->substr(0, length));
            }
            pending->erase(0, whole ? length : 0);
            return whole;
        }
        pending->append(bytes, static_cast<size_t>(count));
    }
}

bool ScriptedServer::SendAll(intptr_t socket, const char* bytes, size_t count) {
    while (count > 0) {
        int ready = stop_ ? -1 : WaitFor(socket, POLLWRNORM);
        int sent = ready > 0 ? send(AsSocket(socket), bytes,
                                    static_cast<int>(std::min<size_t>(count, 65536)), 0)
                             : 0;
        if (ready < 0 || (ready > 0 && sent <= 0))
            return false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

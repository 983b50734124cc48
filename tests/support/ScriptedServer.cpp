#include "support/ScriptedServer.h"

#include "compat/win32.h"

#include <chrono>
#include <cstring>

namespace {

// A request that has not arrived in full after this long ends its connection, so that
// a test never waits forever on a client that sent less than the script expects.
constexpr auto kRequestDeadline = std::chrono::seconds(10);

SOCKET AsSocket(intptr_t socket) {
    return static_cast<SOCKET>(socket);
}

void CloseSocket(intptr_t socket, bool reset) {
    if (reset) {
        linger option = {};
        option.l_onoff = 1;
        option.l_linger = 0;
        setsockopt(AsSocket(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                   sizeof(option));
    }
    closesocket(AsSocket(socket));
}

} // namespace

ScriptedServer::ScriptedServer(std::vector<ScriptedConnection> script)
    : script_(std::move(script)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET)
        return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 16) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return;
    }
    listener_ = static_cast<intptr_t>(listener);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&ScriptedServer::Serve, this);
}

ScriptedServer::~ScriptedServer() {
    Stop();
    if (listener_ != kNoSocket)
        closesocket(AsSocket(listener_));
}

ScriptedConnection ScriptedServer::Reply(std::string reply, ScriptedEnd end, size_t bodyBytes) {
    ScriptedConnection connection;
    ScriptedExchange exchange;
    exchange.reply = std::move(reply);
    exchange.body_bytes = bodyBytes;
    connection.exchanges.push_back(std::move(exchange));
    connection.end = end;
    return connection;
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void ScriptedServer::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

int ScriptedServer::WaitFor(intptr_t socket, short events) {
    WSAPOLLFD entry = {};
    entry.fd = AsSocket(socket);
    entry.events = events;
    int result = WSAPoll(&entry, 1, 50);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

void ScriptedServer::Serve() {
    size_t next = 0;
    while (!stop_) {
        if (WaitFor(listener_, POLLRDNORM) <= 0)
            continue;
        SOCKET accepted = accept(AsSocket(listener_), nullptr, nullptr);
        if (accepted == INVALID_SOCKET)
            continue;
        ++accepted_;
        intptr_t socket = static_cast<intptr_t>(accepted);
        if (next < script_.size()) {
            Play(socket, script_[next++]);
        } else {
            CloseSocket(socket, false);
        }
    }
}

void ScriptedServer::Play(intptr_t socket, const ScriptedConnection& connection) {
    std::string pending;
    bool alive = true;
    for (const ScriptedExchange& exchange : connection.exchanges) {
        if (exchange.read_request && !ReadRequest(socket, &pending, exchange.body_bytes)) {
            alive = false;
            break;
        }
        size_t piece = exchange.piece == 0 ? exchange.reply.size() : exchange.piece;
        for (size_t at = 0; at < exchange.reply.size() && alive; at += piece) {
            if (exchange.delay_ms > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(exchange.delay_ms));
            size_t count = exchange.reply.size() - at < piece ? exchange.reply.size() - at : piece;
            alive = SendAll(socket, exchange.reply.data() + at, count);
        }
        if (!alive)
            break;
    }
    if (alive && connection.end == ScriptedEnd::Silent) {
        // Hold the connection, discarding what arrives, until the peer closes it.
        char scratch[4096];
        while (!stop_) {
            int ready = WaitFor(socket, POLLRDNORM);
            if (ready < 0)
                break;
            if (ready > 0 && recv(AsSocket(socket), scratch, sizeof(scratch), 0) <= 0)
                break;
        }
    }
    CloseSocket(socket, connection.end == ScriptedEnd::Reset);
}

bool ScriptedServer::ReadRequest(intptr_t socket, std::string* pending, size_t bodyBytes) {
    auto deadline = std::chrono::steady_clock::now() + kRequestDeadline;
    for (;;) {
        size_t blank = pending->find("\r\n\r\n");
        if (blank != std::string::npos && pending->size() >= blank + 4 + bodyBytes) {
            std::lock_guard<std::mutex> hold(lock_);
            requests_.push_back(pending->substr(0, blank + 4 + bodyBytes));
            pending->erase(0, blank + 4 + bodyBytes);
            return true;
        }
        int ready =
            stop_ || std::chrono::steady_clock::now() > deadline ? -1 : WaitFor(socket, POLLRDNORM);
        char bytes[4096];
        int count = ready > 0 ? recv(AsSocket(socket), bytes, sizeof(bytes), 0) : 0;
        if (ready < 0 || (ready > 0 && count <= 0)) {
            // The request stays on record as far as it came.
            if (!pending->empty()) {
                std::lock_guard<std::mutex> hold(lock_);
                requests_.push_back(*pending);
            }
            return false;
        }
        pending->append(bytes, static_cast<size_t>(count));
    }
}

bool ScriptedServer::SendAll(intptr_t socket, const char* bytes, size_t count) {
    while (count > 0) {
        if (stop_)
            return false;
        int ready = WaitFor(socket, POLLWRNORM);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        int piece = count > 65536 ? 65536 : static_cast<int>(count);
        int sent = send(AsSocket(socket), bytes, piece, 0);
        if (sent <= 0)
            return false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

#include "support/ConcurrentServer.h"

#include "compat/win32.h"

#include <chrono>

namespace {

// A client that has not sent its whole request after this long is dropped, so that no
// worker waits forever.
constexpr auto kRequestDeadline = std::chrono::seconds(10);
// Longest request head accepted.
constexpr size_t kMaxRequest = 16384;
// How often blocked threads look at the stop flag.
constexpr int kPollMs = 50;

const char kNotFound[] = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";

SOCKET AsSocket(intptr_t socket) {
    return static_cast<SOCKET>(socket);
}

// 1 ready, 0 not yet, -1 error.
int WaitFor(intptr_t socket, short events) {
    WSAPOLLFD entry = {};
    entry.fd = AsSocket(socket);
    entry.events = events;
    int result = WSAPoll(&entry, 1, kPollMs);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// The path of a request line's target: "/x" stays, "http://host:port/x" gives "/x".
std::string TargetPath(const std::string& head) {
    size_t start = head.find(' ');
    if (start == std::string::npos)
        return "";
    size_t end = head.find(' ', start + 1);
    std::string target = head.substr(start + 1, end == std::string::npos ? 0 : end - start - 1);
    const std::string scheme = "http://";
    if (target.compare(0, scheme.size(), scheme) == 0) {
        size_t slash = target.find('/', scheme.size());
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    return target;
}

} // namespace

ConcurrentServer::ConcurrentServer(std::map<std::string, std::string> responses, int workers)
    : responses_(std::move(responses)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET)
        return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return;
    }
    listener_ = static_cast<intptr_t>(listener);
    port_ = ntohs(address.sin_port);
    threads_.emplace_back(&ConcurrentServer::AcceptLoop, this);
    for (int i = 0; i < workers; ++i)
        threads_.emplace_back(&ConcurrentServer::WorkLoop, this);
}

ConcurrentServer::~ConcurrentServer() {
    Stop();
    if (listener_ != kNoSocket)
        closesocket(AsSocket(listener_));
}

void ConcurrentServer::Stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    waiting_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
    threads_.clear();
    for (intptr_t socket : accepted_)
        closesocket(AsSocket(socket));
    accepted_.clear();
}

void ConcurrentServer::AcceptLoop() {
    while (!stop_) {
        if (WaitFor(listener_, POLLRDNORM) <= 0)
            continue;
        SOCKET socket = accept(AsSocket(listener_), nullptr, nullptr);
        if (socket == INVALID_SOCKET)
            continue;
        {
            std::lock_guard<std::mutex> hold(lock_);
            accepted_.push_back(static_cast<intptr_t>(socket));
        }
        waiting_.notify_one();
    }
}

void ConcurrentServer::WorkLoop() {
    for (;;) {
        intptr_t socket;
        {
            std::unique_lock<std::mutex> hold(lock_);
            waiting_.wait(hold, [this] { return stop_ || !accepted_.empty(); });
            if (stop_)
                return;
            socket = accepted_.front();
            accepted_.pop_front();
        }
        bool served = Answer(socket);
        // Counted once the socket is gone, so that a caller who sees the count sees no
        // server socket of that request any more.
        closesocket(AsSocket(socket));
        if (served) {
            ++served_;
        } else {
            ++refused_;
        }
    }
}

bool ConcurrentServer::Answer(intptr_t socket) {
    auto deadline = std::chrono::steady_clock::now() + kRequestDeadline;
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (stop_ || head.size() > kMaxRequest || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        int ready = WaitFor(socket, POLLRDNORM);
        if (ready == 0)
            continue;
        char bytes[2048];
        int count = ready > 0 ? recv(AsSocket(socket), bytes, sizeof(bytes), 0) : -1;
        if (count <= 0) {
            return false;
        }
        head.append(bytes, static_cast<size_t>(count));
    }

    auto found = responses_.find(TargetPath(head));
    const char* reply = found != responses_.end() ? found->second.data() : kNotFound;
    size_t size = found != responses_.end() ? found->second.size() : sizeof(kNotFound) - 1;
    size_t sent = 0;
    while (sent < size) {
        int ready = stop_ ? -1 : WaitFor(socket, POLLWRNORM);
        if (ready == 0)
            continue;
        size_t left = size - sent;
        int piece = left > 65536 ? 65536 : static_cast<int>(left);
        int count = ready > 0 ? send(AsSocket(socket), reply + sent, piece, 0) : -1;
        if (count <= 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return found != responses_.end();
}

bool ConcurrentServer::WaitForClosed(int count, int seconds) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (served_.load() + refused_.load() < count) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

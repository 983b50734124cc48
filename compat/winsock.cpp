#include "compat/winsock.h"

#include <cerrno>
#include <cstring>
#include <sys/types.h>
#include <unistd.h>

int WSAStartup(WORD version, LPWSADATA data) {
    if (data != nullptr) {
        memset(data, 0, sizeof(*data));
        data->wVersion = version;
        data->wHighVersion = MAKEWORD(2, 2);
    }
    return 0;
}

int WSACleanup() {
    return 0;
}

int WSAGetLastError() {
    switch (errno) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
        return WSAEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return WSAEINPROGRESS;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    // Sending on a connection the peer has reset: Windows reports the reset itself.
    case EPIPE:
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return errno;
    }
}

int closesocket(SOCKET socket) {
    return close(socket);
}

int WSAPoll(LPWSAPOLLFD descriptors, ULONG count, int timeoutMilliseconds) {
    int result;
    do {
        result = poll(descriptors, count, timeoutMilliseconds);
    } while (result < 0 && errno == EINTR);
    return result;
}

int ioctlsocket(SOCKET socket, long command, u_long* argument) {
    if (command != static_cast<long>(FIONBIO)) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    if (argument == nullptr) {
        errno = EFAULT;
        return SOCKET_ERROR;
    }
    int on = *argument != 0 ? 1 : 0;
    return ioctl(socket, FIONBIO, &on) == 0 ? 0 : SOCKET_ERROR;
}

int connect(SOCKET socket, const sockaddr* address, int length) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    if (::connect(socket, address, static_cast<socklen_t>(length)) == 0)
        return 0;
    if (errno != EINTR)
        return SOCKET_ERROR;
    // After a signal the attempt goes on without the caller, and connecting again would
    // only report it as under way: wait for it to end, as Windows' blocking connect does.
    // Closing the socket from another thread (the connect watchdog shuts it down first)
    // ends the wait as well.
    pollfd entry = {};
    entry.fd = socket;
    entry.events = POLLOUT;
    int ready;
    do {
        ready = poll(&entry, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return SOCKET_ERROR;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return SOCKET_ERROR;
    if (error != 0) {
        errno = error;
        return SOCKET_ERROR;
    }
    // A shut-down attempt may end without an error of its own: only a peer makes it a
    // connection.
    sockaddr_storage peer;
    socklen_t peerSize = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
        return SOCKET_ERROR;
    return 0;
}

int send(SOCKET socket, const char* bytes, int length, int flags) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
#if defined(MSG_NOSIGNAL)
    flags |= MSG_NOSIGNAL;
#elif defined(SO_NOSIGPIPE)
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof(on));
#endif
    ssize_t sent;
    do {
        sent = ::send(socket, static_cast<const void*>(bytes), static_cast<size_t>(length), flags);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? SOCKET_ERROR : static_cast<int>(sent);
}

int recv(SOCKET socket, char* buffer, int length, int flags) {
    if (length < 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    ssize_t received;
    do {
        received = ::recv(socket, static_cast<void*>(buffer), static_cast<size_t>(length), flags);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? SOCKET_ERROR : static_cast<int>(received);
}

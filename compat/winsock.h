// Windows Sockets names mapped onto BSD sockets for builds without Windows.
//
// Only what the project's code uses is offered, and where the two APIs behave
// differently the Windows behaviour is reproduced:
// - SOCKET is the descriptor itself; INVALID_SOCKET and SOCKET_ERROR are -1 as on Windows
//   (where INVALID_SOCKET is ~0 and turns into -1 when stored in 32 bits).
// - WSAGetLastError reports the calling thread's last socket error as a WSA code
//   (10054 for a reset connection, ...), translated from errno.
// - send never raises SIGPIPE: a send to a reset peer fails with WSAECONNRESET instead of
//   ending the process. send and recv take and return int lengths as on Windows; a call
//   interrupted by a signal is repeated, since Windows calls are never interrupted.
// - A blocking connect interrupted by a signal waits for the outcome of the attempt,
//   which goes on in the background, instead of failing with EINTR.
// - WSAPoll is poll(); unlike select it has no limit on descriptor numbers.
// - ioctlsocket offers FIONBIO: on a non-blocking socket a recv or send that would have
//   to wait fails at once with WSAEWOULDBLOCK (10035).
// - The linger structure keeps the BSD field types (int, where Windows has u_short);
//   both take l_onoff and l_linger, which is all the code sets.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <type_traits>

#include "compat/wintypes.h"

typedef int SOCKET;

#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

// shutdown directions.
#define SD_RECEIVE SHUT_RD
#define SD_SEND SHUT_WR
#define SD_BOTH SHUT_RDWR

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | (((WORD)((BYTE)(high))) << 8)))

// Windows Sockets error codes.
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAEINPROGRESS 10036
#define WSAEALREADY 10037
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAEOPNOTSUPP 10045
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAENETRESET 10052
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAEISCONN 10056
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTDOWN 10064
#define WSAEHOSTUNREACH 10065

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
typedef WSADATA* LPWSADATA;

typedef struct pollfd WSAPOLLFD;
typedef WSAPOLLFD* LPWSAPOLLFD;

// There is nothing to start: fills `data` for the requested version and returns 0.
int WSAStartup(WORD version, LPWSADATA data);
int WSACleanup();
// The calling thread's last socket error as a WSA code; 0 when there was none.
int WSAGetLastError();
int closesocket(SOCKET socket);
int WSAPoll(LPWSAPOLLFD descriptors, ULONG count, int timeoutMilliseconds);
// FIONBIO with a non-zero *argument makes the socket non-blocking, with 0 blocking
// again. Other commands and a null argument fail.
int ioctlsocket(SOCKET socket, long command, u_long* argument);

// Windows-shaped overloads. They are better matches than the BSD functions for calls
// written against Winsock (char pointers and an integer length, which Windows takes as
// int), so such calls reach them.
int send(SOCKET socket, const char* bytes, int length, int flags);
int recv(SOCKET socket, char* buffer, int length, int flags);
int connect(SOCKET socket, const sockaddr* address, int length);

template <typename Length, typename = std::enable_if_t<std::is_integral<Length>::value>>
inline int send(SOCKET socket, const char* bytes, Length length, int flags) {
    return send(socket, bytes, static_cast<int>(length), flags);
}

template <typename Length, typename = std::enable_if_t<std::is_integral<Length>::value>>
inline int recv(SOCKET socket, char* buffer, Length length, int flags) {
    return recv(socket, buffer, static_cast<int>(length), flags);
}

template <typename Length, typename = std::enable_if_t<std::is_integral<Length>::value>>
inline int connect(SOCKET socket, const sockaddr* address, Length length) {
    return connect(socket, address, static_cast<int>(length));
}

// Conversions between the 32-bit socket field of TcpConnection and the platform's
// SOCKET. Windows socket handles fit in 32 bits, and INVALID_SOCKET (~0) becomes -1.
#pragma once

#include "compat/win32.h"

#include <cstdint>

inline SOCKET TcpSocketHandle(int32_t socket) {
    return static_cast<SOCKET>(static_cast<intptr_t>(socket));
}

inline int32_t TcpSocketField(SOCKET socket) {
    return static_cast<int32_t>(socket);
}

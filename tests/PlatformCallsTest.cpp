// Win32 calls the connection layer rests on, checked the same way against Windows (under
// Wine) and against the stand-in of compat/: non-blocking sockets and threads with a
// chosen stack size.
#include "compat/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A connected pair of loopback sockets; the accepted end reads nothing.
struct Peer {
    Peer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
        client = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener, 1) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            accepted = accept(listener, nullptr, nullptr);
        closesocket(listener);
    }
    ~Peer() {
        closesocket(client);
        closesocket(accepted);
    }
    SOCKET client = INVALID_SOCKET;
    SOCKET accepted = INVALID_SOCKET;
};

TEST(SocketCalls, NonBlockingReceiveAndSendReportWouldBlock) {
    Peer peer;
    ASSERT_NE(INVALID_SOCKET, peer.accepted);
    u_long on = 1;
    ASSERT_EQ(0, ioctlsocket(peer.client, FIONBIO, &on));
    char buffer[16];
    EXPECT_EQ(SOCKET_ERROR, recv(peer.client, buffer, sizeof buffer, 0));
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
    // Back to blocking: the receive waits for the late bytes.
    u_long off = 0;
    ASSERT_EQ(0, ioctlsocket(peer.client, FIONBIO, &off));
    std::thread late([&peer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        send(peer.accepted, "late", 4, 0);
    });
    EXPECT_EQ(4, recv(peer.client, buffer, sizeof buffer, 0));
    late.join();

    // The peer reads nothing, so the send buffers fill until a send would block.
    ASSERT_EQ(0, ioctlsocket(peer.client, FIONBIO, &on));
    std::string block(64 * 1024, 'x');
    int sent = 0;
    for (int i = 0; i < 4096 && sent >= 0; ++i)
        sent = send(peer.client, block.data(), static_cast<int>(block.size()), 0);
    EXPECT_EQ(SOCKET_ERROR, sent);
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
}

std::atomic<int> g_ran{0};

DWORD WINAPI UseStack(LPVOID parameter) {
    // Most of a 64 KiB stack, touched so that it is really there.
    volatile char frame[40 * 1024];
    memset(const_cast<char*>(frame), 1, sizeof frame);
    std::atomic<bool>* release = static_cast<std::atomic<bool>*>(parameter);
    while (!*release)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    g_ran += frame[sizeof frame - 1];
    return 0;
}

TEST(ThreadCalls, SmallStackThreadIsWaitedForAndClosed) {
    for (bool waitFirst : {true, false}) {
        SCOPED_TRACE(waitFirst ? "waited for, then closed" : "closed while running");
        g_ran = 0;
        std::atomic<bool> release{false};
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 64 * 1024, UseStack, &release,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
        ASSERT_NE(nullptr, thread);
        EXPECT_NE(0u, id);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 0));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 50));
        if (!waitFirst) {
            EXPECT_TRUE(CloseHandle(thread));
            release = true;
            for (int i = 0; i < 400 && g_ran == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            EXPECT_EQ(1, g_ran.load()) << "a closed handle's thread runs on";
            continue;
        }
        release = true;
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, INFINITE));
        EXPECT_EQ(1, g_ran.load());
        // An ended thread stays signalled.
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0));
        EXPECT_TRUE(CloseHandle(thread));
    }
}

} // namespace

// Win32 calls the connection layer rests on, checked alike against Windows (under Wine)
// and against the stand-in of compat/: non-blocking sockets and small-stack threads.
#include "compat/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(SocketCalls, NonBlockingReceiveAndSendReportWouldBlock) {
    WSADATA data; // started and cleaned up once more than the peers do: balanced
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0), client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    ASSERT_TRUE(bind(listener, any, length) == 0 && listen(listener, 1) == 0 &&
                getsockname(listener, any, &length) == 0 && connect(client, any, length) == 0);
    SOCKET accepted = accept(listener, nullptr, nullptr); // reads nothing
    u_long on = 1, off = 0;
    ASSERT_EQ(0, ioctlsocket(client, FIONBIO, &on));
    char buffer[16];
    EXPECT_EQ(SOCKET_ERROR, recv(client, buffer, sizeof buffer, 0));
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
    // Back to blocking: the receive waits for the late bytes.
    ASSERT_EQ(0, ioctlsocket(client, FIONBIO, &off));
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        send(accepted, "late", 4, 0);
    });
    EXPECT_EQ(4, recv(client, buffer, sizeof buffer, 0));
    late.join();
    ASSERT_EQ(0, ioctlsocket(client, FIONBIO, &on));
    const std::string block(64 * 1024, 'x');
    int sent = 0;
    for (int i = 0; i < 4096 && sent >= 0; ++i)
        sent = send(client, block.data(), static_cast<int>(block.size()), 0);
    EXPECT_EQ(SOCKET_ERROR, sent);
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
    for (SOCKET s : {listener, client, accepted})
        closesocket(s);
    EXPECT_EQ(0, WSACleanup());
}

std::atomic<int> g_ran{0};

DWORD WINAPI UseStack(LPVOID release) {
    // Most of a 64 KiB stack, touched so that it is really there.
    volatile char frame[40 * 1024];
    memset(const_cast<char*>(frame), 1, sizeof frame);
    while (!*static_cast<std::atomic<bool>*>(release))
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
        EXPECT_TRUE(waitFirst || CloseHandle(thread));
        release = true;
        if (waitFirst) { // a wait that blocks until the end; an ended thread stays signalled
            EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, INFINITE));
            EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0));
            EXPECT_TRUE(CloseHandle(thread));
        }
        for (int i = 0; i < 400 && g_ran == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(1, g_ran.load()) << "a closed handle's thread runs on";
    }
}

} // namespace

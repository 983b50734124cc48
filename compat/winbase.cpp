#include "compat/winbase.h"

#include <chrono>
#include <thread>

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    auto count = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<DWORD>(count);
}

// Kept apart from the raise procedure so that the compiler cannot merge the two frames:
// the procedure counts on the capture being a frame of its own.
#include "os/win32/Exception.h"

#include "compat/win32.h"

#include <cinttypes>
#include <cstdio>

namespace kiv {

namespace {

// The capture routine's limit on 64-bit Windows.
const DWORD kMaxFrames = 62;

} // namespace

void captureBacktrace(std::vector<std::string>& frames) {
    frames.clear();
    void* addresses[kMaxFrames];
    WORD count = RtlCaptureStackBackTrace(1, kMaxFrames, addresses, nullptr);
    if (count < 2)
        return;
    for (WORD i = count - 1; i >= 1; --i) {
        // The runtime's own %p would follow the C library's case; the report wants 16
        // upper-case digits on every build.
        char text[17];
        std::snprintf(text, sizeof text, "%016" PRIX64,
                      static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(addresses[i])));
        frames.emplace_back(text);
    }
}

} // namespace kiv

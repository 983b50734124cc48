// Kept apart from the raise procedure so that the compiler cannot merge the two frames:
// the procedure counts on the capture being a frame of its own.
#include "src/os/win32/Backtrace.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"

#include <cinttypes>
#include <cstdio>

namespace kiv {

namespace {

// The capture routine's limit on 64-bit Windows.
const DWORD kMaxFrames = 62;

// Records addresses 1 to count - 1, outermost first; address 0 is the frame that asked
// for the capture. Fewer than two addresses leave `frames` empty.
void record(std::vector<std::string>& frames, void* const* addresses, WORD count) {
    frames.clear();
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

} // namespace

// Each entry point calls the capture itself: a shared helper between them would be one
// more frame to skip, or none once inlined.
void captureBacktrace(std::vector<std::string>& frames) {
    void* addresses[kMaxFrames];
    record(frames, addresses, RtlCaptureStackBackTrace(1, kMaxFrames, addresses, nullptr));
}

void captureBacktraceForCaller(std::vector<std::string>& frames) {
    void* addresses[kMaxFrames];
    record(frames, addresses, RtlCaptureStackBackTrace(2, kMaxFrames, addresses, nullptr));
}

} // namespace kiv

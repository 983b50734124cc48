// The raise procedure's own way into the stack capture: raiseAt is a frame between the
// raise site and the capture, which the site's report must not pay for.
#pragma once

#include <string>
#include <vector>

namespace kiv {

// Fills `frames` as captureBacktrace would had the caller's caller called it: one frame
// more is skipped, and the capture's limit still counts from that frame.
void captureBacktraceForCaller(std::vector<std::string>& frames);

} // namespace kiv

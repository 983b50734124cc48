#include "compat/winstack.h"

#include <unwind.h>

#include <cstdint>

namespace {

struct Walk {
    PVOID* frames;
    DWORD skip;  // frames still to pass over
    DWORD count; // room left in `frames`
    WORD stored;
};

_Unwind_Reason_Code visit(struct _Unwind_Context* context, void* argument) {
    Walk* walk = static_cast<Walk*>(argument);
    const std::uintptr_t address = _Unwind_GetIP(context);
    if (address == 0 || walk->count == 0)
        return _URC_END_OF_STACK;
    if (walk->skip > 0) {
        --walk->skip;
        return _URC_NO_REASON;
    }
    walk->frames[walk->stored++] = reinterpret_cast<PVOID>(address);
    --walk->count;
    return _URC_NO_REASON;
}

} // namespace

// The unwinder's first frame is this routine's own, which Windows does not count: skipping
// `skip` frames here means skipping skip + 1 of the unwinder's. The routine must stay a
// frame of its own for that count to hold. The unwinder is walked directly rather than
// through the C library's backtrace, which sanitizers wrap in a frame of their own.
__attribute__((noinline)) WORD RtlCaptureStackBackTrace(DWORD skip, DWORD count, PVOID* frames,
                                                        PDWORD hash) {
    if (hash != nullptr)
        *hash = 0;
    if (frames == nullptr || count == 0 || skip > 0xFFFF || count > 0xFFFF)
        return 0;
    Walk walk = {frames, skip + 1, count, 0};
    _Unwind_Backtrace(visit, &walk);
    return walk.stored;
}

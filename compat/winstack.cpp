#include "compat/winstack.h"

#include <execinfo.h>

#include <vector>

// backtrace's first entry is this routine's own return into its caller, which Windows
// counts as frame 0 of the caller: skipping `skip` frames here means skipping skip + 1 of
// backtrace's. The routine must stay a frame of its own for that count to hold.
__attribute__((noinline)) WORD RtlCaptureStackBackTrace(DWORD skip, DWORD count, PVOID* frames,
                                                        PDWORD hash) {
    if (hash != nullptr)
        *hash = 0;
    if (frames == nullptr || count == 0 || skip > 0xFFFF || count > 0xFFFF)
        return 0;
    std::vector<void*> all(skip + count + 1);
    int captured = backtrace(all.data(), static_cast<int>(all.size()));
    WORD stored = 0;
    for (int i = static_cast<int>(skip) + 1; i < captured && stored < count; ++i)
        frames[stored++] = all[i];
    return stored;
}

// For the tests of reseeding after fork (native builds only): the first bytes a fork's
// child draws, read back by the parent.
#pragma once

#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Forks; the child calls `draw(out, 64)` (1 on success) and hands the 64 bytes to the
// parent, which returns them once the child has ended.
template <typename Draw>
std::vector<uint8_t> DrawInForkedChild(Draw draw) {
    int ends[2];
    EXPECT_EQ(0, pipe(ends));
    pid_t pid = fork();
    if (pid == 0) {
        // Only the stack in the child: another thread may have held the heap's lock.
        uint8_t bytes[64] = {};
        int ok = draw(bytes, sizeof bytes);
        ssize_t written = write(ends[1], bytes, sizeof bytes);
        _exit(ok == 1 && written == static_cast<ssize_t>(sizeof bytes) ? 0 : 1);
    }
    close(ends[1]);
    std::vector<uint8_t> bytes(64, 0);
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = read(ends[0], bytes.data() + got, bytes.size() - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    close(ends[0]);
    int status = 0;
    EXPECT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child failed to draw";
    EXPECT_EQ(bytes.size(), got);
    return bytes;
}

#endif

// The system services of crypto/EntropyCalls.h where there is no Windows: getrandom, with
// /dev/urandom behind it, and the figures of clocks, getrusage and sysinfo.
#ifndef _WIN32

#include "crypto/EntropyCalls.h"

#include "crypto/ConstantTime.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

// getrandom from the kernel's pool (blocking only until the pool was first seeded),
// resumed after signals and short reads.
static int posixGetrandom(uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t got = getrandom(out + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        done += static_cast<size_t>(got);
    }
    return 1;
}

// /dev/urandom, for kernels or sandboxes that refuse getrandom.
static int posixUrandom(uint8_t* out, size_t size) {
    int fd;
    do
        fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, out + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    return done == size;
}

static uint64_t nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

static uint64_t microseconds(const timeval& time) {
    return static_cast<uint64_t>(time.tv_sec) * 1000000u + static_cast<uint64_t>(time.tv_usec);
}

static size_t posixStatistics(uint64_t* figures, size_t capacity) {
    uint64_t all[kEntropyFiguresMax];
    size_t n = 0;
    all[n++] = nanoseconds(CLOCK_MONOTONIC);
    all[n++] = nanoseconds(CLOCK_REALTIME);
    all[n++] = nanoseconds(CLOCK_BOOTTIME);
    all[n++] = nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    all[n++] = nanoseconds(CLOCK_THREAD_CPUTIME_ID);
    all[n++] = static_cast<uint64_t>(getpid());
    all[n++] = static_cast<uint64_t>(getppid());
    all[n++] = static_cast<uint64_t>(syscall(SYS_gettid));
    all[n++] = static_cast<uint64_t>(getuid()) << 32 | static_cast<uint32_t>(getgid());
    // Where the stack and this code were placed (address-space layout randomisation).
    all[n++] = reinterpret_cast<uintptr_t>(&all);
    all[n++] = reinterpret_cast<uintptr_t>(&posixStatistics);
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        all[n++] = microseconds(usage.ru_utime);
        all[n++] = microseconds(usage.ru_stime);
        all[n++] = static_cast<uint64_t>(usage.ru_maxrss);
        all[n++] = static_cast<uint64_t>(usage.ru_minflt);
        all[n++] = static_cast<uint64_t>(usage.ru_majflt);
        all[n++] =
            static_cast<uint64_t>(usage.ru_inblock) << 32 ^ static_cast<uint64_t>(usage.ru_oublock);
        all[n++] =
            static_cast<uint64_t>(usage.ru_nvcsw) << 32 ^ static_cast<uint64_t>(usage.ru_nivcsw);
    }
    struct sysinfo system {};
    if (sysinfo(&system) == 0) {
        all[n++] = static_cast<uint64_t>(system.uptime);
        all[n++] = system.loads[0];
        all[n++] = system.loads[1];
        all[n++] = system.loads[2];
        all[n++] = system.totalram;
        all[n++] = system.freeram;
        all[n++] = system.sharedram;
        all[n++] = system.bufferram;
        all[n++] = system.freeswap;
        all[n++] = system.procs;
    }
    all[n++] = nanoseconds(CLOCK_MONOTONIC);
    size_t count = n < capacity ? n : capacity;
    for (size_t i = 0; i < count; ++i)
        figures[i] = all[i];
    CryptoWipe(all, sizeof all);
    return count;
}

static uint32_t posixProcessId() {
    return static_cast<uint32_t>(getpid());
}

static void posixWatchForks(void (*prepare)(), void (*parent)(), void (*child)()) {
    pthread_atfork(prepare, parent, child);
}

constexpr EntropyCalls kSystemEntropyCalls = {posixGetrandom, posixUrandom, posixStatistics,
                                              posixProcessId, posixWatchForks};
EntropyCalls entropyCalls = kSystemEntropyCalls;

#endif

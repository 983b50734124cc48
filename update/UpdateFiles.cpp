// Temporary names beside a destination and the one-step replacement of the destination:
// how a download reaches its place only when it is complete and checked. See
// update/UpdateService.h.
#include "update/UpdateService.h"

#include "text/BoundedText.h"

#include <sys/stat.h>

#include <cstdio>

#ifdef _WIN32
#include "compat/win32.h"
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

int UpdateTemporaryName(const char* destination, std::string* name) {
    struct stat status;
    for (unsigned n = 0; n < 1000; ++n) {
        char suffix[64];
        StrFormat(suffix, sizeof suffix, ".kivupdate-%d-%u.part", static_cast<int>(getpid()), n);
        *name = std::string(destination) + suffix;
        if (stat(name->c_str(), &status) != 0)
            return 1;
    }
    return 0;
}

// Windows' rename refuses an existing target; the move that replaces it is its own call.
int UpdateReplaceFile(const char* from, const char* to) {
#ifdef _WIN32
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return rename(from, to) == 0;
#endif
}

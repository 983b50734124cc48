#include "osutil/OsPlatform.h"

#include <cstring>

bool IsNtPlatform(DWORD minimumMajor) {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    // GetVersionExA is deprecated in favour of the version helpers, which cannot tell
    // the platform family; it still answers what is asked here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL known = GetVersionExA(&version);
#pragma GCC diagnostic pop
    return known && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion >= minimumMajor;
}

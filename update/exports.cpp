// The library's two exports and its entry routine. Everything else stays hidden.
#define KIVUPDATE_BUILDING 1
#include "update/UpdateService.h"
#include "update/kivupdate.h"

#ifdef _WIN32
#include "compat/win32.h"

// Loading and unloading run nothing of the library's own.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif

extern "C" KIVUPDATE_API uint32_t CheckForUpdate(int32_t language, const char* url,
                                                 const char* proxyHost, uint16_t proxyPort,
                                                 void* buffer, uint32_t bufferSize) {
    return UpdateCheck(language, url, proxyHost, proxyPort, buffer, bufferSize);
}

extern "C" KIVUPDATE_API int32_t DownloadUpdate(const char* url, const char* destinationPath,
                                                const char* proxyHost, uint16_t proxyPort,
                                                HttpProgressFn progress, void* progressContext) {
    UpdateDownloadOptions options;
    options.proxyHost = proxyHost;
    options.proxyPort = proxyPort;
    options.progress = progress;
    options.progressContext = progressContext;
    return UpdateDownload(url, destinationPath, options, nullptr);
}

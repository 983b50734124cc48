/* kivupdate: the update service of the Kiv VPN client.
 *
 * Two exported functions, usable from C and C++. Both run synchronously on the calling
 * thread, keep no state between calls and never throw.
 */
#ifndef KIVUPDATE_H
#define KIVUPDATE_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(KIVUPDATE_BUILDING)
#define KIVUPDATE_API __declspec(dllexport)
#else
#define KIVUPDATE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KIVUPDATE_API __attribute__((visibility("default")))
#else
#define KIVUPDATE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Download progress: bytes received so far and the announced total (0xFFFFFFFF when the
 * server announced none). Returning 0 cancels the transfer. */
#ifndef KIV_HTTP_PROGRESS_FN_DEFINED
#define KIV_HTTP_PROGRESS_FN_DEFINED
typedef int (*HttpProgressFn)(void* context, uint32_t bytesDone, uint32_t total);
#endif

/* Fetches the update-information document at `url` (directly, or through the HTTP proxy
 * proxyHost:proxyPort when proxyHost is neither null nor empty), follows one permanent
 * redirect and returns the release facts of the section "Language <language>" (or
 * "Language 2" when that section is missing) as a finalized attribute list:
 *
 *   records of tag (u16 LE), length (u16 LE) and value, closed by FF FF.
 *   tag 1 ProductName, 6 UrlInfo, 5 UrlDownload, 10 UrlDownload-x86,
 *   20 UrlDownload-x86-64, 30 UrlWeb: text without terminator;
 *   tag 2 Version, 3 Build, 4 Servicepack, 8 Filesize, 11 Filesize-x86,
 *   21 Filesize-x86-64: signed 32-bit integer, little-endian.
 *
 * Returns the number of bytes written to `buffer`: 0 when the URL is unusable, the first
 * connect failed or the list does not fit in bufferSize (the buffer is then untouched);
 * 2 (the end marker alone) when the server was reached but gave no facts; more otherwise.
 * A proxy host name of 128 characters or more is refused (result 0). */
KIVUPDATE_API uint32_t CheckForUpdate(int32_t language, const char* url, const char* proxyHost,
                                      uint16_t proxyPort, void* buffer, uint32_t bufferSize);

/* Downloads `url` into destinationPath, conditionally on the existing file's modification
 * time, optionally through an HTTP proxy, calling `progress` (which may be null) with
 * progressContext. Returns 1 when the file was transferred completely or the server
 * reported it unchanged, 0 on every failure (including cancellation). A partly written
 * file is left behind after a failure. A proxy host name of 128 characters or more is
 * refused (result 0). */
KIVUPDATE_API int32_t DownloadUpdate(const char* url, const char* destinationPath,
                                     const char* proxyHost, uint16_t proxyPort,
                                     HttpProgressFn progress, void* progressContext);

#ifdef __cplusplus
}
#endif

#endif /* KIVUPDATE_H */

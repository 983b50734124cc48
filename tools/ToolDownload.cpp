// kivupdate download: one file into place, through a temporary file beside it, checked
// against --sha256 and, with --key, its signature before it replaces anything.
#include "tools/Tool.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

const CommandSyntax kSyntax = {"download", kOptProxy | kOptProxyUser | kOptSha256 | kOptKey, 2,
                               "download takes a URL and a FILE"};

// Gives the temporary file the destination's modification time, so that the download
// asks the server whether the destination is still current.
bool InheritModificationTime(const char* destination, const char* temporary) {
    struct stat status;
    if (stat(destination, &status) != 0)
        return true; // no destination: an unconditional request
    FILE* file = fopen(temporary, "wb");
    if (file == nullptr)
        return false;
    fclose(file);
#ifdef _WIN32
    struct _utimbuf times = {status.st_mtime, status.st_mtime};
    return _utime(temporary, &times) == 0;
#else
    struct utimbuf times = {status.st_mtime, status.st_mtime};
    return utime(temporary, &times) == 0;
#endif
}

} // namespace

int DownloadCommand(int argc, char** argv) {
    ToolOptions options;
    if (int code = ParseCommandLine(kSyntax, argc, argv, &options); code >= 0)
        return code;
    if (options.arguments.size() != 2)
        return Usage("download takes a URL and a FILE");
    const char* url = options.arguments[0];
    const char* destination = options.arguments[1];
    if (!ResolveProxy(url, &options.proxy))
        return kExitUsage;
    UpdateDownloadOptions net = NetworkOptions(options, options.proxy, true);

    // With keys, a file that could never verify is not fetched at all.
    TrustedKeys keys;
    std::string signature;
    if (!options.keys.empty()) {
        if (!LoadTrustedKeys(options.keys, &keys))
            return kExitFailed;
        UpdateVerdict verdict = UpdateFetchSignature(url, net, &signature);
        if (verdict == UPDATE_OK)
            verdict = UpdateSignatureUsable(keys, signature.data(), signature.size());
        if (verdict != UPDATE_OK) {
            std::string detail = std::string(url) + ".sig; " + destination + " is unchanged";
            return ReportVerdict(verdict, detail.c_str());
        }
    }

    std::string temporary;
    if (!UpdateTemporaryName(destination, &temporary) ||
        !InheritModificationTime(destination, temporary.c_str())) {
        fprintf(stderr, "kivupdate: cannot create a temporary file beside %s\n", destination);
        remove(temporary.c_str());
        return kExitFailed;
    }

    Progress progress;
    StartProgress(&progress);
    net.progress = OnProgress;
    net.progressContext = &progress;
    CatchInterrupt();
    UpdateDownloadResult result;
    int ok = UpdateDownload(url, temporary.c_str(), net, &result);
    ReleaseInterrupt();
    FinishProgress(progress);

    // From here on the destination changes only by the rename of a complete, checked file.
    if (Interrupted() || !ok || !result.transferred) {
        remove(temporary.c_str());
        if (Interrupted()) {
            fprintf(stderr, "kivupdate: download cancelled; %s is unchanged\n", destination);
            return kExitCancelled;
        }
        if (!ok) {
            fprintf(stderr, "kivupdate: download failed: %s; %s is unchanged\n",
                    result.errorText[0] ? result.errorText : "the transfer was incomplete",
                    destination);
            return kExitFailed;
        }
        printf("%s is up to date (not modified on the server)\n", destination);
        return kExitNothingNew;
    }
    if (!options.sha256.empty()) {
        char digest[65] = "";
        uint8_t bytes[kUpdateDigestSize];
        if (UpdateFileSha256(temporary.c_str(), bytes))
            UpdateFormatDigest(bytes, digest);
        if (options.sha256 != digest) {
            remove(temporary.c_str());
            fprintf(stderr, "kivupdate: the download's SHA-256 is %s, not %s; %s is unchanged\n",
                    digest, options.sha256.c_str(), destination);
            return kExitMismatch;
        }
    }
    if (!options.keys.empty()) {
        UpdateVerdict verdict =
            UpdateVerifyFile(keys, temporary.c_str(), signature.data(), signature.size(), nullptr);
        if (verdict != UPDATE_OK) {
            remove(temporary.c_str());
            std::string detail = std::string("the download does not match ") + url + ".sig; " +
                                 destination + " is unchanged";
            return ReportVerdict(verdict, detail.c_str());
        }
    }
    if (!UpdateReplaceFile(temporary.c_str(), destination)) {
        fprintf(stderr, "kivupdate: cannot replace %s: %s\n", destination, strerror(errno));
        remove(temporary.c_str());
        return kExitFailed;
    }
    printf("downloaded %s\n", destination);
    return kExitOk;
}

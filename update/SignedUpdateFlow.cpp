// The host's whole path: a verified, fresh document, then a package checked against it
// before it reaches its place. See update/SignedUpdate.h.
#include "update/SignedUpdate.h"

#include "text/BoundedText.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kPackageNameMax = 200; // characters of a package's file name

void SetDetail(char* detail, size_t size, const char* text) {
    if (detail != nullptr && size > 0)
        StrCopy(detail, size, text);
}

// The file name a package URL ends in: the last part of its path, without a query or
// fragment. Empty when that part could climb out of the directory or name a device or
// stream (a separator, a colon, "." or "..", control characters) or is too long: such a
// name is refused rather than changed, as a changed name would not be the one signed.
std::string PackageName(const char* url) {
    std::string path(url);
    path = path.substr(0, path.find_first_of("?#"));
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.size() > kPackageNameMax)
        return std::string();
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '\\' || c == ':')
            return std::string();
    return name;
}

bool IsDirectoryPath(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && (status.st_mode & S_IFMT) == S_IFDIR;
}

// The size of a file, or -1.
long long FileSize(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

} // namespace

UpdateVerdict UpdateFetchSignature(const char* url, const UpdateDownloadOptions& options,
                                   std::string* signature) {
    signature->clear();
    if (url == nullptr)
        return UPDATE_FAILED;
    UpdateFetchResult answer;
    UpdateFetch((std::string(url) + ".sig").c_str(), options, &answer);
    if (answer.outcome == UPDATE_FETCH_BAD_URL || answer.outcome == UPDATE_FETCH_NO_CONNECTION)
        return UPDATE_FAILED;
    if (answer.outcome != UPDATE_FETCH_ANSWERED || answer.status != 200)
        return UPDATE_NO_SIGNATURE;
    signature->swap(answer.body);
    return UPDATE_OK;
}

UpdateVerdict SignedUpdateFetchDocument(const char* url, const TrustedKeys& keys, int32_t language,
                                        int64_t now, const UpdateDownloadOptions& options,
                                        SignedDocument* out, char* detail, size_t detailSize) {
    SetDetail(detail, detailSize, "");
    out->bytes.clear();
    memset(out->key_id, 0, sizeof out->key_id);
    memset(&out->facts, 0, sizeof out->facts);
    if (url == nullptr) {
        SetDetail(detail, detailSize, "no URL");
        return UPDATE_FAILED;
    }

    UpdateFetchResult document;
    UpdateFetch(url, options, &document);
    switch (document.outcome) {
    case UPDATE_FETCH_BAD_URL:
        SetDetail(detail, detailSize, "the URL cannot be used");
        return UPDATE_FAILED;
    case UPDATE_FETCH_NO_CONNECTION:
        SetDetail(detail, detailSize, "no connection");
        return UPDATE_FAILED;
    case UPDATE_FETCH_NO_ANSWER:
        SetDetail(detail, detailSize, "the server gave no answer");
        return UPDATE_NO_FACTS;
    case UPDATE_FETCH_ANSWERED:
        break;
    }
    if (document.status != 200) {
        char text[64];
        StrFormat(text, sizeof text, "the server answered %u", document.status);
        SetDetail(detail, detailSize, text);
        return UPDATE_NO_FACTS;
    }

    std::string signature;
    UpdateVerdict verdict = UpdateFetchSignature(url, options, &signature);
    if (verdict != UPDATE_OK) {
        SetDetail(detail, detailSize,
                  verdict == UPDATE_FAILED ? "the signature could not be fetched"
                                           : "the server has no signature beside the document");
        return verdict;
    }
    // Nothing of the document is read before its bytes are verified.
    verdict = UpdateVerifyBytes(keys, document.body.data(), document.body.size(), signature.data(),
                                signature.size(), out->key_id);
    if (verdict == UPDATE_UNKNOWN_KEY) {
        char text[128];
        char id[65];
        UpdateFormatDigest(out->key_id, id);
        StrFormat(text, sizeof text, "the document is signed by key %s", id);
        SetDetail(detail, detailSize, text);
        return verdict;
    }
    if (verdict != UPDATE_OK) {
        SetDetail(detail, detailSize,
                  verdict == UPDATE_BAD_SIGNATURE
                      ? "the document's signature is malformed or does not match its bytes"
                      : "the document cannot be checked");
        return verdict;
    }

    if (!UpdateDocumentRead(document.body.data(), document.body.size(), language, &out->facts)) {
        SetDetail(detail, detailSize, "out of memory");
        return UPDATE_FAILED;
    }
    if (!UpdateDocumentFresh(out->facts, now)) {
        char text[96] = "the document names no expiry time (Expires)";
        if (out->facts.expires_state == UPDATE_VALUE_MALFORMED) {
            StrCopy(text, sizeof text, "the document's Expires is not a time YYYY-MM-DDTHH:MM:SSZ");
        } else if (out->facts.expires_state == UPDATE_VALUE_VALID) {
            char when[32] = "?";
            UpdateFormatTime(out->facts.expires, when, sizeof when);
            StrFormat(text, sizeof text, "the document expired at %s", when);
        }
        SetDetail(detail, detailSize, text);
        return UPDATE_EXPIRED;
    }
    out->bytes.swap(document.body);
    return UPDATE_OK;
}

UpdateVerdict SignedUpdateInstall(const SignedDocument& document, UpdatePackageKind kind,
                                  const UpdateVersion* installed, const char* directory,
                                  const UpdateDownloadOptions& options, std::string* installedPath,
                                  char* detail, size_t detailSize) {
    SetDetail(detail, detailSize, "");
    if (installedPath != nullptr)
        installedPath->clear();
    if (kind < 0 || kind >= kUpdatePackageKinds || directory == nullptr) {
        SetDetail(detail, detailSize, "no such package kind or directory");
        return UPDATE_FAILED;
    }
    const UpdatePackage& package = document.facts.packages[kind];
    const char* what = package.url[0] == '\0'                       ? "no download URL"
                       : !package.has_size || package.size <= 0     ? "no size"
                       : package.digest_state != UPDATE_VALUE_VALID ? "no valid SHA-256"
                                                                    : nullptr;
    if (what != nullptr) {
        char text[96];
        StrFormat(text, sizeof text, "the signed document gives %s for the package", what);
        SetDetail(detail, detailSize, text);
        return UPDATE_NO_FACTS;
    }
    const UpdateVersion& offered = document.facts.release;
    if (installed != nullptr && UpdateCompareVersions(offered, *installed) <= 0) {
        char text[128];
        StrFormat(text, sizeof text, "the document offers %d.%d.%d, %d.%d.%d is installed",
                  offered.version, offered.service_pack, offered.build, installed->version,
                  installed->service_pack, installed->build);
        SetDetail(detail, detailSize, text);
        return UPDATE_NOT_NEWER;
    }
    std::string name = PackageName(package.url);
    if (name.empty()) {
        SetDetail(detail, detailSize, "the package URL ends in no usable file name");
        return UPDATE_FAILED;
    }
    if (!IsDirectoryPath(directory)) {
        SetDetail(detail, detailSize, "the destination is not a directory");
        return UPDATE_FAILED;
    }
    std::string destination(directory);
    if (destination.back() != '/' && destination.back() != '\\')
        destination += '/';
    destination += name;
    std::string temporary;
    if (!UpdateTemporaryName(destination.c_str(), &temporary)) {
        SetDetail(detail, detailSize, "no free temporary name in the directory");
        return UPDATE_FAILED;
    }

    // The body may not grow past the signed size; what arrives is checked before use.
    UpdateDownloadOptions bounded = options;
    bounded.maxBytes = static_cast<uint64_t>(package.size);
    UpdateDownloadResult result;
    int ok = UpdateDownload(package.url, temporary.c_str(), bounded, &result);
    UpdateVerdict verdict = UPDATE_OK;
    char text[256] = ""; // room for two digests in hex
    if (!ok || !result.transferred) {
        verdict = result.tooLarge ? UPDATE_TOO_LARGE : UPDATE_FAILED;
        StrFormat(text, sizeof text, "%s",
                  result.tooLarge       ? "the server sends more than the signed size"
                  : result.errorText[0] ? result.errorText
                                        : "the transfer was incomplete");
    } else {
        long long size = FileSize(temporary.c_str());
        uint8_t digest[kUpdateDigestSize];
        if (size != package.size) {
            verdict = UPDATE_DIGEST_MISMATCH;
            StrFormat(text, sizeof text, "the package has %lld bytes, the signed size is %d", size,
                      package.size);
        } else if (!UpdateFileSha256(temporary.c_str(), digest)) {
            verdict = UPDATE_FAILED;
            StrCopy(text, sizeof text, "the downloaded package cannot be read");
        } else if (memcmp(digest, package.sha256, sizeof digest) != 0) {
            verdict = UPDATE_DIGEST_MISMATCH;
            char got[65], want[65];
            UpdateFormatDigest(digest, got);
            UpdateFormatDigest(package.sha256, want);
            StrFormat(text, sizeof text, "the package's SHA-256 is %s, the signed one %s", got,
                      want);
        } else if (!UpdateReplaceFile(temporary.c_str(), destination.c_str())) {
            verdict = UPDATE_FAILED;
            StrCopy(text, sizeof text, "the package cannot be moved into the directory");
        }
    }
    if (verdict != UPDATE_OK) {
        remove(temporary.c_str());
        SetDetail(detail, detailSize, text);
        return verdict;
    }
    if (installedPath != nullptr)
        *installedPath = destination;
    return UPDATE_OK;
}

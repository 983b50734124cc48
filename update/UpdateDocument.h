// What a host checks in an update-information document beyond the facts that
// CheckForUpdate returns: the release's version, the packages' URLs, sizes and SHA-256
// digests, and the time after which the document is no longer to be trusted.
//
// Every value comes from the one section that the update check reads ("Language N", or
// "Language 2" when that is missing), through the same profile lookups, so a host reads
// its facts, digests and expiry from the same lines. The keys beside the twelve that
// CheckForUpdate reads, which older hosts pass over:
//
//   Sha256            SHA-256 of the package at UrlDownload (64 hex digits, either case)
//   Sha256-x86        SHA-256 of the package at UrlDownload-x86
//   Sha256-x86-64     SHA-256 of the package at UrlDownload-x86-64
//   Expires           YYYY-MM-DDTHH:MM:SSZ, a UTC time: the document is stale from then on
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kUpdateDigestSize = 32; // SHA-256

// The packages a document can name, in the order of the kinds.
enum UpdatePackageKind {
    UPDATE_PACKAGE_GENERIC = 0, // UrlDownload, Filesize, Sha256
    UPDATE_PACKAGE_X86 = 1,     // UrlDownload-x86, Filesize-x86, Sha256-x86
    UPDATE_PACKAGE_X64 = 2,     // UrlDownload-x86-64, Filesize-x86-64, Sha256-x86-64
};
constexpr int kUpdatePackageKinds = 3;

// Whether an optional key was found and read.
enum UpdateValueState {
    UPDATE_VALUE_ABSENT = 0,
    UPDATE_VALUE_VALID = 1,
    UPDATE_VALUE_MALFORMED = 2, // present, but not in the key's form
};

// A release number: Version, Servicepack and Build, compared in that order.
struct UpdateVersion {
    int32_t version;
    int32_t service_pack;
    int32_t build;
};

struct UpdatePackage {
    char url[256];                     // "" when the document names none
    int32_t size;                      // as the check reads it; 0 when absent
    int has_size;                      // 1 when the size key is present
    UpdateValueState digest_state;     // of the Sha256 key
    uint8_t sha256[kUpdateDigestSize]; // valid with UPDATE_VALUE_VALID
};

struct UpdateDocument {
    char section[64];      // the section the values came from
    UpdateVersion release; // absent numbers read as 0
    UpdatePackage packages[kUpdatePackageKinds];
    UpdateValueState expires_state;
    int64_t expires; // seconds since 1970-01-01 UTC, with UPDATE_VALUE_VALID
};

// Reads the values for `language` from the document's `size` bytes (taken as the update
// check takes a body). Returns 1; 0 only for a null argument or when memory runs out.
int UpdateDocumentRead(const char* bytes, size_t size, int32_t language, UpdateDocument* out);

// The document may be used at `now` (seconds since 1970 UTC): it carries a valid expiry
// time that lies after `now`. A document without one never counts as fresh, so a signed
// document cannot be replayed for ever.
int UpdateDocumentFresh(const UpdateDocument& document, int64_t now);

// "YYYY-MM-DDTHH:MM:SSZ" (years 1970 to 9999, real calendar dates, seconds 0 to 59) to
// seconds since 1970 UTC. 1 on success, 0 for any other text.
int UpdateParseTime(const char* text, int64_t* out);
// The same form from seconds since 1970; `out` holds at least 21 bytes. 0 when the time
// lies outside the years 1970 to 9999.
int UpdateFormatTime(int64_t time, char* out, size_t outSize);

// 64 hex digits, either case, to 32 bytes; 1 on success.
int UpdateParseDigest(const char* text, uint8_t out[kUpdateDigestSize]);
// 32 bytes to 64 lower-case hex digits and a NUL (`out` holds 65 bytes).
void UpdateFormatDigest(const uint8_t digest[kUpdateDigestSize], char out[65]);

// "V", "V.S" or "V.S.B" in decimal digits (each at most 2147483647; missing parts are 0)
// to a version. 1 on success.
int UpdateParseVersion(const char* text, UpdateVersion* out);
// Negative, zero or positive as `a` is older than, the same as or newer than `b`.
int UpdateCompareVersions(const UpdateVersion& a, const UpdateVersion& b);

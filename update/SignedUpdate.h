// Signed updates: a publisher signs the update-information document (and any other file)
// with RSA-PSS over SHA-256 into a detached FILE.sig (update/UpdateSignature.h); a host
// that trusts the publisher's public keys (update/TrustedKeys.h) checks the signature
// over the exact bytes it received before it reads a single fact, refuses a document
// whose expiry time has passed, and takes a package only when it is newer than what is
// installed, no larger than the signed document says, and has the signed SHA-256.
//
// Every refusal has its own verdict, and leaves nothing behind: temporary files are
// removed and the destination is not touched.
//
// Calling order for the whole path: SignedUpdateFetchDocument (document and signature,
// verified, fresh) -> SignedUpdateInstall (the package, checked and moved into place).
// The parts stand alone too: UpdateVerifyDigest and friends check a signature over bytes
// or a file; UpdateSignDigest makes one.
#pragma once

#include "crypto/RsaKey.h"
#include "update/TrustedKeys.h"
#include "update/UpdateDocument.h"
#include "update/UpdateService.h"
#include "update/UpdateSignature.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum UpdateVerdict {
    UPDATE_OK = 0,
    UPDATE_FAILED,          // bad URL, no connection, a file that cannot be read or written
    UPDATE_NO_FACTS,        // no document (the server answered other than 200), or it lacks
                            // what the step needs (the package's URL, size or digest)
    UPDATE_NO_SIGNATURE,    // the server has no signature beside the file
    UPDATE_BAD_SIGNATURE,   // the signature file is malformed, or does not verify
    UPDATE_UNKNOWN_KEY,     // signed with a key that is not trusted
    UPDATE_EXPIRED,         // the document's expiry time has passed, or it names none
    UPDATE_NOT_NEWER,       // the document's release is not newer than the installed one
    UPDATE_TOO_LARGE,       // the package is larger than the signed document says
    UPDATE_DIGEST_MISMATCH, // the package's SHA-256 (or size) is not the signed one
};

// A short English description of a verdict ("signature does not verify", ...).
const char* UpdateVerdictText(UpdateVerdict verdict);

// SHA-256 of a file's bytes; 1, or 0 when it cannot be read.
int UpdateFileSha256(const char* path, uint8_t digest[kUpdateDigestSize]);

// Checks the signature file text (`size` bytes; null or 0 bytes count as no signature)
// over the SHA-256 `digest` of the signed bytes. UPDATE_OK, UPDATE_NO_SIGNATURE,
// UPDATE_BAD_SIGNATURE (malformed, or the signature does not verify) or
// UPDATE_UNKNOWN_KEY. `keyId` (may be null) receives the key id named by the file when
// it could be read.
UpdateVerdict UpdateVerifyDigest(const TrustedKeys& keys, const uint8_t digest[kUpdateDigestSize],
                                 const char* signature, size_t size, uint8_t* keyId);
// The same over `dataSize` bytes at `data`, and over the bytes of a file (UPDATE_FAILED
// when it cannot be read).
UpdateVerdict UpdateVerifyBytes(const TrustedKeys& keys, const void* data, size_t dataSize,
                                const char* signature, size_t size, uint8_t* keyId);
UpdateVerdict UpdateVerifyFile(const TrustedKeys& keys, const char* path, const char* signature,
                               size_t size, uint8_t* keyId);

// What can be told of a signature file before the signed bytes are at hand: whether it
// can be read and names a trusted key (UPDATE_OK, UPDATE_NO_SIGNATURE,
// UPDATE_BAD_SIGNATURE, UPDATE_UNKNOWN_KEY). A download asks this first, so that a file
// that can never verify is not fetched.
UpdateVerdict UpdateSignatureUsable(const TrustedKeys& keys, const char* signature, size_t size);

// Signs the SHA-256 `digest` with `key` and writes the signature file's text (and a NUL)
// into `out`. Returns the text's length, or 0 on failure (a key below kUpdateMinKeyBits,
// no random numbers, `out` too small: kUpdateSignatureFileMax bytes always suffice).
size_t UpdateSignDigest(const RsaPrivateKey* key, const uint8_t digest[kUpdateDigestSize],
                        char* out, size_t outSize);

// Fetches `url` + ".sig" as UpdateFetch does. UPDATE_OK with the body in `signature`
// (its form is for the verification to judge); UPDATE_NO_SIGNATURE when the server
// answered other than 200; UPDATE_FAILED when it could not be asked.
UpdateVerdict UpdateFetchSignature(const char* url, const UpdateDownloadOptions& options,
                                   std::string* signature);

// A document fetched, verified and read.
struct SignedDocument {
    std::string bytes;                // the body exactly as received and verified
    uint8_t key_id[kUpdateKeyIdSize]; // the key that signed it
    UpdateDocument facts;             // read from bytes for the language asked
};

// Fetches the document at `url` and its signature at `url` + ".sig" (proxy settings of
// `options`; progress is not used), verifies the signature over the document's bytes,
// reads the values of `language` and checks that the document is fresh at `now`.
// UPDATE_OK, or UPDATE_FAILED (no connection), UPDATE_NO_FACTS (the document answer was
// not 200), UPDATE_NO_SIGNATURE, UPDATE_BAD_SIGNATURE, UPDATE_UNKNOWN_KEY, UPDATE_EXPIRED.
// `detail` (may be null) receives a sentence for the message.
UpdateVerdict SignedUpdateFetchDocument(const char* url, const TrustedKeys& keys, int32_t language,
                                        int64_t now, const UpdateDownloadOptions& options,
                                        SignedDocument* out, char* detail, size_t detailSize);

// Downloads the package of `kind` that the verified `document` names into `directory`:
// refused (UPDATE_NOT_NEWER) when `installed` (may be null: nothing installed) is not
// older than the document's release, and (UPDATE_NO_FACTS) when the document lacks the
// package's URL, a positive size or a valid SHA-256. The body goes to a temporary file in
// the directory with the document's size as a hard limit (UPDATE_TOO_LARGE), its SHA-256
// and length are checked (UPDATE_DIGEST_MISMATCH), and only then is it moved over
// directory/NAME, NAME being the last part of the package URL's path. Any failure
// removes the temporary file and leaves the directory as it was. `installedPath` (may be
// null) receives the path of the file put in place.
UpdateVerdict SignedUpdateInstall(const SignedDocument& document, UpdatePackageKind kind,
                                  const UpdateVersion* installed, const char* directory,
                                  const UpdateDownloadOptions& options, std::string* installedPath,
                                  char* detail, size_t detailSize);

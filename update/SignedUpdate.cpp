// Signing and verifying detached signatures: see update/SignedUpdate.h.
#include "update/SignedUpdate.h"

#include "crypto/Digest.h"
#include "crypto/RsaSignature.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kFileReadPiece = 16 * 1024;

const char* const kVerdictTexts[] = {
    "accepted",
    "failed",
    "no release facts",
    "no signature",
    "bad signature",
    "signed with a key that is not trusted",
    "expired",
    "not newer than the installed release",
    "larger than the signed size",
    "SHA-256 does not match the signed one",
};

} // namespace

const char* UpdateVerdictText(UpdateVerdict verdict) {
    size_t index = static_cast<size_t>(verdict);
    return index < sizeof kVerdictTexts / sizeof kVerdictTexts[0] ? kVerdictTexts[index]
                                                                  : "unknown verdict";
}

int UpdateFileSha256(const char* path, uint8_t digest[kUpdateDigestSize]) {
    FILE* file = path != nullptr ? fopen(path, "rb") : nullptr;
    if (file == nullptr)
        return 0;
    DigestContext context;
    DigestInit(&context, &kDigestSha256);
    uint8_t piece[kFileReadPiece];
    bool ok = true;
    for (;;) {
        size_t count = fread(piece, 1, sizeof piece, file);
        if (count > 0)
            ok = ok && DigestUpdate(&context, piece, count);
        if (count < sizeof piece)
            break;
    }
    ok = ok && !ferror(file);
    fclose(file);
    // Final wipes the context either way.
    uint8_t result[kUpdateDigestSize];
    ok = DigestFinal(&context, result, sizeof result) && ok;
    if (ok)
        memcpy(digest, result, sizeof result);
    return ok ? 1 : 0;
}

UpdateVerdict UpdateSignatureUsable(const TrustedKeys& keys, const char* signature, size_t size) {
    if (signature == nullptr || size == 0)
        return UPDATE_NO_SIGNATURE;
    UpdateSignature parsed;
    if (!UpdateSignatureParse(signature, size, &parsed))
        return UPDATE_BAD_SIGNATURE;
    return keys.Find(parsed.key_id) != nullptr ? UPDATE_OK : UPDATE_UNKNOWN_KEY;
}

UpdateVerdict UpdateVerifyDigest(const TrustedKeys& keys, const uint8_t digest[kUpdateDigestSize],
                                 const char* signature, size_t size, uint8_t* keyId) {
    if (signature == nullptr || size == 0)
        return UPDATE_NO_SIGNATURE;
    UpdateSignature parsed;
    if (!UpdateSignatureParse(signature, size, &parsed))
        return UPDATE_BAD_SIGNATURE;
    if (keyId != nullptr)
        memcpy(keyId, parsed.key_id, kUpdateKeyIdSize);
    const RsaPublicKey* key = keys.Find(parsed.key_id);
    if (key == nullptr)
        return UPDATE_UNKNOWN_KEY;
    // The salt length is fixed by the scheme: a signature with any other is not ours.
    return RsaPssVerify(key, &kDigestSha256, &kDigestSha256, kUpdateSaltSize, digest,
                        kUpdateDigestSize, parsed.value, parsed.value_size, nullptr)
               ? UPDATE_OK
               : UPDATE_BAD_SIGNATURE;
}

UpdateVerdict UpdateVerifyBytes(const TrustedKeys& keys, const void* data, size_t dataSize,
                                const char* signature, size_t size, uint8_t* keyId) {
    uint8_t digest[kUpdateDigestSize];
    if (!Digest(&kDigestSha256, data, dataSize, digest, sizeof digest))
        return UPDATE_FAILED;
    return UpdateVerifyDigest(keys, digest, signature, size, keyId);
}

UpdateVerdict UpdateVerifyFile(const TrustedKeys& keys, const char* path, const char* signature,
                               size_t size, uint8_t* keyId) {
    uint8_t digest[kUpdateDigestSize];
    if (!UpdateFileSha256(path, digest))
        return UPDATE_FAILED;
    return UpdateVerifyDigest(keys, digest, signature, size, keyId);
}

size_t UpdateSignDigest(const RsaPrivateKey* key, const uint8_t digest[kUpdateDigestSize],
                        char* out, size_t outSize) {
    if (key == nullptr || digest == nullptr)
        return 0;
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    if (RsaKeyBits(publicKey) < kUpdateMinKeyBits)
        return 0;
    UpdateSignature signature;
    memset(&signature, 0, sizeof signature);
    signature.value_size = RsaKeySize(publicKey);
    size_t written = 0;
    if (signature.value_size <= sizeof signature.value &&
        UpdateKeyId(publicKey, signature.key_id) &&
        RsaPssSign(key, &kDigestSha256, &kDigestSha256, kUpdateSaltSize, digest, kUpdateDigestSize,
                   signature.value, signature.value_size))
        written = UpdateSignatureFormat(signature, out, outSize);
    return written;
}

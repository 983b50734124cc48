// Trusted update keys: see update/TrustedKeys.h.
#include "update/TrustedKeys.h"

#include "crypto/Digest.h"
#include "crypto/RsaKeyCodec.h"

#include <cstring>
#include <new>

int UpdateKeyId(const RsaPublicKey* key, uint8_t id[kUpdateKeyIdSize]) {
    if (key == nullptr)
        return 0;
    // The largest key's SubjectPublicKeyInfo: a modulus and an exponent of 8,192 bits each
    // with their DER framing.
    uint8_t der[2 * kRsaMaxBits / 8 + 64];
    size_t size = RsaPublicKeyToDer(key, RSA_KEY_X509, der, sizeof der);
    return size != 0 && Digest(&kDigestSha256, der, size, id, kUpdateKeyIdSize);
}

TrustedKeys::~TrustedKeys() {
    Clear();
}

TrustedKeys::TrustedKeys(TrustedKeys&& other) noexcept : entries_(std::move(other.entries_)) {
    other.entries_.clear();
}

TrustedKeys& TrustedKeys::operator=(TrustedKeys&& other) noexcept {
    if (this != &other) {
        Clear();
        entries_ = std::move(other.entries_);
        other.entries_.clear();
    }
    return *this;
}

void TrustedKeys::Clear() {
    for (Entry& entry : entries_)
        RsaPublicKeyFree(entry.key);
    entries_.clear();
}

TrustedKeyAdd TrustedKeys::AddPem(const char* text, size_t size) {
    if (text == nullptr)
        return TRUSTED_KEY_NOT_A_KEY;
    return Add(RsaPublicKeyFromPem(text, size));
}

TrustedKeyAdd TrustedKeys::Add(RsaPublicKey* key) {
    if (key == nullptr)
        return TRUSTED_KEY_NOT_A_KEY;
    if (RsaKeyBits(key) < kUpdateMinKeyBits) {
        RsaPublicKeyFree(key);
        return TRUSTED_KEY_TOO_SHORT;
    }
    Entry entry;
    entry.key = key;
    if (!UpdateKeyId(key, entry.id)) {
        RsaPublicKeyFree(key);
        return TRUSTED_KEY_NOT_A_KEY;
    }
    if (Find(entry.id) != nullptr) {
        RsaPublicKeyFree(key);
        return TRUSTED_KEY_ADDED;
    }
    try {
        entries_.push_back(entry);
    } catch (const std::bad_alloc&) {
        RsaPublicKeyFree(key);
        return TRUSTED_KEY_NOT_A_KEY;
    }
    return TRUSTED_KEY_ADDED;
}

const RsaPublicKey* TrustedKeys::Find(const uint8_t id[kUpdateKeyIdSize]) const {
    for (const Entry& entry : entries_)
        if (memcmp(entry.id, id, kUpdateKeyIdSize) == 0)
            return entry.key;
    return nullptr;
}

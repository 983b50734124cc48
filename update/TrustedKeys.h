// The RSA public keys a host trusts to sign its updates, each known by its key id: the
// SHA-256 of its SubjectPublicKeyInfo DER, whatever form it was read from. A set holds
// several keys so that a publisher can replace its key: hosts trust the old and the new
// key while documents signed with either are about, then the new one alone.
#pragma once

#include "crypto/RsaKey.h"
#include "update/UpdateSignature.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Keys shorter than this are refused as trust anchors (RSA-2048 is the smallest size
// still considered sound for signatures).
constexpr uint32_t kUpdateMinKeyBits = 2048;

// Writes the key id of `key` into `id`. 1, or 0 when the key cannot be encoded.
int UpdateKeyId(const RsaPublicKey* key, uint8_t id[kUpdateKeyIdSize]);

// What TrustedKeys::AddPem made of a text.
enum TrustedKeyAdd {
    TRUSTED_KEY_ADDED = 1,      // in the set now (also when it was there already)
    TRUSTED_KEY_NOT_A_KEY = 0,  // no RSA public key in PEM form ("PUBLIC KEY" / "RSA PUBLIC KEY")
    TRUSTED_KEY_TOO_SHORT = -1, // a modulus below kUpdateMinKeyBits
};

class TrustedKeys {
public:
    TrustedKeys() = default;
    ~TrustedKeys();
    TrustedKeys(TrustedKeys&& other) noexcept;
    TrustedKeys& operator=(TrustedKeys&& other) noexcept;
    TrustedKeys(const TrustedKeys&) = delete;
    TrustedKeys& operator=(const TrustedKeys&) = delete;

    // Adds the public key in the PEM text of `size` bytes.
    TrustedKeyAdd AddPem(const char* text, size_t size);
    // Adds `key` and takes it over (it is freed with the set, or at once when it is
    // refused or already present). Same results as AddPem.
    TrustedKeyAdd Add(RsaPublicKey* key);

    size_t Count() const { return entries_.size(); }
    // The key whose id is `id`, owned by the set; null when the set has none.
    const RsaPublicKey* Find(const uint8_t id[kUpdateKeyIdSize]) const;

private:
    struct Entry {
        RsaPublicKey* key;
        uint8_t id[kUpdateKeyIdSize];
    };
    void Clear();
    std::vector<Entry> entries_;
};

// The RSA known-answer files of Debian's python3-cryptography-vectors, read into one list
// of named fields whichever of the two layouts a file uses: NIST's responses
// ("name = value" lines, "# Salt len: 20" comments) and the PKCS#1 example files ("# Label:"
// and lines of hex bytes below it). Also the RSA keys of those files, and small helpers the
// RSA tests share.
#pragma once

#include "CryptoTestHelpers.h"
#include "crypto/RsaKey.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct VectorField {
    std::string name;  // "n", "Msg", "Modulus", "Prime exponent 1", "Salt len", ...
    std::string value; // hex digits without spaces, or the text after ": " of a comment
};

// The folder the package installs (asymmetric/RSA/... below it); KIV_CRYPTO_VECTORS
// names another.
std::string CryptoVectorsDir();

// The fields of `path` in file order; false when it cannot be opened.
bool ReadVectorFields(const std::string& path, std::vector<VectorField>* fields);

inline Bytes BytesFromHex(const std::string& hex) {
    const std::string bytes = Unhex(hex);
    return Bytes(bytes.begin(), bytes.end());
}
inline std::string HexOf(const uint8_t* data, size_t size) {
    return Hex(data, size);
}
inline std::string HexOf(const Bytes& data) {
    return HexOf(data.data(), data.size());
}

struct RsaKeyFree {
    void operator()(RsaPublicKey* key) const { RsaPublicKeyFree(key); }
    void operator()(RsaPrivateKey* key) const { RsaPrivateKeyFree(key); }
};
using PublicKeyPtr = std::unique_ptr<RsaPublicKey, RsaKeyFree>;
using PrivateKeyPtr = std::unique_ptr<RsaPrivateKey, RsaKeyFree>;

// A key's components as the PKCS#1 files label them, gathered field by field: a file
// names the public exponent "Exponent" in the public key and "Public exponent" in the
// private one, whose "Exponent" is d.
class VectorKey {
public:
    // Takes the field if it is a key component ("n" or "Modulus" after a complete key
    // starts the next key); false for any other field.
    bool Take(const VectorField& field);
    // The keys, made at first use from the components so far; null when they do not
    // make one (a private key needs all eight).
    const RsaPublicKey* Public();
    const RsaPrivateKey* Private();
    // Hands the private key over to the caller.
    PrivateKeyPtr ReleasePrivate() { return std::move(private_); }

private:
    void Reset();
    Bytes parts_[8]; // indexed by RsaComponent
    PublicKeyPtr public_;
    PrivateKeyPtr private_;
};

// The private key of the first example of the PKCS#1 file at `relativePath` under the RSA
// folder, or null.
PrivateKeyPtr FirstVectorKey(const std::string& relativePath, int example = 1);

// RSA signature and encryption schemes against the known answers of Debian's
// python3-cryptography-vectors: every example of each file is signed or encrypted (where
// the file gives the private key and the random input) and compared byte for byte, then
// verified or decrypted. A file that is missing, or holds fewer examples than it should,
// fails: a reader that silently skipped cases would prove nothing.
#include "support/RsaVectors.h"
#include "TestHelpers.h"
#include "crypto/RsaEncryption.h"
#include "crypto/RsaSignature.h"

#include <string>

namespace {

enum class Scheme { kPkcs1Signature, kPss, kOaep, kPkcs1Encryption };

struct VectorFile {
    const char* path; // under asymmetric/RSA/
    Scheme scheme;
    size_t examples;
};

// The signature-verification files (SigVer*) and oaep-custom are kept for an independent
// review and stay out of this suite.
const VectorFile kFiles[] = {
    {"FIPS_186-2/SigGen15_186-2.rsp", Scheme::kPkcs1Signature, 250},
    {"FIPS_186-2/SigGen15_186-3.rsp", Scheme::kPkcs1Signature, 250},
    {"FIPS_186-2/SigGenPSS_186-2.rsp", Scheme::kPss, 250},
    {"FIPS_186-2/SigGenPSS_186-3.rsp", Scheme::kPss, 250},
    {"pkcs-1v2-1d2-vec/pss-vect.txt", Scheme::kPss, 60},
    {"pkcs-1v2-1d2-vec/oaep-vect.txt", Scheme::kOaep, 60},
    {"pkcs1v15sign-vectors.txt", Scheme::kPkcs1Signature, 300},
    {"pkcs1v15crypt-vectors.txt", Scheme::kPkcs1Encryption, 300},
};

// One example: the hash (SHA-1 where the file names none), the message, the salt, seed or
// padding when the file gives it, and the signature or ciphertext.
struct Example {
    const DigestAlgorithm* hash;
    Bytes message;
    Bytes random;
    Bytes expected;
    size_t saltSize; // PSS: the file's salt, or the salt length its header states
};

Bytes HashOf(const DigestAlgorithm* hash, const Bytes& message) {
    Bytes digest(hash->digest_size);
    EXPECT_EQ(1, Digest(hash, message.data(), message.size(), digest.data(), digest.size()));
    return digest;
}

void CheckPkcs1Signature(VectorKey& key, const Example& x) {
    const RsaPublicKey* publicKey = key.Public();
    ASSERT_NE(nullptr, publicKey);
    Bytes digest = HashOf(x.hash, x.message);
    if (const RsaPrivateKey* privateKey = key.Private()) {
        Bytes signature(x.expected.size());
        EXPECT_EQ(1, RsaPkcs1Sign(privateKey, x.hash, digest.data(), digest.size(),
                                  signature.data(), signature.size()));
        EXPECT_EQ(HexOf(x.expected), HexOf(signature));
    }
    EXPECT_EQ(1, RsaPkcs1Verify(publicKey, x.hash, digest.data(), digest.size(), x.expected.data(),
                                x.expected.size()));
    digest.back() ^= 1;
    EXPECT_EQ(0, RsaPkcs1Verify(publicKey, x.hash, digest.data(), digest.size(), x.expected.data(),
                                x.expected.size()));
}

void CheckPss(VectorKey& key, const Example& x) {
    const RsaPublicKey* publicKey = key.Public();
    ASSERT_NE(nullptr, publicKey);
    Bytes digest = HashOf(x.hash, x.message);
    const RsaPrivateKey* privateKey = key.Private();
    if (privateKey != nullptr && !x.random.empty()) {
        Bytes signature(x.expected.size());
        EXPECT_EQ(1, RsaPssSignWithSalt(privateKey, x.hash, x.hash, x.random.data(),
                                        x.random.size(), digest.data(), digest.size(),
                                        signature.data(), signature.size()));
        EXPECT_EQ(HexOf(x.expected), HexOf(signature));
    }
    // The salt length found, and each fixed length: the right one passes, its neighbours
    // do not.
    size_t found = 12345;
    EXPECT_EQ(1, RsaPssVerify(publicKey, x.hash, x.hash, kRsaPssSaltAny, digest.data(),
                              digest.size(), x.expected.data(), x.expected.size(), &found));
    EXPECT_EQ(x.saltSize, found);
    for (size_t salt : {x.saltSize - 1, x.saltSize, x.saltSize + 1}) {
        if (salt == kRsaPssSaltAny)
            continue;
        EXPECT_EQ(salt == x.saltSize ? 1 : 0,
                  RsaPssVerify(publicKey, x.hash, x.hash, salt, digest.data(), digest.size(),
                               x.expected.data(), x.expected.size(), nullptr))
            << "salt " << salt;
    }
    digest[0] ^= 0x80;
    EXPECT_EQ(0, RsaPssVerify(publicKey, x.hash, x.hash, kRsaPssSaltAny, digest.data(),
                              digest.size(), x.expected.data(), x.expected.size(), &found));
    EXPECT_EQ(0u, found);
}

// Encrypts with the file's seed or padding, then decrypts into a buffer exactly the
// message's size.
void CheckEncryption(VectorKey& key, const Example& x, bool oaep) {
    const RsaPublicKey* publicKey = key.Public();
    const RsaPrivateKey* privateKey = key.Private();
    ASSERT_NE(nullptr, publicKey);
    ASSERT_NE(nullptr, privateKey);
    Bytes ciphertext(x.expected.size());
    EXPECT_EQ(1, oaep ? RsaOaepEncryptWithSeed(publicKey, x.hash, x.hash, nullptr, 0,
                                               x.random.data(), x.message.data(), x.message.size(),
                                               ciphertext.data(), ciphertext.size())
                      : RsaPkcs1EncryptWithPadding(publicKey, x.random.data(), x.message.data(),
                                                   x.message.size(), ciphertext.data(),
                                                   ciphertext.size()));
    EXPECT_EQ(HexOf(x.expected), HexOf(ciphertext));
    Bytes message(x.message.size());
    size_t size = 0;
    EXPECT_EQ(1, oaep ? RsaOaepDecrypt(privateKey, x.hash, x.hash, nullptr, 0, x.expected.data(),
                                       x.expected.size(), message.data(), message.size(), &size)
                      : RsaPkcs1Decrypt(privateKey, x.expected.data(), x.expected.size(),
                                        message.data(), message.size(), &size));
    EXPECT_EQ(x.message.size(), size);
    EXPECT_EQ(HexOf(x.message), HexOf(message));
}

// Feeds the fields of one file through a key and an example in the making; every
// signature or ciphertext field completes an example, which is checked at once.
size_t RunFile(const VectorFile& file, const std::vector<VectorField>& fields) {
    VectorKey key;
    Example x = {&kDigestSha1, {}, {}, {}, 0};
    size_t headerSalt = 0;
    size_t examples = 0;
    for (const VectorField& field : fields) {
        const std::string& name = field.name;
        if (key.Take(field))
            continue;
        if (name == "SHAAlg") {
            x.hash = DigestByName(field.value.c_str());
            EXPECT_NE(nullptr, x.hash) << field.value;
        } else if (name == "Salt len") {
            headerSalt = std::stoul(field.value);
        } else if (name == "Msg" || name == "Message" || name == "Message to be signed") {
            x.message = BytesFromHex(field.value);
            x.random.clear();
        } else if (name == "Salt" || name == "Seed") {
            x.random = BytesFromHex(field.value);
        } else if (name == "S" || name == "Signature" || name == "Encryption") {
            x.expected = BytesFromHex(field.value);
            x.saltSize = x.random.empty() ? headerSalt : x.random.size();
            SCOPED_TRACE(testing::Message() << file.path << " example " << examples + 1);
            if (x.hash == nullptr)
                continue;
            switch (file.scheme) {
            case Scheme::kPkcs1Signature:
                CheckPkcs1Signature(key, x);
                break;
            case Scheme::kPss:
                CheckPss(key, x);
                break;
            case Scheme::kOaep:
            case Scheme::kPkcs1Encryption:
                CheckEncryption(key, x, file.scheme == Scheme::kOaep);
                break;
            }
            ++examples;
        }
    }
    return examples;
}

TEST(RsaVectors, EveryExampleOfEveryFile) {
    FOR_EACH_CASE(file, kFiles) {
        SCOPED_TRACE(file.path);
        std::vector<VectorField> fields;
        ASSERT_TRUE(ReadVectorFields(CryptoVectorsDir() + "/asymmetric/RSA/" + file.path, &fields))
            << "the vectors are missing: install python3-cryptography-vectors";
        EXPECT_EQ(file.examples, RunFile(file, fields));
    }
}

} // namespace

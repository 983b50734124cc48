// The RSA schemes on blocks that are wrong in one place each: a verifier or a decryption
// that accepts any of them is lax somewhere the known answers never look. Blocks are
// made by taking a good one apart with the raw operation, altering it (masks taken off
// for PSS and OAEP) and putting it back together with the other raw operation; values
// that are no number below the modulus in k bytes are refused too. Also the
// constant-time shift against memmove, and random round trips.
#include "crypto/RsaPadding.h"
#include "RsaTestKeys.h"
#include "TestHelpers.h"
#include "crypto/Mgf1.h"
#include "crypto/RsaEncryption.h"
#include "crypto/RsaKeyCodec.h"
#include "crypto/RsaSignature.h"
#include "support/RsaVectors.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

namespace {

enum Scheme { kPkcs1Sign, kPss, kPssOddBits, kOaep, kPkcs1Crypt };

// The keys: the first of each PKCS#1 file, and PSS's 1025-bit second key (its encoded
// message is one byte shorter than the modulus), indexed by Scheme.
const RsaPrivateKey* Key(Scheme scheme) {
    static const PrivateKeyPtr keys[] = {FirstVectorKey("pkcs1v15sign-vectors.txt"),
                                         FirstVectorKey("pkcs-1v2-1d2-vec/pss-vect.txt"),
                                         FirstVectorKey("pkcs-1v2-1d2-vec/pss-vect.txt", 2),
                                         FirstVectorKey("pkcs-1v2-1d2-vec/oaep-vect.txt"),
                                         FirstVectorKey("pkcs1v15crypt-vectors.txt")};
    return keys[scheme].get();
}

// Where things are in a block of k bytes (sizes for SHA-256, with MGF1 over SHA-1 so that
// a mix-up of the two shows).
struct Shape {
    size_t k;
    size_t db;      // PSS and OAEP: the first byte of DB
    size_t dbLen;   // their DB's size
    size_t info;    // PKCS#1 v1.5 signatures: the first byte of the DigestInfo
    size_t message; // encryption: the message's size
};
const DigestAlgorithm* const kHash = &kDigestSha256;
const DigestAlgorithm* const kMgf = &kDigestSha1;
const size_t kSalt = 20;
const uint8_t kLabel[] = "kiv";

// XORs the masks of PSS (DB under MGF(H)) or OAEP (seed under MGF(maskedDB), then DB
// under MGF(seed)) on, or off when `off`.
void ToggleMasks(Scheme scheme, Bytes& em, const Shape& s, bool off) {
    uint8_t* db = em.data() + s.db;
    if (scheme == kPss || scheme == kPssOddBits) {
        Mgf1Xor(kMgf, db + s.dbLen, kHash->digest_size, db, s.dbLen);
    } else if (scheme == kOaep) {
        uint8_t* seed = em.data() + 1;
        if (off)
            Mgf1Xor(kMgf, db, s.dbLen, seed, kHash->digest_size);
        Mgf1Xor(kMgf, seed, kHash->digest_size, db, s.dbLen);
        if (!off)
            Mgf1Xor(kMgf, db, s.dbLen, seed, kHash->digest_size);
    }
}

struct AlteredCase {
    Scheme scheme;
    const char* what;
    size_t message; // encryption: the message's size (kMax: the longest)
    void (*alter)(Bytes& em, const Shape& s);
    int accepted;
    bool outShort = false; // decrypt into a buffer one byte short of the message
    // Changes the finished signature or ciphertext instead (`n` is the modulus).
    void (*spoil)(Bytes& output, const Bytes& n) = nullptr;
};
const size_t kMax = ~size_t{0};

const AlteredCase kAltered[] = {
    {kPkcs1Sign, "as made", 0, nullptr, 1},
    {kPkcs1Sign, "leading byte 01", 0, [](Bytes& em, const Shape&) { em[0] = 1; }, 0},
    {kPkcs1Sign, "block type 02", 0, [](Bytes& em, const Shape&) { em[1] = 2; }, 0},
    {kPkcs1Sign, "a padding byte FE", 0, [](Bytes& em, const Shape&) { em[9] = 0xFE; }, 0},
    {kPkcs1Sign, "padding ends in 01", 0, [](Bytes& em, const Shape& s) { em[s.info - 1] = 1; }, 0},
    {kPkcs1Sign, "DigestInfo without the NULL", 0,
     [](Bytes& em, const Shape& s) {
         em.erase(em.begin() + s.info + 6 + 9, em.begin() + s.info + 6 + 11);
         em[s.info + 1] -= 2;
         em[s.info + 3] -= 2;
         em.insert(em.begin() + 2, 2, 0xFF);
     },
     0},
    {kPkcs1Sign, "DigestInfo length in long form", 0,
     [](Bytes& em, const Shape& s) {
         em.erase(em.begin() + 2);
         em.insert(em.begin() + s.info, 0x81);
     },
     0},
    {kPkcs1Sign, "another digest's OID", 0, [](Bytes& em, const Shape& s) { em[s.info + 14] ^= 3; },
     0},
    {kPkcs1Sign, "a byte after the digest", 0,
     [](Bytes& em, const Shape&) {
         em.erase(em.begin() + 2);
         em.push_back(0);
     },
     0},
    {kPkcs1Sign, "another digest", 0, [](Bytes& em, const Shape&) { em.back() ^= 1; }, 0},
    {kPss, "as made", 0, nullptr, 1},
    {kPssOddBits, "as made", 0, nullptr, 1},
    {kPss, "trailer BB", 0, [](Bytes& em, const Shape&) { em.back() = 0xBB; }, 0},
    {kPss, "the bit above emBits", 0, [](Bytes& em, const Shape& s) { em[s.db] ^= 0x80; }, 0},
    {kPssOddBits, "a byte before EM", 0, [](Bytes& em, const Shape&) { em[0] = 1; }, 0},
    {kPssOddBits, "separator 00", 0,
     [](Bytes& em, const Shape& s) { em[s.db + s.dbLen - kSalt - 1] = 0; }, 0},
    {kPss, "separator 02", 0, [](Bytes& em, const Shape& s) { em[s.db + s.dbLen - kSalt - 1] = 2; },
     0},
    {kPss, "a byte in the padding", 0, [](Bytes& em, const Shape& s) { em[s.db + 3] = 0x40; }, 0},
    {kPss, "another salt", 0, [](Bytes& em, const Shape& s) { em[s.db + s.dbLen - 1] ^= 1; }, 0},
    {kPss, "another H", 0, [](Bytes& em, const Shape& s) { em[s.db + s.dbLen] ^= 1; }, 0},
    {kOaep, "as made", 20, nullptr, 1},
    {kOaep, "empty message", 0, nullptr, 1},
    {kOaep, "longest message", kMax, nullptr, 1},
    {kOaep, "into a buffer one short", 20, nullptr, 0, true},
    {kOaep, "leading byte 01", 20, [](Bytes& em, const Shape&) { em[0] = 1; }, 0},
    {kOaep, "another label digest", 20, [](Bytes& em, const Shape& s) { em[s.db + 31] ^= 1; }, 0},
    {kOaep, "separator 02", 20,
     [](Bytes& em, const Shape& s) { em[em.size() - s.message - 1] = 2; }, 0},
    {kOaep, "separator 00", 20,
     [](Bytes& em, const Shape& s) { em[em.size() - s.message - 1] = 0; }, 0},
    {kOaep, "no separator", 0, [](Bytes& em, const Shape&) { em.back() = 0; }, 0},
    {kOaep, "a byte in the padding", 20, [](Bytes& em, const Shape& s) { em[s.db + 34] = 7; }, 0},
    {kPkcs1Crypt, "as made", 20, nullptr, 1},
    {kPkcs1Crypt, "empty message", 0, nullptr, 1},
    {kPkcs1Crypt, "eight bytes of padding", kMax, nullptr, 1},
    {kPkcs1Crypt, "into a buffer one short", 20, nullptr, 0, true},
    {kPkcs1Crypt, "seven bytes of padding", kMax, [](Bytes& em, const Shape&) { em[9] = 0; }, 0},
    {kPkcs1Crypt, "no padding", 20, [](Bytes& em, const Shape&) { em[2] = 0; }, 0},
    {kPkcs1Crypt, "leading byte 01", 20, [](Bytes& em, const Shape&) { em[0] = 1; }, 0},
    {kPkcs1Crypt, "block type 01", 20, [](Bytes& em, const Shape&) { em[1] = 1; }, 0},
    {kPkcs1Crypt, "no separator", 0, [](Bytes& em, const Shape&) { em.back() = 0x55; }, 0},
};

// Signatures and ciphertexts that are no number below the modulus in k bytes, for each
// scheme: the modulus, all ones, a zero byte before a good one, its first byte gone.
void ToModulus(Bytes& output, const Bytes& n) {
    output = n;
}
void ToOnes(Bytes& output, const Bytes&) {
    output.assign(output.size(), 0xFF);
}
void Lengthen(Bytes& output, const Bytes&) {
    output.insert(output.begin(), 0);
}
void Shorten(Bytes& output, const Bytes&) {
    output.erase(output.begin());
}
const AlteredCase kOutOfRange[] = {
    {kPkcs1Sign, "the modulus", 0, nullptr, 0, false, ToModulus},
    {kPss, "all ones", 0, nullptr, 0, false, ToOnes},
    {kOaep, "the modulus", 20, nullptr, 0, false, ToModulus},
    {kPkcs1Crypt, "all ones", 20, nullptr, 0, false, ToOnes},
    {kPkcs1Sign, "one byte longer", 0, nullptr, 0, false, Lengthen},
    {kPss, "one byte shorter", 0, nullptr, 0, false, Shorten},
    {kOaep, "one byte longer", 20, nullptr, 0, false, Lengthen},
    {kPkcs1Crypt, "one byte shorter", 20, nullptr, 0, false, Shorten},
};

// The message of encryption cases: no byte is 0 or 1, so none can pass for a separator.
Bytes TestMessage(size_t size) {
    Bytes message(size);
    for (size_t i = 0; i < size; ++i)
        message[i] = static_cast<uint8_t>(0x80 | (i & 0x7F));
    return message;
}

// A good output of the case's scheme; `attempt` varies its random input.
Bytes MakeGood(const AlteredCase& c, const RsaPrivateKey* key, const Bytes& digest,
               const Bytes& message, size_t k, int attempt) {
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    Bytes random(k, static_cast<uint8_t>(0x21 + attempt)), out(k);
    int made = 0;
    if (c.scheme == kPkcs1Sign)
        made = RsaPkcs1Sign(key, kHash, digest.data(), digest.size(), out.data(), k);
    else if (c.scheme == kPss || c.scheme == kPssOddBits)
        made = RsaPssSignWithSalt(key, kHash, kMgf, random.data(), kSalt, digest.data(),
                                  digest.size(), out.data(), k);
    else if (c.scheme == kOaep)
        made = RsaOaepEncryptWithSeed(publicKey, kHash, kMgf, kLabel, sizeof kLabel, random.data(),
                                      message.data(), message.size(), out.data(), k);
    else
        made = RsaPkcs1EncryptWithPadding(publicKey, random.data(), message.data(), message.size(),
                                          out.data(), k);
    EXPECT_EQ(1, made);
    return out;
}

// Runs the case's verification or decryption; for encryption also checks what the
// decryption wrote: the message and zeros up to the longest message (all zeros on
// failure), nothing after.
int Check(const AlteredCase& c, const RsaPrivateKey* key, const Bytes& digest, const Bytes& message,
          const Bytes& output, size_t longest) {
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    size_t k = RsaKeySize(publicKey), size = output.size(), found = 7;
    if (c.scheme == kPkcs1Sign)
        return RsaPkcs1Verify(publicKey, kHash, digest.data(), digest.size(), output.data(), size);
    if (c.scheme == kPss || c.scheme == kPssOddBits) {
        int fixed = RsaPssVerify(publicKey, kHash, kMgf, kSalt, digest.data(), digest.size(),
                                 output.data(), size, nullptr);
        int any = RsaPssVerify(publicKey, kHash, kMgf, kRsaPssSaltAny, digest.data(), digest.size(),
                               output.data(), size, &found);
        EXPECT_EQ(fixed, any);
        EXPECT_EQ(any ? kSalt : 0, found);
        return any;
    }
    size_t outSize = c.outShort ? message.size() - 1 : k;
    Bytes out(outSize + 8, 0xAA);
    int result = c.scheme == kOaep
                     ? RsaOaepDecrypt(key, kHash, kMgf, kLabel, sizeof kLabel, output.data(), size,
                                      out.data(), outSize, &found)
                     : RsaPkcs1Decrypt(key, output.data(), size, out.data(), outSize, &found);
    // A ciphertext refused before decryption (not k bytes below the modulus) leaves `out`.
    Bytes expected(c.spoil != nullptr ? 0 : std::min(outSize, longest), 0);
    if (result)
        std::copy(message.begin(), message.end(), expected.begin());
    expected.resize(out.size(), 0xAA);
    EXPECT_EQ(HexOf(expected), HexOf(out));
    EXPECT_EQ(result ? message.size() : 0, found);
    return result;
}

// Makes a good output, takes it apart, alters the block or the output and checks the
// verdict.
void RunAltered(const AlteredCase& c) {
    Bytes digest(32);
    Digest(kHash, "message", 7, digest.data(), digest.size());
    const RsaPrivateKey* key = Key(c.scheme);
    ASSERT_NE(nullptr, key) << "the vectors are missing: install python3-cryptography-vectors";
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    const bool signature = c.scheme <= kPssOddBits;
    Shape s = {};
    s.k = RsaKeySize(publicKey);
    size_t hLen = kHash->digest_size;
    s.db = c.scheme == kOaep ? 1 + hLen : s.k - (RsaKeyBits(publicKey) + 6) / 8;
    s.dbLen = c.scheme == kOaep ? s.k - hLen - 1 : s.k - s.db - hLen - 1;
    s.info = s.k - 19 - hLen;
    size_t longest = c.scheme == kOaep ? s.k - 2 * hLen - 2 : s.k - 11;
    s.message = c.message == kMax ? longest : c.message;
    Bytes message = TestMessage(s.message);
    // An altered block may come out at or above the modulus; another random input
    // gives another block.
    Bytes output;
    for (int attempt = 0; output.empty() && attempt < 40; ++attempt) {
        Bytes good = MakeGood(c, key, digest, message, s.k, attempt), em(s.k);
        if (signature ? !RsaPublicOp(publicKey, good.data(), s.k, em.data(), s.k)
                      : !RsaPrivateOp(key, good.data(), s.k, em.data(), s.k))
            break;
        ToggleMasks(c.scheme, em, s, true);
        if (c.alter != nullptr)
            c.alter(em, s);
        ASSERT_EQ(s.k, em.size());
        ToggleMasks(c.scheme, em, s, false);
        output.resize(s.k);
        if (!(signature ? RsaPrivateOp(key, em.data(), s.k, output.data(), s.k)
                        : RsaPublicOp(publicKey, em.data(), s.k, output.data(), s.k)))
            output.clear();
    }
    ASSERT_FALSE(output.empty());
    if (c.spoil != nullptr) {
        Bytes n(s.k);
        RsaPrivateKeyComponent(key, RSA_N, n.data(), n.size());
        c.spoil(output, n);
    }
    EXPECT_EQ(c.accepted, Check(c, key, digest, message, output, longest));
}

TEST(RsaPadding, AlteredBlocksAreRefused) {
    FOR_EACH_CASE(c, kAltered) {
        SCOPED_TRACE(c.what);
        RunAltered(c);
    }
    FOR_EACH_CASE(c, kOutOfRange) {
        SCOPED_TRACE(c.what);
        RunAltered(c);
    }
}

// The shift against memmove for every shift up to past the end, on sizes around powers
// of two.
TEST(RsaPadding, ShiftMatchesMemmove) {
    for (size_t size : {0, 1, 2, 3, 7, 8, 9, 64, 117}) {
        for (size_t shift = 0; shift <= size + 2; ++shift) {
            Bytes data(size), expected(size, 0);
            for (size_t i = 0; i < size; ++i)
                data[i] = static_cast<uint8_t>(i * 7 + 1);
            if (shift < size)
                std::copy(data.begin() + shift, data.end(), expected.begin());
            RsaShiftLeftCt(data.data(), size, shift);
            EXPECT_EQ(HexOf(expected), HexOf(data)) << size << " by " << shift;
        }
    }
    uint8_t one = 9;
    RsaShiftLeftCt(&one, 1, ~size_t{0});
    EXPECT_EQ(0, one);
}

// Random salts, seeds and padding: every salt length from none to the longest the key
// takes (one more is refused), labels, and two encryptions of one message that differ.
TEST(RsaPadding, RandomRoundTrips) {
    const RsaPrivateKey* key = Key(kPss);
    ASSERT_NE(nullptr, key);
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    size_t k = RsaKeySize(publicKey);
    for (const DigestAlgorithm* hash : {&kDigestSha1, &kDigestSha256, &kDigestSha512}) {
        SCOPED_TRACE(hash->name);
        Bytes digest(hash->digest_size, 0x33), signature(k), first(k), second(k), out(k);
        size_t longest = k - hash->digest_size - 2, found = 0;
        for (size_t salt : {size_t{0}, size_t{20}, longest, longest + 1}) {
            std::fill(signature.begin(), signature.end(), 0);
            EXPECT_EQ(salt <= longest, RsaPssSign(key, hash, &kDigestSha1, salt, digest.data(),
                                                  digest.size(), signature.data(), k));
            EXPECT_EQ(salt <= longest,
                      RsaPssVerify(publicKey, hash, &kDigestSha1, kRsaPssSaltAny, digest.data(),
                                   digest.size(), signature.data(), k, &found));
            EXPECT_EQ(salt <= longest ? salt : 0, found);
        }
        const bool fits = 2 * hash->digest_size + 2 <= k;
        Bytes message = TestMessage(30);
        EXPECT_EQ(fits, RsaOaepEncrypt(publicKey, hash, hash, "L", 1, message.data(), 30,
                                       first.data(), k));
        EXPECT_EQ(fits, RsaOaepEncrypt(publicKey, hash, hash, "L", 1, message.data(), 30,
                                       second.data(), k));
        EXPECT_EQ(fits,
                  RsaOaepDecrypt(key, hash, hash, "L", 1, first.data(), k, out.data(), k, &found) &&
                      found == 30 && memcmp(out.data(), message.data(), 30) == 0);
        EXPECT_EQ(0,
                  RsaOaepDecrypt(key, hash, hash, "M", 1, first.data(), k, out.data(), k, &found));
        EXPECT_TRUE(!fits || HexOf(first) != HexOf(second));
    }
    Bytes message = TestMessage(k - 11), first(k), second(k), em(k), out(k);
    size_t found = 0;
    EXPECT_EQ(1, RsaPkcs1Encrypt(publicKey, message.data(), k - 11, first.data(), k));
    EXPECT_EQ(1, RsaPkcs1Encrypt(publicKey, message.data(), k - 11, second.data(), k));
    EXPECT_NE(HexOf(first), HexOf(second));
    EXPECT_EQ(1, RsaPkcs1Decrypt(key, first.data(), k, out.data(), k, &found));
    EXPECT_EQ(HexOf(message), HexOf(out.data(), found));
    EXPECT_EQ(0, RsaPkcs1Encrypt(publicKey, message.data(), k - 10, first.data(), k));
}

// Sizes at the edge of what the 64-byte modulus of a 512-bit key (the smallest taken)
// holds, buffers one byte short, and missing arguments: each call is made or refused as
// the contracts say.
TEST(RsaPadding, SizesAndArguments) {
    const char* const pem = kRsaTestKeys[1].pkcs1;
    const PrivateKeyPtr owner(RsaPrivateKeyFromPem(pem, strlen(pem)));
    ASSERT_NE(nullptr, owner);
    const RsaPrivateKey* key = owner.get();
    const RsaPublicKey* pub = RsaPrivateKeyPublic(key);
    const DigestAlgorithm *sha1 = &kDigestSha1, *sha256 = &kDigestSha256, *sha384 = &kDigestSha384;
    uint8_t d[64] = {7}, m[64] = {9}, o[64], p[64];
    memset(p, 0x42, sizeof p);
    p[40] = 0;
    size_t n = 0;
    const std::pair<int, std::function<int()>> cases[] = {
        {1, [&] { return RsaPkcs1Sign(key, sha256, d, 32, o, 64); }}, // 19 + 32 + 11 = 64
        {0, [&] { return RsaPkcs1Sign(key, sha384, d, 48, o, 64); }},
        {0, [&] { return RsaPkcs1Sign(key, sha256, d, 31, o, 64); }},
        {0, [&] { return RsaPkcs1Sign(key, sha256, d, 32, o, 63); }},
        {0, [&] { return RsaPkcs1Sign(nullptr, sha256, d, 32, o, 64); }},
        {0, [&] { return RsaPkcs1Sign(key, nullptr, d, 32, o, 64); }},
        {0, [&] { return RsaPkcs1Verify(pub, sha256, d, 32, nullptr, 64); }},
        {1, [&] { return RsaPssSign(key, sha256, sha1, 30, d, 32, o, 64); }}, // 32 + 30 + 2
        {0, [&] { return RsaPssSign(key, sha256, sha1, 31, d, 32, o, 64); }},
        {0, [&] { return RsaPssSign(key, sha256, nullptr, 0, d, 32, o, 64); }},
        {0, [&] { return RsaPssSignWithSalt(key, sha256, sha1, nullptr, 1, d, 32, o, 64); }},
        {0, [&] { return RsaPssVerify(pub, sha256, sha1, 30, nullptr, 32, o, 64, &n); }},
        {1, [&] { return RsaOaepEncrypt(pub, sha1, sha256, "", 0, m, 22, o, 64); }}, // 42 + 22
        {0, [&] { return RsaOaepEncrypt(pub, sha1, sha256, "", 0, m, 23, o, 64); }},
        {0, [&] { return RsaOaepEncrypt(pub, sha256, sha1, "", 0, m, 0, o, 64); }},
        {0, [&] { return RsaOaepEncrypt(pub, sha1, sha1, nullptr, 1, m, 1, o, 64); }},
        {0, [&] { return RsaOaepEncrypt(pub, sha1, sha1, "", 0, m, 1, o, 63); }},
        {0, [&] { return RsaOaepDecrypt(key, sha1, sha1, "", 0, o, 64, nullptr, 64, &n); }},
        {1, [&] { return RsaPkcs1Encrypt(pub, m, 53, o, 64); }},
        {0, [&] { return RsaPkcs1Encrypt(pub, m, 54, o, 64); }},
        {0, [&] { return RsaPkcs1Encrypt(pub, m, 53, o, 63); }},
        {0, [&] { return RsaPkcs1EncryptWithPadding(pub, p, m, 20, o, 64); }}, // a zero at 40
        {1, [&] { return RsaPkcs1EncryptWithPadding(pub, p, m, 24, o, 64); }},
        {0, [&] { return RsaPkcs1EncryptWithPadding(pub, nullptr, m, 24, o, 64); }},
        {0, [&] { return RsaPkcs1EncryptWithPadding(pub, p, nullptr, 24, o, 64); }},
        {0, [&] { return RsaPkcs1EncryptWithPadding(pub, p, m, 24, nullptr, 64); }},
        {0, [&] { return RsaPkcs1Decrypt(key, o, 64, nullptr, 64, &n); }},
        {0, [&] { return Mgf1Xor(nullptr, d, 4, o, 4); }},
        {0, [&] { return Mgf1Xor(sha1, nullptr, 4, o, 4); }},
        {0, [&] { return Mgf1Xor(sha1, d, 4, nullptr, 4); }},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.first, c.second());
    }
}

// The mask's 257th block: MGF1's counter carries into its second byte.
TEST(RsaPadding, Mgf1CounterPastOneByte) {
    Bytes mask(257 * 20, 0), seed = {1, 2, 3, 0, 0, 1, 0};
    ASSERT_EQ(1, Mgf1Xor(&kDigestSha1, seed.data(), 3, mask.data(), mask.size()));
    uint8_t block[20];
    Digest(&kDigestSha1, seed.data(), seed.size(), block, sizeof block);
    EXPECT_EQ(HexOf(block, 20), HexOf(mask.data() + 256 * 20, 20));
}

} // namespace

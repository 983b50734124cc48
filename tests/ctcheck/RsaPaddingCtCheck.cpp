// The decoding of decrypted RSA blocks (OAEP and PKCS#1 v1.5) with the block undefined,
// the shift that moves the message out with its distance undefined, and the final
// comparison of both signature verifiers with the digest undefined. Each case also checks
// the answers, good blocks and bad ones alike.
#include "CtCheck.h"

#include "crypto/Mgf1.h"
#include "crypto/RsaPadding.h"
#include "crypto/RsaSignature.h"

#include <cstring>
#include <string>

namespace {

const size_t kBlock = 256; // a 2,048-bit modulus
const DigestAlgorithm* const kHash = &kDigestSha256;
const DigestAlgorithm* const kMgf = &kDigestSha1;

// What is wrong with a block (kFine: nothing) and the answer expected.
enum Fault {
    kFine,
    kLeadingByte,
    kBlockType,
    kLabel,
    kSeparator,
    kNoSeparator,
    kShortPadding,
    kRoom
};

struct Decoded {
    int result;
    size_t size;
    std::string out;
};

// Decodes `em` with all of it secret; the answer is made public afterwards.
Decoded Decode(bool oaep, std::string em, const uint8_t* labelHash, size_t outSize) {
    Decoded d = {0, 99, std::string(kBlock, '\x77')};
    uint8_t* block = reinterpret_cast<uint8_t*>(&em[0]);
    uint8_t* out = reinterpret_cast<uint8_t*>(&d.out[0]);
    CT_SECRET(block, kBlock);
    d.result =
        oaep ? RsaOaepDecodeBlock(kHash, kMgf, labelHash, block, kBlock, out, outSize, &d.size)
             : RsaPkcs1DecodeBlock(block, kBlock, out, outSize, &d.size);
    CT_PUBLIC(&d.result, sizeof d.result);
    CT_PUBLIC(&d.size, sizeof d.size);
    CT_PUBLIC(out, kBlock);
    CT_PUBLIC(block, kBlock);
    return d;
}

// Checks the answer; only the bytes of `out` decoding may write are looked at.
void Expect(const Decoded& d, Fault fault, const std::string& message, size_t room,
            const char* what) {
    bool good = fault == kFine;
    size_t n = message.size() < room ? message.size() : room;
    if (d.result != (good ? 1 : 0) || d.size != (good ? message.size() : 0) ||
        d.out.compare(0, n, good ? message : std::string(n, '\0')) != 0)
        CtFail(std::string(what) + ": wrong answer");
}

std::string Message(size_t size) {
    std::string message(size, '\0');
    for (size_t i = 0; i < size; ++i)
        message[i] = static_cast<char>(0x80 | (i * 5));
    return message;
}

const Fault kFaults[] = {kFine,      kLeadingByte, kBlockType,    kLabel,
                         kSeparator, kNoSeparator, kShortPadding, kRoom};

} // namespace

// EME-OAEP blocks of several message sizes, each also spoiled in one way.
CT_CASE(RsaOaepDecodeBlock) {
    const size_t hLen = kHash->digest_size, dbLen = kBlock - hLen - 1;
    uint8_t labelHash[32];
    Digest(kHash, "label", 5, labelHash, sizeof labelHash);
    for (size_t size : {size_t{0}, size_t{1}, size_t{57}, kBlock - 2 * hLen - 2}) {
        for (Fault fault : kFaults) {
            if (fault == kBlockType || fault == kShortPadding)
                continue;
            std::string message = Message(size), em(kBlock, '\0');
            uint8_t* block = reinterpret_cast<uint8_t*>(&em[0]);
            uint8_t* db = block + 1 + hLen;
            memcpy(db, labelHash, hLen);
            db[dbLen - size - 1] = fault == kSeparator ? 2 : fault == kNoSeparator ? 0 : 1;
            memcpy(db + dbLen - size, message.data(), size);
            db[0] ^= fault == kLabel ? 1 : 0;
            memset(block + 1, 0x3a, hLen);
            Mgf1Xor(kMgf, block + 1, hLen, db, dbLen);
            Mgf1Xor(kMgf, db, dbLen, block + 1, hLen);
            block[0] = fault == kLeadingByte ? 1 : 0;
            size_t room = fault == kRoom ? size - 1 : kBlock;
            if (fault == kRoom && size == 0)
                continue;
            Expect(Decode(true, em, labelHash, room), fault, message, room, "OAEP");
        }
    }
}

// EME-PKCS1-v1_5 blocks of several message sizes, each also spoiled in one way.
CT_CASE(RsaPkcs1DecodeBlock) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{100}, kBlock - 11}) {
        for (Fault fault : kFaults) {
            if (fault == kLabel || (fault == kRoom && size == 0) ||
                (fault == kShortPadding && size != kBlock - 11))
                continue;
            std::string message = Message(size), em(kBlock, '\x5e');
            em[0] = fault == kLeadingByte ? 1 : 0;
            em[1] = fault == kBlockType ? 1 : 2;
            em[kBlock - size - 1] = fault == kSeparator || fault == kNoSeparator ? '\x01' : '\0';
            em.replace(kBlock - size, size, message);
            if (fault == kShortPadding)
                em[9] = 0;
            size_t room = fault == kRoom ? size - 1 : kBlock;
            // A short padding leaves the block valid but for its length: the message
            // would be one zero byte longer.
            Expect(Decode(false, em, nullptr, room), fault, message, room, "PKCS#1 v1.5");
        }
    }
}

CT_CASE(RsaShiftLeftCt) {
    for (size_t shift : {size_t{0}, size_t{1}, size_t{13}, size_t{200}}) {
        uint8_t data[200];
        for (size_t i = 0; i < sizeof data; ++i)
            data[i] = static_cast<uint8_t>(i + 1);
        size_t secret = shift;
        CT_SECRET(data, sizeof data);
        CT_SECRET(&secret, sizeof secret);
        RsaShiftLeftCt(data, sizeof data, secret);
        CT_PUBLIC(data, sizeof data);
        for (size_t i = 0; i < sizeof data; ++i)
            if (data[i] != (i + shift < sizeof data ? i + shift + 1 : 0))
                CtFail("a byte moved wrongly");
    }
}

namespace {

// The first key of the PKCS#1 v2.1 PSS examples (1,024 bits), components in RsaComponent
// order.
const char* const kKey[8] = {
    "a56e4a0e701017589a5187dc7ea841d156f2ec0e36ad52a44dfeb1e61f7ad991d8c51056ffedb162b4c0f283a1"
    "2a88a394dff526ab7291cbb307ceabfce0b1dfd5cd9508096d5b2b8b6df5d671ef6377c0921cb23c270a70e259"
    "8e6ff89d19f105acc2d3f0cb35f29280e1386b6f64c4ef22e1e1f20d0ce8cffb2249bd9a2137",
    "010001",
    "33a5042a90b27d4f5451ca9bbbd0b44771a101af884340aef9885f2a4bbe92e894a724ac3c568c8f97853ad07c"
    "0266c8c6a3ca0929f1e8f11231884429fc4d9ae55fee896a10ce707c3ed7e734e44727a39574501a532683109c"
    "2abacaba283c31b4bd2f53c3ee37e352cee34f9e503bd80c0622ad79c6dcee883547c6a3b325",
    "e7e8942720a877517273a356053ea2a1bc0c94aa72d55c6e86296b2dfc967948c0a72cbccca7eacb35706e09a1"
    "df55a1535bd9b3cc34160b3b6dcd3eda8e6443",
    "b69dca1cf7d4d7ec81e75b90fcca874abcde123fd2700180aa90479b6e48de8d67ed24f9f19d85ba275874f542"
    "cd20dc723e6963364a1f9425452b269a6799fd",
    "28fa13938655be1f8a159cbaca5a72ea190c30089e19cd274a556f36c4f6e19f554b34c077790427bbdd8dd3ed"
    "e2448328f385d81b30e8e43b2fffa027861979",
    "1a8b38f398fa712049898d7fb79ee0a77668791299cdfa09efc0e507acb21ed74301ef5bfd48be455eaeb6e167"
    "8255827580a8e4e8e14151d1510a82a3f2e729",
    "27156aba4126d24a81f3a528cbfb27f56886f840a9f6e86e17a44b94fe9319584b8e22fdde1e5a2e3bd8aa5ba8"
    "d8584194eb2190acf832b847f13a3d24a79f4d",
};

} // namespace

// Verification of good signatures and of signatures of another digest, the digest being
// secret: only the rebuilt block (PKCS#1 v1.5) or H' (PSS) depends on it, and the
// comparison must neither branch nor stop on it.
CT_CASE(RsaVerifyComparisons) {
    std::string parts[8];
    RsaComponentsView view;
    for (int i = 0; i < 8; ++i) {
        parts[i] = CtUnhex(kKey[i]);
        view.data[i] = reinterpret_cast<const uint8_t*>(parts[i].data());
        view.size[i] = parts[i].size();
    }
    RsaPrivateKey* key = RsaPrivateKeyNew(&view);
    if (key == nullptr) {
        CtFail("the key was refused");
        return;
    }
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    uint8_t digest[32], pkcs1[128], pss[128];
    memset(digest, 0xd1, sizeof digest);
    if (!RsaPkcs1Sign(key, kHash, digest, 32, pkcs1, sizeof pkcs1) ||
        !RsaPssSign(key, kHash, kMgf, 20, digest, 32, pss, sizeof pss))
        CtFail("signing failed");
    for (uint8_t change : {0, 1}) {
        digest[31] ^= change;
        CT_SECRET(digest, sizeof digest);
        int first = RsaPkcs1Verify(publicKey, kHash, digest, 32, pkcs1, sizeof pkcs1);
        size_t salt = 0;
        int second = RsaPssVerify(publicKey, kHash, kMgf, kRsaPssSaltAny, digest, 32, pss,
                                  sizeof pss, &salt);
        CT_PUBLIC(&first, sizeof first);
        CT_PUBLIC(&second, sizeof second);
        CT_PUBLIC(&salt, sizeof salt);
        CT_PUBLIC(digest, sizeof digest);
        if (first != 1 - change || second != 1 - change || salt != (change ? 0 : 20))
            CtFail("verification answered wrongly");
    }
    RsaPrivateKeyFree(key);
}

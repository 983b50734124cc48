#include "crypto/RsaKeyCodec.h"
#include "KeyTestUtil.h"
#include "RsaTestKeys.h"
#include "TestHelpers.h"
#include "crypto/Pem.h"
#include "support/RsaVectors.h"

#include <cstring>
#include <tuple>
#include <type_traits>

namespace {

using namespace keytest;

// The DER inside a PEM text.
std::string DerOf(const std::string& pem) {
    PemBlock block;
    if (PemParse(pem.data(), pem.size(), &block) != PEM_OK)
        return "(no PEM)";
    std::string der(block.decoded_size, '\0');
    if (!PemDecode(&block, reinterpret_cast<uint8_t*>(&der[0]), der.size()))
        return "(bad PEM)";
    return der;
}

// Runs a writer the way a caller would: the size query, a buffer one byte short (refused,
// nothing written), then the exact buffer with guard bytes behind it. PEM writers count
// the NUL in the query and not in their result.
template <typename Key, typename Char>
std::string Write(size_t (*writer)(const Key*, RsaKeyFormat, Char*, size_t), const Key* key,
                  RsaKeyFormat format) {
    const size_t needed = writer(key, format, nullptr, 0), nul = std::is_same<Char, char>::value;
    if (needed == 0)
        return "(no size)";
    std::vector<Char> out(needed + 4, Char(0xA5));
    EXPECT_EQ(0u, writer(key, format, out.data(), needed - 1));
    EXPECT_EQ(std::vector<Char>(needed + 4, Char(0xA5)), out);
    const size_t written = writer(key, format, out.data(), needed);
    EXPECT_EQ(needed - nul, written);
    EXPECT_EQ(std::string(nul, '\0') + std::string(4, '\xA5'),
              std::string(out.begin() + written, out.end()));
    return std::string(out.begin(), out.begin() + written);
}

// Everything a key writes, as DER and as PEM, against OpenSSL's texts.
void ExpectPublicWrites(const RsaPublicKey* key, const RsaTestKey& expected) {
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(Hex(DerOf(expected.spki)), Hex(Write(RsaPublicKeyToDer, key, RSA_KEY_X509)));
    EXPECT_EQ(Hex(DerOf(expected.rsaPub)), Hex(Write(RsaPublicKeyToDer, key, RSA_KEY_PKCS1)));
    EXPECT_EQ(expected.spki, Write(RsaPublicKeyToPem, key, RSA_KEY_X509));
    EXPECT_EQ(expected.rsaPub, Write(RsaPublicKeyToPem, key, RSA_KEY_PKCS1));
}
void ExpectPrivateWrites(const RsaPrivateKey* key, const RsaTestKey& expected) {
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(Hex(DerOf(expected.pkcs8)), Hex(Write(RsaPrivateKeyToDer, key, RSA_KEY_PKCS8)));
    EXPECT_EQ(Hex(DerOf(expected.pkcs1)), Hex(Write(RsaPrivateKeyToDer, key, RSA_KEY_PKCS1)));
    EXPECT_EQ(expected.pkcs8, Write(RsaPrivateKeyToPem, key, RSA_KEY_PKCS8));
    EXPECT_EQ(expected.pkcs1, Write(RsaPrivateKeyToPem, key, RSA_KEY_PKCS1));
    ExpectPublicWrites(RsaPrivateKeyPublic(key), expected);
}

// OpenSSL's keys in each of their forms, as PEM and as DER, read here and written again in
// every form: each time exactly OpenSSL's bytes.
TEST(RsaKeyCodec, OpenSslKeysComeBackByteForByte) {
    for (const RsaTestKey& key : kRsaTestKeys) {
        SCOPED_TRACE(key.name);
        for (const char* pem : {key.pkcs8, key.pkcs1}) {
            const std::string der = DerOf(pem);
            const RsaKeyFormat format = pem == key.pkcs8 ? RSA_KEY_PKCS8 : RSA_KEY_PKCS1;
            RsaKeyStatus status = RSA_KEY_MALFORMED;
            ExpectPrivateWrites(
                PrivateKeyPtr(RsaPrivateKeyFromPem(pem, strlen(pem), &status)).get(), key);
            EXPECT_EQ(RSA_KEY_OK, status);
            ExpectPrivateWrites(
                PrivateKeyPtr(RsaPrivateKeyFromDer(U8(der), der.size(), format)).get(), key);
        }
        for (const char* pem : {key.spki, key.rsaPub}) {
            const std::string der = DerOf(pem);
            const RsaKeyFormat format = pem == key.spki ? RSA_KEY_X509 : RSA_KEY_PKCS1;
            RsaKeyStatus status = RSA_KEY_MALFORMED;
            ExpectPublicWrites(PublicKeyPtr(RsaPublicKeyFromPem(pem, strlen(pem), &status)).get(),
                               key);
            EXPECT_EQ(RSA_KEY_OK, status);
            ExpectPublicWrites(PublicKeyPtr(RsaPublicKeyFromDer(U8(der), der.size(), format)).get(),
                               key);
        }
    }
}

// A key's components as the codec reads them from OpenSSL's PKCS#1 text.
struct Parts {
    std::string c[8];
};
Parts PartsOf(const RsaTestKey& key) {
    Parts parts;
    const PrivateKeyPtr read(RsaPrivateKeyFromPem(key.pkcs1, strlen(key.pkcs1)));
    EXPECT_NE(nullptr, read);
    for (int i = 0; read != nullptr && i < 8; ++i) {
        uint8_t bytes[kRsaMaxBits / 8];
        const size_t n =
            RsaPrivateKeyComponent(read.get(), static_cast<RsaComponent>(i), bytes, sizeof bytes);
        parts.c[i] = std::string(reinterpret_cast<char*>(bytes), n);
    }
    return parts;
}

std::string Ints(const Parts& parts, int from, int to) {
    std::string out;
    for (int i = from; i < to; ++i)
        out += DerInt(parts.c[i]);
    return out;
}

enum Reader { PUB1, PUBX, PRIV1, PRIV8 };

// The reader's status; without a status pointer it makes a key just the same.
RsaKeyStatus ReadDer(const std::string& der, Reader reader) {
    RsaKeyStatus status = RSA_KEY_OK;
    if (reader == PUB1 || reader == PUBX) {
        const RsaKeyFormat format = reader == PUB1 ? RSA_KEY_PKCS1 : RSA_KEY_X509;
        const PublicKeyPtr key(RsaPublicKeyFromDer(U8(der), der.size(), format, &status));
        const PublicKeyPtr same(RsaPublicKeyFromDer(U8(der), der.size(), format));
        EXPECT_EQ(status == RSA_KEY_OK, key != nullptr);
        EXPECT_EQ(key != nullptr, same != nullptr);
    } else {
        const RsaKeyFormat format = reader == PRIV1 ? RSA_KEY_PKCS1 : RSA_KEY_PKCS8;
        const PrivateKeyPtr key(RsaPrivateKeyFromDer(U8(der), der.size(), format, &status));
        const PrivateKeyPtr same(RsaPrivateKeyFromDer(U8(der), der.size(), format));
        EXPECT_EQ(status == RSA_KEY_OK, key != nullptr);
        EXPECT_EQ(key != nullptr, same != nullptr);
    }
    return status;
}

// Each field of the four structures broken in turn, beside the structure as OpenSSL writes
// it, on the 512-bit key with the exponent 3.
TEST(RsaKeyCodec, StructureTable) {
    const Parts k = PartsOf(kRsaTestKeys[0]);
    const std::string v0 = DerInt(""), v1 = DerInt("\x01"), v2 = DerInt("\x02");
    const std::string oid = Tlv(0x06, Unhex("2a864886f70d010101")), null = Unhex("0500");
    const std::string algorithm = Tlv(0x30, oid + null), all = Ints(k, 0, 8);
    const std::string rsaPrivate = Tlv(0x30, v0 + all), rsaPublic = Tlv(0x30, Ints(k, 0, 2));
    auto pkcs8 = [&](const std::string& inner, const std::string& after = "") {
        return Tlv(0x30, v0 + algorithm + Tlv(0x04, inner) + after);
    };
    auto withAlgorithm = [&](const std::string& alg, const std::string& version = DerInt("")) {
        return Tlv(0x30, version + alg + Tlv(0x04, rsaPrivate));
    };
    auto spki = [&](const std::string& alg, const std::string& bits) {
        return Tlv(0x30, alg + Tlv(0x03, bits));
    };
    auto changed = [&](int which, char mask) {
        Parts parts = k;
        parts.c[which].back() ^= mask;
        return parts;
    };
    auto priv = [&](const Parts& parts, int to = 8) { return Tlv(0x30, v0 + Ints(parts, 0, to)); };
    Parts swapped = k;
    std::swap(swapped.c[RSA_P], swapped.c[RSA_Q]);
    std::swap(swapped.c[RSA_DP], swapped.c[RSA_DQ]);
    const std::string z(1, '\0'), bits = z + rsaPublic;
    const std::string attribute =
        Tlv(0x30, Tlv(0x06, Unhex("2b0601040182371102")) + Tlv(0x31, Tlv(0x04, "x")));
    const RsaKeyStatus BAD = RSA_KEY_MALFORMED, NO = RSA_KEY_REFUSED;
    const std::tuple<const char*, Reader, std::string, RsaKeyStatus> cases[] = {
        {"as OpenSSL writes it", PRIV1, rsaPrivate, RSA_KEY_OK},
        {"version 1: multi-prime", PRIV1, Tlv(0x30, v1 + all + Tlv(0x30, Tlv(0x30, Ints(k, 3, 6)))),
         RSA_KEY_MULTI_PRIME},
        {"version 2", PRIV1, Tlv(0x30, v2 + all), RSA_KEY_BAD_VERSION},
        {"version beyond 32 bits", PRIV1, Tlv(0x30, DerInt(Unhex("0100000000")) + all), BAD},
        {"version with a needless zero", PRIV1, Tlv(0x30, Unhex("02020000") + all), BAD},
        {"no version", PRIV1, Tlv(0x30, all), BAD},
        {"qInv missing", PRIV1, priv(k, 7), BAD},
        {"a ninth integer", PRIV1, Tlv(0x30, v0 + all + v1), BAD},
        {"a byte after the key", PRIV1, rsaPrivate + z, BAD},
        {"n with a needless zero", PRIV1,
         Tlv(0x30, v0 + Tlv(0x02, std::string(2, '\0') + k.c[0]) + Ints(k, 1, 8)), BAD},
        {"negative d", PRIV1,
         Tlv(0x30, v0 + Ints(k, 0, 2) + Tlv(0x02, "\xFF" + k.c[2]) + Ints(k, 3, 8)), BAD},
        {"indefinite length", PRIV1, Unhex("3080") + v0 + all + Unhex("0000"), BAD},
        {"length with a leading zero byte", PRIV1, Unhex("308300") + rsaPrivate.substr(2), BAD},
        {"a SET", PRIV1, Tlv(0x31, v0 + all), BAD},
        {"p and q swapped", PRIV1, priv(swapped), NO},
        {"d changed", PRIV1, priv(changed(RSA_D, 2)), NO},
        {"qInv changed", PRIV1, priv(changed(RSA_QINV, 1)), NO},
        {"public key asked", PUB1, rsaPrivate, BAD},
        {"info as OpenSSL writes it", PRIV8, pkcs8(rsaPrivate), RSA_KEY_OK},
        {"info with attributes", PRIV8, pkcs8(rsaPrivate, Tlv(0xA0, attribute)), RSA_KEY_OK},
        {"info with empty attributes", PRIV8, pkcs8(rsaPrivate, Unhex("a000")), RSA_KEY_OK},
        {"attributes broken inside", PRIV8, pkcs8(rsaPrivate, Tlv(0xA0, Unhex("31 03 3080 00"))),
         BAD},
        {"attributes then more", PRIV8, pkcs8(rsaPrivate, Unhex("a000") + v0), BAD},
        {"a public key field", PRIV8, pkcs8(rsaPrivate, Tlv(0xA1, Tlv(0x03, "\0"))), BAD},
        {"info version 1", PRIV8, withAlgorithm(algorithm, v1), RSA_KEY_BAD_VERSION},
        {"inner multi-prime", PRIV8, pkcs8(Tlv(0x30, v1 + all)), RSA_KEY_MULTI_PRIME},
        {"inner byte after", PRIV8, pkcs8(rsaPrivate + z), BAD},
        {"info byte after", PRIV8, pkcs8(rsaPrivate) + z, BAD},
        {"parameters absent", PRIV8, withAlgorithm(Tlv(0x30, oid)), BAD},
        {"parameters not NULL", PRIV8, withAlgorithm(Tlv(0x30, oid + v0)), BAD},
        {"RSASSA-PSS", PRIV8, withAlgorithm(Tlv(0x30, Tlv(0x06, Unhex("2a864886f70d01010a")))),
         RSA_KEY_NOT_RSA},
        {"object identifier one byte short", PRIV8,
         withAlgorithm(Tlv(0x30, Tlv(0x06, Unhex("2a864886f70d0101")) + null)), RSA_KEY_NOT_RSA},
        {"constructed octet string", PRIV8,
         Tlv(0x30, v0 + algorithm + Tlv(0x24, Tlv(0x04, rsaPrivate))), BAD},
        {"encrypted info", PRIV8,
         Tlv(0x30, Tlv(0x30, Tlv(0x06, Unhex("2a864886f70d01050d"))) + Tlv(0x04, "secret")),
         RSA_KEY_ENCRYPTED},
        {"PKCS#1 where PKCS#8 is asked", PRIV8, rsaPrivate, BAD},
        {"public key as OpenSSL writes it", PUB1, rsaPublic, RSA_KEY_OK},
        {"even modulus", PUB1, Tlv(0x30, Ints(changed(RSA_N, 1), 0, 2)), NO},
        {"exponent 1", PUB1, Tlv(0x30, DerInt(k.c[0]) + v1), NO},
        {"even exponent", PUB1, Tlv(0x30, DerInt(k.c[0]) + DerInt("\x01\x00\x00")), NO},
        {"negative modulus", PUB1, Tlv(0x30, Tlv(0x02, k.c[0]) + DerInt(k.c[1])), BAD},
        {"a third integer", PUB1, Tlv(0x30, Ints(k, 0, 3)), BAD},
        {"public byte after", PUB1, rsaPublic + z, BAD},
        {"exponent missing", PUB1, Tlv(0x30, DerInt(k.c[0])), BAD},
        {"info of a public key", PUBX, spki(algorithm, bits), RSA_KEY_OK},
        {"unused bits", PUBX, spki(algorithm, "\x01" + rsaPublic), BAD},
        {"bits hold a byte more", PUBX, spki(algorithm, bits + z), BAD},
        {"octet string for bits", PUBX, Tlv(0x30, algorithm + Tlv(0x04, rsaPublic)), BAD},
        {"no parameters", PUBX, spki(Tlv(0x30, oid), bits), BAD},
        {"algorithm with a third field", PUBX, spki(Tlv(0x30, oid + null + null), bits), BAD},
        {"elliptic curve", PUBX,
         spki(Tlv(0x30, Tlv(0x06, Unhex("2a8648ce3d0201")) + Tlv(0x06, Unhex("2a8648ce3d030107"))),
              bits),
         RSA_KEY_NOT_RSA},
        {"info byte after", PUBX, spki(algorithm, bits) + z, BAD},
        {"PKCS#1 where X.509 is asked", PUBX, rsaPublic, BAD},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(std::get<3>(c), ReadDer(std::get<2>(c), std::get<1>(c))) << std::get<0>(c);
    }
}

// Every proper prefix of OpenSSL's encodings is refused, and so is each with a byte more.
TEST(RsaKeyCodec, CutAndLengthenedEncodingsAreRefused) {
    const RsaTestKey& key = kRsaTestKeys[1];
    const std::pair<std::string, Reader> encodings[] = {
        {DerOf(key.pkcs8), PRIV8},
        {DerOf(key.pkcs1), PRIV1},
        {DerOf(key.spki), PUBX},
        {DerOf(key.rsaPub), PUB1},
    };
    FOR_EACH_CASE(c, encodings) {
        EXPECT_EQ(RSA_KEY_OK, ReadDer(c.first, c.second));
        for (size_t n = 0; n < c.first.size(); ++n)
            ASSERT_EQ(RSA_KEY_MALFORMED, ReadDer(c.first.substr(0, n), c.second)) << n;
        EXPECT_EQ(RSA_KEY_MALFORMED, ReadDer(c.first + std::string(1, '\x05'), c.second));
    }
}

RsaKeyStatus ReadPem(const std::string& text, bool isPrivate) {
    RsaKeyStatus status = RSA_KEY_OK;
    bool made = false;
    if (isPrivate)
        made = PrivateKeyPtr(RsaPrivateKeyFromPem(text.data(), text.size(), &status)) != nullptr;
    else
        made = PublicKeyPtr(RsaPublicKeyFromPem(text.data(), text.size(), &status)) != nullptr;
    EXPECT_EQ(status == RSA_KEY_OK, made);
    return status;
}

std::string Armour(const std::string& label, const std::string& body) {
    return "-----BEGIN " + label + "-----\n" + body + "\n-----END " + label + "-----\n";
}

// Labels of the other kind, encrypted keys, and broken armour.
TEST(RsaKeyCodec, PemTable) {
    const RsaTestKey& key = kRsaTestKeys[0];
    const std::string pkcs1 = key.pkcs1;
    // The version's INTEGER made an OCTET STRING, armoured again.
    std::string der = DerOf(pkcs1);
    der[4] = 0x04;
    std::vector<char> damaged(PemWrite("RSA PRIVATE KEY", U8(der), der.size(), nullptr, 0));
    PemWrite("RSA PRIVATE KEY", U8(der), der.size(), damaged.data(), damaged.size());
    // OpenSSL's SubjectPublicKeyInfo under the label of RSAPublicKey.
    const std::string spki = key.spki;
    const std::string relabelled = Armour("RSA PUBLIC KEY", spki.substr(27, spki.size() - 53));
    std::string crlf;
    for (char c : pkcs1)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string legacy = "Proc-Type: 4,ENCRYPTED\nDEK-Info: AES-128-CBC,00\n\nMAA=";
    const std::tuple<const char*, bool, std::string, RsaKeyStatus> cases[] = {
        {"private as OpenSSL writes it", true, key.pkcs8, RSA_KEY_OK},
        {"public as OpenSSL writes it", false, spki, RSA_KEY_OK},
        {"with text before", true, "Private-Key: (512 bit, 2 primes)\n" + pkcs1, RSA_KEY_OK},
        {"with CR LF", true, crlf, RSA_KEY_OK},
        {"encrypted PKCS#8", true, Armour("ENCRYPTED PRIVATE KEY", "MAA="), RSA_KEY_ENCRYPTED},
        {"encrypted legacy PEM", true, Armour("RSA PRIVATE KEY", legacy), RSA_KEY_ENCRYPTED},
        {"legacy headers on a public key", false, Armour("PUBLIC KEY", legacy), RSA_KEY_BAD_PEM},
        {"encrypted label to the public reader", false, Armour("ENCRYPTED PRIVATE KEY", "MAA="),
         RSA_KEY_WRONG_LABEL},
        {"public to the private reader", true, key.spki, RSA_KEY_WRONG_LABEL},
        {"RSA public to the private reader", true, key.rsaPub, RSA_KEY_WRONG_LABEL},
        {"private to the public reader", false, key.pkcs8, RSA_KEY_WRONG_LABEL},
        {"RSA private to the public reader", false, pkcs1, RSA_KEY_WRONG_LABEL},
        {"a certificate", false, Armour("CERTIFICATE", "MAA="), RSA_KEY_WRONG_LABEL},
        {"a label in the wrong case", true, Armour("private key", "MAA="), RSA_KEY_WRONG_LABEL},
        {"no block", true, "MIIBOgIBAAJBAK\n", RSA_KEY_BAD_PEM},
        {"two blocks", true, pkcs1 + pkcs1, RSA_KEY_BAD_PEM},
        {"bad Base64", true, Armour("PRIVATE KEY", "MA*="), RSA_KEY_BAD_PEM},
        {"Base64 of no key", true, Armour("PRIVATE KEY", "MAA="), RSA_KEY_MALFORMED},
        {"damaged inside", true, damaged.data(), RSA_KEY_MALFORMED},
        {"another format under the label", false, relabelled, RSA_KEY_MALFORMED},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(std::get<3>(c), ReadPem(std::get<2>(c), std::get<1>(c))) << std::get<0>(c);
    }
}

// A PEM reader decodes at most 64 KiB of DER (a key with attributes padded to the size):
// exactly that much reads, one byte more does not, while the DER reader has no such bound.
TEST(RsaKeyCodec, PemDecodesUpTo64KiB) {
    const std::string head = DerInt("") + Tlv(0x30, Unhex("06092a864886f70d0101010500")) +
                             Tlv(0x04, DerOf(kRsaTestKeys[0].pkcs1));
    for (size_t wanted : {size_t(65536), size_t(65537)}) {
        std::string der;
        for (size_t pad = wanted - head.size() - 20; der.size() < wanted; ++pad)
            der = Tlv(0x30, head + Tlv(0xA0, Tlv(0x04, std::string(pad, 'p'))));
        ASSERT_EQ(wanted, der.size());
        std::vector<char> pem(PemWrite("PRIVATE KEY", U8(der), der.size(), nullptr, 0));
        ASSERT_NE(0u, PemWrite("PRIVATE KEY", U8(der), der.size(), pem.data(), pem.size()));
        EXPECT_EQ(wanted == 65536 ? RSA_KEY_OK : RSA_KEY_MALFORMED, ReadPem(pem.data(), true));
        EXPECT_EQ(RSA_KEY_OK, ReadDer(der, PRIV8)) << wanted;
    }
}

// Formats a writer or reader does not take, and missing arguments.
TEST(RsaKeyCodec, RefusesWrongArguments) {
    const PrivateKeyPtr key(
        RsaPrivateKeyFromPem(kRsaTestKeys[0].pkcs1, strlen(kRsaTestKeys[0].pkcs1)));
    ASSERT_NE(nullptr, key);
    const RsaPublicKey* pub = RsaPrivateKeyPublic(key.get());
    uint8_t out[2048];
    char text[2048];
    EXPECT_EQ(0u, RsaPublicKeyToDer(pub, RSA_KEY_PKCS8, out, sizeof out));
    EXPECT_EQ(0u, RsaPublicKeyToPem(pub, RSA_KEY_PKCS8, text, sizeof text));
    EXPECT_EQ(0u, RsaPrivateKeyToDer(key.get(), RSA_KEY_X509, out, sizeof out));
    EXPECT_EQ(0u, RsaPrivateKeyToPem(key.get(), RSA_KEY_X509, text, sizeof text));
    EXPECT_EQ(0u, RsaPublicKeyToDer(nullptr, RSA_KEY_PKCS1, nullptr, 0));
    EXPECT_EQ(0u, RsaPrivateKeyToPem(nullptr, RSA_KEY_PKCS1, nullptr, 0));
    EXPECT_EQ(0u, RsaPublicKeyToDer(pub, static_cast<RsaKeyFormat>(7), nullptr, 0));
    const std::string der = DerOf(kRsaTestKeys[0].pkcs1);
    RsaKeyStatus status[4];
    EXPECT_EQ(nullptr, RsaPrivateKeyFromDer(U8(der), der.size(), RSA_KEY_X509, &status[0]));
    EXPECT_EQ(nullptr, RsaPublicKeyFromDer(U8(der), der.size(), RSA_KEY_PKCS8, &status[1]));
    EXPECT_EQ(nullptr, RsaPublicKeyFromDer(nullptr, 0, RSA_KEY_PKCS1, &status[2]));
    EXPECT_EQ(nullptr, RsaPrivateKeyFromPem(nullptr, 0, &status[3]));
    for (RsaKeyStatus s : status)
        EXPECT_EQ(RSA_KEY_BAD_ARGUMENT, s);
    EXPECT_EQ(nullptr, RsaPublicKeyFromPem(nullptr, 0));
    EXPECT_EQ(nullptr, RsaPrivateKeyFromDer(nullptr, 0, RSA_KEY_PKCS1));
}

// A key generated here goes through every form and comes back the same.
TEST(RsaKeyCodec, GeneratedKeyRoundTrips) {
    const PrivateKeyPtr generated(RsaGenerateKey(2048, 65537));
    ASSERT_NE(nullptr, generated);
    const RsaPublicKey* pub = RsaPrivateKeyPublic(generated.get());
    const std::string pkcs8 = Write(RsaPrivateKeyToPem, generated.get(), RSA_KEY_PKCS8);
    const std::string pkcs1 = Write(RsaPrivateKeyToPem, generated.get(), RSA_KEY_PKCS1);
    const std::string spki = Write(RsaPublicKeyToPem, pub, RSA_KEY_X509);
    const std::string rsaPub = Write(RsaPublicKeyToPem, pub, RSA_KEY_PKCS1);
    const RsaTestKey expected = {"generated", pkcs8.c_str(), pkcs1.c_str(), spki.c_str(),
                                 rsaPub.c_str()};
    for (const std::string& pem : {pkcs8, pkcs1})
        ExpectPrivateWrites(PrivateKeyPtr(RsaPrivateKeyFromPem(pem.data(), pem.size())).get(),
                            expected);
}

} // namespace

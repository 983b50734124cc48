// RSA key encodings over the DER reader and writer and the PEM armour. See RsaKeyCodec.h
// for the contracts.
//
//   RSAPublicKey         ::= SEQUENCE { modulus, publicExponent INTEGER }
//   RSAPrivateKey        ::= SEQUENCE { version 0, n, e, d, p, q, dP, dQ, qInv INTEGER }
//   SubjectPublicKeyInfo ::= SEQUENCE { AlgorithmIdentifier, BIT STRING { RSAPublicKey } }
//   PrivateKeyInfo       ::= SEQUENCE { version 0, AlgorithmIdentifier,
//                                       OCTET STRING { RSAPrivateKey }, [0] attributes OPTIONAL }
//   AlgorithmIdentifier  ::= SEQUENCE { rsaEncryption OBJECT IDENTIFIER, NULL }
//
// Readers point into the caller's DER (or the decoded PEM) and never copy a component;
// writers fetch the components once into a local record that is wiped on every way out.
#include "crypto/RsaKeyCodec.h"

#include "crypto/ConstantTime.h"
#include "crypto/Der.h"
#include "crypto/Pem.h"

#include <cstdlib>
#include <cstring>

// rsaEncryption, 1.2.840.113549.1.1.1: the contents of its OBJECT IDENTIFIER, and the whole
// AlgorithmIdentifier with NULL parameters that the writers put down.
static const uint8_t kRsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
static const uint8_t kRsaAlgorithm[] = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                        0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};

static const char kLabelRsaPublic[] = "RSA PUBLIC KEY";
static const char kLabelPublic[] = "PUBLIC KEY";
static const char kLabelRsaPrivate[] = "RSA PRIVATE KEY";
static const char kLabelPrivate[] = "PRIVATE KEY";
static const char kLabelEncrypted[] = "ENCRYPTED PRIVATE KEY";

// Largest DER that a PEM reader decodes: an 8,192-bit key in PKCS#8 takes under 5 KB, so
// this leaves room for attributes while bounding what hostile text can make us allocate.
static const size_t kMaxDer = 64 * 1024;

// Every component of a key fits the modulus's size.
static const size_t kComponentMax = kRsaMaxBits / 8;
static const int kComponents = 8;

static void SetStatus(RsaKeyStatus* status, RsaKeyStatus value) {
    if (status != nullptr) {
        *status = value;
    }
}

const char* RsaKeyStatusText(RsaKeyStatus status) {
    switch (status) {
    case RSA_KEY_OK:
        return "no error";
    case RSA_KEY_BAD_ARGUMENT:
        return "invalid argument or key format";
    case RSA_KEY_BAD_PEM:
        return "not a well-formed PEM block";
    case RSA_KEY_WRONG_LABEL:
        return "the PEM block holds another kind of key or data";
    case RSA_KEY_ENCRYPTED:
        return "the key is encrypted";
    case RSA_KEY_MALFORMED:
        return "not well-formed DER of the key structure";
    case RSA_KEY_BAD_VERSION:
        return "unsupported key structure version";
    case RSA_KEY_MULTI_PRIME:
        return "multi-prime RSA keys are not supported";
    case RSA_KEY_NOT_RSA:
        return "not an rsaEncryption key";
    case RSA_KEY_REFUSED:
        return "the key's values are out of range or inconsistent";
    case RSA_KEY_NO_MEMORY:
        return "out of memory";
    }
    return "unknown key status";
}

// ---- Reading ----

// Starts `inner` on bytes found inside an element that `outer` reads, one level deeper.
static void ReadInside(const DerReader* outer, const uint8_t* data, size_t size, DerReader* inner) {
    DerReaderInit(inner, data, size);
    inner->depth = outer->depth + 1;
}

// RSAPublicKey, which must fill `reader` to its end.
static RsaPublicKey* ReadPkcs1Public(DerReader* reader, RsaKeyStatus* status) {
    DerReader sequence;
    const uint8_t* n = nullptr;
    const uint8_t* e = nullptr;
    size_t nSize = 0;
    size_t eSize = 0;
    DerEnter(reader, kDerSequence, &sequence);
    DerReadUnsigned(&sequence, &n, &nSize);
    DerReadUnsigned(&sequence, &e, &eSize);
    if (!DerReaderEnd(&sequence) || !DerReaderEnd(reader)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    RsaPublicKey* key = RsaPublicKeyNew(n, nSize, e, eSize);
    SetStatus(status, key != nullptr ? RSA_KEY_OK : RSA_KEY_REFUSED);
    return key;
}

// AlgorithmIdentifier: RSA_KEY_OK for rsaEncryption with NULL parameters. Another
// algorithm is named as such before its parameters are looked at, as they differ.
static RsaKeyStatus ReadAlgorithm(DerReader* reader) {
    DerReader algorithm;
    DerElement oid;
    if (!DerEnter(reader, kDerSequence, &algorithm) ||
        !DerReadTagged(&algorithm, kDerObjectId, &oid)) {
        return RSA_KEY_MALFORMED;
    }
    if (oid.length != sizeof kRsaEncryptionOid ||
        memcmp(oid.content, kRsaEncryptionOid, sizeof kRsaEncryptionOid) != 0) {
        return RSA_KEY_NOT_RSA;
    }
    if (!DerReadNull(&algorithm) || !DerReaderEnd(&algorithm)) {
        return RSA_KEY_MALFORMED;
    }
    return RSA_KEY_OK;
}

static RsaPublicKey* ReadSubjectPublicKeyInfo(DerReader* reader, RsaKeyStatus* status) {
    DerReader info;
    if (!DerEnter(reader, kDerSequence, &info)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    const RsaKeyStatus algorithm = ReadAlgorithm(&info);
    if (algorithm != RSA_KEY_OK) {
        SetStatus(status, algorithm);
        return nullptr;
    }
    const uint8_t* bits = nullptr;
    size_t bitsSize = 0;
    if (!DerReadBitStringBytes(&info, &bits, &bitsSize) || !DerReaderEnd(&info) ||
        !DerReaderEnd(reader)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    DerReader inner;
    ReadInside(&info, bits, bitsSize, &inner);
    return ReadPkcs1Public(&inner, status);
}

// RSAPrivateKey, which must fill `reader` to its end.
static RsaPrivateKey* ReadPkcs1Private(DerReader* reader, RsaKeyStatus* status) {
    DerReader sequence;
    uint32_t version = 0;
    if (!DerEnter(reader, kDerSequence, &sequence) || !DerReadSmallUnsigned(&sequence, &version)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    // Version 1 announces otherPrimeInfos after the two-prime fields.
    if (version != 0) {
        SetStatus(status, version == 1 ? RSA_KEY_MULTI_PRIME : RSA_KEY_BAD_VERSION);
        return nullptr;
    }
    // The fields stand in the order of RsaComponent.
    RsaComponentsView view = {};
    for (int i = 0; i < kComponents; ++i) {
        DerReadUnsigned(&sequence, &view.data[i], &view.size[i]);
    }
    if (!DerReaderEnd(&sequence) || !DerReaderEnd(reader)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    RsaPrivateKey* key = RsaPrivateKeyNew(&view);
    SetStatus(status, key != nullptr ? RSA_KEY_OK : RSA_KEY_REFUSED);
    return key;
}

static RsaPrivateKey* ReadPrivateKeyInfo(DerReader* reader, RsaKeyStatus* status) {
    DerReader info;
    uint8_t tag = 0;
    uint32_t version = 0;
    if (!DerEnter(reader, kDerSequence, &info)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    // EncryptedPrivateKeyInfo opens with its AlgorithmIdentifier where a version would be.
    if (DerPeekTag(&info, &tag) && tag == kDerSequence) {
        SetStatus(status, RSA_KEY_ENCRYPTED);
        return nullptr;
    }
    if (!DerReadSmallUnsigned(&info, &version)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    if (version != 0) {
        SetStatus(status, RSA_KEY_BAD_VERSION);
        return nullptr;
    }
    const RsaKeyStatus algorithm = ReadAlgorithm(&info);
    if (algorithm != RSA_KEY_OK) {
        SetStatus(status, algorithm);
        return nullptr;
    }
    DerElement octets = {};
    DerReadTagged(&info, kDerOctetString, &octets);
    // Attributes (a SET OF Attribute under [0]) say nothing a key needs; they are checked
    // for form and passed over.
    if (DerPeekTag(&info, &tag) && tag == kDerContext0) {
        DerElement attributes;
        if (DerReadElement(&info, &attributes) &&
            !DerCheckTree(attributes.content, attributes.length, info.depth + 1)) {
            info.failed = 1;
        }
    }
    if (!DerReaderEnd(&info) || !DerReaderEnd(reader)) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return nullptr;
    }
    DerReader inner;
    ReadInside(&info, octets.content, octets.length, &inner);
    return ReadPkcs1Private(&inner, status);
}

RsaPublicKey* RsaPublicKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format,
                                  RsaKeyStatus* status) {
    if (der == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_X509)) {
        SetStatus(status, RSA_KEY_BAD_ARGUMENT);
        return nullptr;
    }
    DerReader reader;
    DerReaderInit(&reader, der, size);
    return format == RSA_KEY_PKCS1 ? ReadPkcs1Public(&reader, status)
                                   : ReadSubjectPublicKeyInfo(&reader, status);
}

RsaPrivateKey* RsaPrivateKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format,
                                    RsaKeyStatus* status) {
    if (der == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_PKCS8)) {
        SetStatus(status, RSA_KEY_BAD_ARGUMENT);
        return nullptr;
    }
    DerReader reader;
    DerReaderInit(&reader, der, size);
    return format == RSA_KEY_PKCS1 ? ReadPkcs1Private(&reader, status)
                                   : ReadPrivateKeyInfo(&reader, status);
}

RsaPublicKey* RsaPublicKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format) {
    return RsaPublicKeyFromDer(der, size, format, nullptr);
}

RsaPrivateKey* RsaPrivateKeyFromDer(const uint8_t* der, size_t size, RsaKeyFormat format) {
    return RsaPrivateKeyFromDer(der, size, format, nullptr);
}

// The DER inside a PEM text, in a buffer of its own that the caller wipes and frees
// (DecodedPem does both). The label decides the format among the two of the reader's kind.
struct DecodedPem {
    uint8_t* der;
    size_t size;
    RsaKeyFormat format;
    ~DecodedPem() {
        if (der != nullptr) {
            CryptoWipe(der, size);
            free(der);
        }
    }
};

static int DecodePem(const char* text, size_t size, int wantPrivate, DecodedPem* decoded,
                     RsaKeyStatus* status) {
    PemBlock block;
    if (text == nullptr) {
        SetStatus(status, RSA_KEY_BAD_ARGUMENT);
        return 0;
    }
    const PemStatus parsed = PemParse(text, size, &block);
    if (parsed != PEM_OK) {
        // Headers in a key's block are the legacy encryption of "RSA PRIVATE KEY".
        SetStatus(status,
                  parsed == PEM_HEADERS && wantPrivate ? RSA_KEY_ENCRYPTED : RSA_KEY_BAD_PEM);
        return 0;
    }
    const char* labels[2] = {kLabelRsaPublic, kLabelPublic};
    const RsaKeyFormat formats[2] = {RSA_KEY_PKCS1, wantPrivate ? RSA_KEY_PKCS8 : RSA_KEY_X509};
    if (wantPrivate) {
        labels[0] = kLabelRsaPrivate;
        labels[1] = kLabelPrivate;
    }
    if (PemLabelIs(&block, labels[0])) {
        decoded->format = formats[0];
    } else if (PemLabelIs(&block, labels[1])) {
        decoded->format = formats[1];
    } else {
        SetStatus(status, wantPrivate && PemLabelIs(&block, kLabelEncrypted) ? RSA_KEY_ENCRYPTED
                                                                             : RSA_KEY_WRONG_LABEL);
        return 0;
    }
    if (block.decoded_size > kMaxDer) {
        SetStatus(status, RSA_KEY_MALFORMED);
        return 0;
    }
    decoded->der = static_cast<uint8_t*>(malloc(block.decoded_size));
    if (decoded->der == nullptr) {
        SetStatus(status, RSA_KEY_NO_MEMORY);
        return 0;
    }
    decoded->size = block.decoded_size;
    if (!PemDecode(&block, decoded->der, decoded->size)) {
        SetStatus(status, RSA_KEY_BAD_PEM);
        return 0;
    }
    return 1;
}

RsaPublicKey* RsaPublicKeyFromPem(const char* text, size_t size, RsaKeyStatus* status) {
    DecodedPem decoded = {nullptr, 0, RSA_KEY_PKCS1};
    if (!DecodePem(text, size, 0, &decoded, status)) {
        return nullptr;
    }
    return RsaPublicKeyFromDer(decoded.der, decoded.size, decoded.format, status);
}

RsaPrivateKey* RsaPrivateKeyFromPem(const char* text, size_t size, RsaKeyStatus* status) {
    DecodedPem decoded = {nullptr, 0, RSA_KEY_PKCS1};
    if (!DecodePem(text, size, 1, &decoded, status)) {
        return nullptr;
    }
    return RsaPrivateKeyFromDer(decoded.der, decoded.size, decoded.format, status);
}

RsaPublicKey* RsaPublicKeyFromPem(const char* text, size_t size) {
    return RsaPublicKeyFromPem(text, size, nullptr);
}

RsaPrivateKey* RsaPrivateKeyFromPem(const char* text, size_t size) {
    return RsaPrivateKeyFromPem(text, size, nullptr);
}

// ---- Writing ----

// A key's components as big-endian bytes, fetched once per write: two for a public key,
// all eight (in RsaComponent order) for a private one. Wiped by its destructor.
struct KeyBytes {
    uint8_t data[kComponents][kComponentMax];
    size_t size[kComponents];
    int count;
    ~KeyBytes() { CryptoWipe(this, sizeof *this); }
};

static int FetchPublic(const RsaPublicKey* key, KeyBytes* bytes) {
    bytes->count = 2;
    for (int i = 0; i < bytes->count; ++i) {
        bytes->size[i] =
            RsaPublicKeyComponent(key, static_cast<RsaComponent>(i), bytes->data[i], kComponentMax);
        if (bytes->size[i] == 0) {
            return 0;
        }
    }
    return 1;
}

static int FetchPrivate(const RsaPrivateKey* key, KeyBytes* bytes) {
    bytes->count = kComponents;
    for (int i = 0; i < bytes->count; ++i) {
        bytes->size[i] = RsaPrivateKeyComponent(key, static_cast<RsaComponent>(i), bytes->data[i],
                                                kComponentMax);
        if (bytes->size[i] == 0) {
            return 0;
        }
    }
    return 1;
}

// Appends `tag` and the contents that `contents` appends to a writer. The contents are
// put down twice, counted first, so that the header knows their length.
template <typename Contents>
static void PutConstructed(DerWriter* writer, uint8_t tag, Contents contents) {
    DerWriter counter;
    DerWriterInit(&counter, nullptr, 0);
    contents(&counter);
    if (counter.failed) {
        writer->failed = 1;
        return;
    }
    DerPutHeader(writer, tag, counter.length);
    contents(writer);
}

// RSAPublicKey or RSAPrivateKey, as the number of components says.
static void PutPkcs1(DerWriter* writer, const KeyBytes* bytes) {
    PutConstructed(writer, kDerSequence, [bytes](DerWriter* w) {
        if (bytes->count == kComponents) {
            DerPutSmallUnsigned(w, 0);
        }
        for (int i = 0; i < bytes->count; ++i) {
            DerPutUnsigned(w, bytes->data[i], bytes->size[i]);
        }
    });
}

static void PutKey(DerWriter* writer, const KeyBytes* bytes, RsaKeyFormat format) {
    if (format == RSA_KEY_PKCS1) {
        PutPkcs1(writer, bytes);
    } else if (format == RSA_KEY_X509) {
        PutConstructed(writer, kDerSequence, [bytes](DerWriter* w) {
            DerPutBytes(w, kRsaAlgorithm, sizeof kRsaAlgorithm);
            PutConstructed(w, kDerBitString, [bytes](DerWriter* bits) {
                static const uint8_t kNoUnusedBits = 0;
                DerPutBytes(bits, &kNoUnusedBits, 1);
                PutPkcs1(bits, bytes);
            });
        });
    } else {
        PutConstructed(writer, kDerSequence, [bytes](DerWriter* w) {
            DerPutSmallUnsigned(w, 0);
            DerPutBytes(w, kRsaAlgorithm, sizeof kRsaAlgorithm);
            PutConstructed(w, kDerOctetString,
                           [bytes](DerWriter* octets) { PutPkcs1(octets, bytes); });
        });
    }
}

// The DER of the fetched key: the size needed with `out` null, else the bytes written or 0
// (with `out` wiped, should a write have stopped half-way).
static size_t EncodeDer(const KeyBytes* bytes, RsaKeyFormat format, uint8_t* out, size_t outSize) {
    DerWriter writer;
    DerWriterInit(&writer, nullptr, 0);
    PutKey(&writer, bytes, format);
    const size_t needed = DerWriterResult(&writer);
    if (out == nullptr || needed == 0) {
        return needed;
    }
    if (outSize < needed) {
        return 0;
    }
    DerWriterInit(&writer, out, outSize);
    PutKey(&writer, bytes, format);
    const size_t written = DerWriterResult(&writer);
    if (written == 0) {
        CryptoWipe(out, outSize);
    }
    return written;
}

// The PEM of the fetched key, as EncodeDer; the DER passes through a buffer of its own,
// wiped before it is freed.
static size_t EncodePem(const KeyBytes* bytes, RsaKeyFormat format, const char* label, char* out,
                        size_t outSize) {
    const size_t derSize = EncodeDer(bytes, format, nullptr, 0);
    if (derSize == 0) {
        return 0;
    }
    const size_t needed = PemWrite(label, nullptr, derSize, nullptr, 0);
    if (out == nullptr || needed == 0) {
        return needed;
    }
    if (outSize < needed) {
        return 0;
    }
    uint8_t* der = static_cast<uint8_t*>(malloc(derSize));
    if (der == nullptr) {
        return 0;
    }
    size_t written = 0;
    if (EncodeDer(bytes, format, der, derSize) == derSize) {
        written = PemWrite(label, der, derSize, out, outSize);
    }
    CryptoWipe(der, derSize);
    free(der);
    if (written == 0) {
        CryptoWipe(out, outSize);
    }
    return written;
}

size_t RsaPublicKeyToDer(const RsaPublicKey* key, RsaKeyFormat format, uint8_t* out,
                         size_t outSize) {
    KeyBytes bytes;
    if (key == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_X509) ||
        !FetchPublic(key, &bytes)) {
        return 0;
    }
    return EncodeDer(&bytes, format, out, outSize);
}

size_t RsaPrivateKeyToDer(const RsaPrivateKey* key, RsaKeyFormat format, uint8_t* out,
                          size_t outSize) {
    KeyBytes bytes;
    if (key == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_PKCS8) ||
        !FetchPrivate(key, &bytes)) {
        return 0;
    }
    return EncodeDer(&bytes, format, out, outSize);
}

size_t RsaPublicKeyToPem(const RsaPublicKey* key, RsaKeyFormat format, char* out, size_t outSize) {
    KeyBytes bytes;
    if (key == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_X509) ||
        !FetchPublic(key, &bytes)) {
        return 0;
    }
    return EncodePem(&bytes, format, format == RSA_KEY_PKCS1 ? kLabelRsaPublic : kLabelPublic, out,
                     outSize);
}

size_t RsaPrivateKeyToPem(const RsaPrivateKey* key, RsaKeyFormat format, char* out,
                          size_t outSize) {
    KeyBytes bytes;
    if (key == nullptr || (format != RSA_KEY_PKCS1 && format != RSA_KEY_PKCS8) ||
        !FetchPrivate(key, &bytes)) {
        return 0;
    }
    return EncodePem(&bytes, format, format == RSA_KEY_PKCS1 ? kLabelRsaPrivate : kLabelPrivate,
                     out, outSize);
}

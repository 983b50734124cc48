// The RSA key readers on arbitrary bytes. Byte 0 picks the reader (its value modulo 6):
// RSAPublicKey, SubjectPublicKeyInfo, RSAPrivateKey or PrivateKeyInfo as DER, or the public
// or the private PEM reader; the rest is its input (an exact heap copy). A status comes back
// with every refusal and only then. A key that is read and written again in the same DER
// format is the input itself (PrivateKeyInfo: once its attributes are dropped, the second
// writing equals the first); a key read from PEM and written as PEM reads back to the same
// PEM.
#include "crypto/RsaKeyCodec.h"

#include "fuzz/FuzzSupport.h"

#include <vector>

namespace {

template <typename Key>
std::vector<uint8_t> Der(size_t (*writer)(const Key*, RsaKeyFormat, uint8_t*, size_t),
                         const Key* key, RsaKeyFormat format) {
    std::vector<uint8_t> out(writer(key, format, nullptr, 0));
    FUZZ_CHECK(!out.empty() && writer(key, format, out.data(), out.size()) == out.size());
    return out;
}

template <typename Key>
std::string Pem(size_t (*writer)(const Key*, RsaKeyFormat, char*, size_t), const Key* key,
                RsaKeyFormat format) {
    std::vector<char> out(writer(key, format, nullptr, 0));
    FUZZ_CHECK(!out.empty() && writer(key, format, out.data(), out.size()) + 1 == out.size());
    return std::string(out.data(), out.size() - 1);
}

void CheckPublic(RsaPublicKey* key, RsaKeyStatus status, const std::vector<uint8_t>* der,
                 RsaKeyFormat format) {
    FUZZ_CHECK((key != nullptr) == (status == RSA_KEY_OK));
    if (key == nullptr) {
        return;
    }
    if (der != nullptr) {
        FUZZ_CHECK(Der(RsaPublicKeyToDer, key, format) == *der);
    } else {
        const std::string pem = Pem(RsaPublicKeyToPem, key, RSA_KEY_X509);
        RsaPublicKey* again = RsaPublicKeyFromPem(pem.data(), pem.size());
        FUZZ_CHECK(again != nullptr && Pem(RsaPublicKeyToPem, again, RSA_KEY_X509) == pem);
        RsaPublicKeyFree(again);
    }
    RsaPublicKeyFree(key);
}

void CheckPrivate(RsaPrivateKey* key, RsaKeyStatus status, const std::vector<uint8_t>* der,
                  RsaKeyFormat format) {
    FUZZ_CHECK((key != nullptr) == (status == RSA_KEY_OK));
    if (key == nullptr) {
        return;
    }
    if (der != nullptr) {
        const std::vector<uint8_t> written = Der(RsaPrivateKeyToDer, key, format);
        if (format == RSA_KEY_PKCS1) {
            FUZZ_CHECK(written == *der);
        } else {
            RsaPrivateKey* again = RsaPrivateKeyFromDer(written.data(), written.size(), format);
            FUZZ_CHECK(again != nullptr && Der(RsaPrivateKeyToDer, again, format) == written);
            FUZZ_CHECK(written.size() <= der->size());
            RsaPrivateKeyFree(again);
        }
    } else {
        const std::string pem = Pem(RsaPrivateKeyToPem, key, RSA_KEY_PKCS8);
        RsaPrivateKey* again = RsaPrivateKeyFromPem(pem.data(), pem.size());
        FUZZ_CHECK(again != nullptr && Pem(RsaPrivateKeyToPem, again, RSA_KEY_PKCS8) == pem);
        RsaPrivateKeyFree(again);
    }
    RsaPrivateKeyFree(key);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int reader = data[0] % 6;
    const std::vector<uint8_t> input(data + 1, data + size);
    ExactBuffer text(size - 1);
    memcpy(text.Get(), data + 1, size - 1);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.Get());
    RsaKeyStatus status = RSA_KEY_OK;
    switch (reader) {
    case 0:
    case 1: {
        const RsaKeyFormat format = reader == 0 ? RSA_KEY_PKCS1 : RSA_KEY_X509;
        CheckPublic(RsaPublicKeyFromDer(bytes, size - 1, format, &status), status, &input, format);
        break;
    }
    case 2:
    case 3: {
        const RsaKeyFormat format = reader == 2 ? RSA_KEY_PKCS1 : RSA_KEY_PKCS8;
        CheckPrivate(RsaPrivateKeyFromDer(bytes, size - 1, format, &status), status, &input,
                     format);
        break;
    }
    case 4:
        CheckPublic(RsaPublicKeyFromPem(text.Get(), size - 1, &status), status, nullptr,
                    RSA_KEY_X509);
        break;
    default:
        CheckPrivate(RsaPrivateKeyFromPem(text.Get(), size - 1, &status), status, nullptr,
                     RSA_KEY_PKCS8);
        break;
    }
    return 0;
}

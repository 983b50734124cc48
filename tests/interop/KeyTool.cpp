// kiv_keytool: converts RSA keys between the forms of crypto/RsaKeyCodec.h and generates
// keys, so that scripts/interop can hand keys between this library (natively and the
// Windows build under Wine) and the openssl command.
//
//   kiv_keytool convert INFORM IN OUTFORM OUT
//   kiv_keytool generate BITS OUTFORM OUT
//
// INFORM: private-pem or public-pem (the label decides the format), pkcs1-der, pkcs8-der
// (private keys), x509-der, rsapub-der (public keys). OUTFORM: pkcs1, pkcs8, x509 or rsapub
// followed by -pem or -der; a private key written as x509 or rsapub gives its public half.
// Exit status: 0 done, 1 the key was refused (the reason on standard error), 2 usage,
// 3 a file could not be read or written.
#include "crypto/RsaKeyCodec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Key files are a few kilobytes; anything far larger is not one.
const long kMaxFile = 1 << 20;

struct Form {
    const char* name;
    bool isPrivate;
    RsaKeyFormat format;
};
const Form kForms[] = {
    {"pkcs1", true, RSA_KEY_PKCS1},
    {"pkcs8", true, RSA_KEY_PKCS8},
    {"x509", false, RSA_KEY_X509},
    {"rsapub", false, RSA_KEY_PKCS1},
};

// Finds "NAME-pem" or "NAME-der" among kForms.
const Form* FindForm(const char* text, bool* pem) {
    for (const Form& form : kForms) {
        const size_t n = strlen(form.name);
        if (strncmp(text, form.name, n) == 0 && text[n] == '-') {
            if (strcmp(text + n + 1, "pem") == 0 || strcmp(text + n + 1, "der") == 0) {
                *pem = text[n + 1] == 'p';
                return &form;
            }
        }
    }
    return nullptr;
}

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0 &&
           bytes->size() + n <= static_cast<size_t>(kMaxFile)) {
        bytes->insert(bytes->end(), buffer, buffer + n);
    }
    const bool ok = ferror(file) == 0 && n == 0;
    fclose(file);
    return ok;
}

bool WriteFile(const char* path, const void* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

// Writes one key (a private key, or a public one when `privateKey` is null) in `form`.
int WriteKey(const RsaPrivateKey* privateKey, const RsaPublicKey* publicKey, const Form* form,
             bool pem, const char* path) {
    if (!form->isPrivate && privateKey != nullptr) {
        publicKey = RsaPrivateKeyPublic(privateKey);
        privateKey = nullptr;
    }
    if (form->isPrivate && privateKey == nullptr) {
        fprintf(stderr, "kiv_keytool: a public key has no %s form\n", form->name);
        return 2;
    }
    std::vector<uint8_t> out;
    size_t size = 0;
    if (pem) {
        out.resize(privateKey ? RsaPrivateKeyToPem(privateKey, form->format, nullptr, 0)
                              : RsaPublicKeyToPem(publicKey, form->format, nullptr, 0));
        char* text = reinterpret_cast<char*>(out.data());
        size = privateKey ? RsaPrivateKeyToPem(privateKey, form->format, text, out.size())
                          : RsaPublicKeyToPem(publicKey, form->format, text, out.size());
    } else {
        out.resize(privateKey ? RsaPrivateKeyToDer(privateKey, form->format, nullptr, 0)
                              : RsaPublicKeyToDer(publicKey, form->format, nullptr, 0));
        size = privateKey ? RsaPrivateKeyToDer(privateKey, form->format, out.data(), out.size())
                          : RsaPublicKeyToDer(publicKey, form->format, out.data(), out.size());
    }
    if (out.empty() || size == 0 || !WriteFile(path, out.data(), size)) {
        fprintf(stderr, "kiv_keytool: cannot write %s\n", path);
        return 3;
    }
    return 0;
}

int Convert(const char* inForm, const char* inPath, const char* outForm, const char* outPath) {
    bool outPem = false;
    const Form* form = FindForm(outForm, &outPem);
    if (form == nullptr) {
        fprintf(stderr, "kiv_keytool: unknown output form %s\n", outForm);
        return 2;
    }
    std::vector<uint8_t> input;
    if (!ReadFile(inPath, &input)) {
        fprintf(stderr, "kiv_keytool: cannot read %s\n", inPath);
        return 3;
    }
    const char* text = reinterpret_cast<const char*>(input.data());
    RsaKeyStatus status = RSA_KEY_BAD_ARGUMENT;
    RsaPrivateKey* privateKey = nullptr;
    RsaPublicKey* publicKey = nullptr;
    bool inPem = false;
    const Form* in = FindForm(inForm, &inPem);
    if (strcmp(inForm, "private-pem") == 0) {
        privateKey = RsaPrivateKeyFromPem(text, input.size(), &status);
    } else if (strcmp(inForm, "public-pem") == 0) {
        publicKey = RsaPublicKeyFromPem(text, input.size(), &status);
    } else if (in != nullptr && !inPem && in->isPrivate) {
        privateKey = RsaPrivateKeyFromDer(input.data(), input.size(), in->format, &status);
    } else if (in != nullptr && !inPem) {
        publicKey = RsaPublicKeyFromDer(input.data(), input.size(), in->format, &status);
    } else {
        fprintf(stderr, "kiv_keytool: unknown input form %s\n", inForm);
        return 2;
    }
    int result = 1;
    if (privateKey == nullptr && publicKey == nullptr) {
        fprintf(stderr, "kiv_keytool: %s: %s\n", inPath, RsaKeyStatusText(status));
    } else {
        result = WriteKey(privateKey, publicKey, form, outPem, outPath);
    }
    RsaPrivateKeyFree(privateKey);
    RsaPublicKeyFree(publicKey);
    return result;
}

int Generate(const char* bitsText, const char* outForm, const char* outPath) {
    bool pem = false;
    const Form* form = FindForm(outForm, &pem);
    char* end = nullptr;
    const unsigned long bits = strtoul(bitsText, &end, 10);
    if (form == nullptr || end == bitsText || *end != '\0') {
        fprintf(stderr, "kiv_keytool: generate BITS OUTFORM OUT\n");
        return 2;
    }
    RsaPrivateKey* key = RsaGenerateKey(static_cast<uint32_t>(bits), 65537);
    if (key == nullptr) {
        fprintf(stderr, "kiv_keytool: no key of %lu bits generated\n", bits);
        return 1;
    }
    const int result = WriteKey(key, nullptr, form, pem, outPath);
    RsaPrivateKeyFree(key);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && strcmp(argv[1], "convert") == 0) {
        return Convert(argv[2], argv[3], argv[4], argv[5]);
    }
    if (argc == 5 && strcmp(argv[1], "generate") == 0) {
        return Generate(argv[2], argv[3], argv[4]);
    }
    fprintf(stderr, "usage: kiv_keytool convert INFORM IN OUTFORM OUT\n"
                    "       kiv_keytool generate BITS OUTFORM OUT\n");
    return 2;
}

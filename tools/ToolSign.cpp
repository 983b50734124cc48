// kivupdate sign: FILE.sig beside each FILE, with the publisher's private key.
#include "tools/Tool.h"

#include "crypto/ConstantTime.h"
#include "crypto/RsaKeyCodec.h"

#include <cstdio>

namespace {

const CommandSyntax kSyntax = {"sign", kOptKey, SIZE_MAX, ""};

// The largest key file read: an 8,192-bit private key in PEM is about 6.4 KB.
constexpr size_t kKeyFileMax = 64 * 1024;

// Reads the private key of `path`; null after a message.
RsaPrivateKey* LoadPrivateKey(const char* path) {
    std::string text;
    if (!ReadSmallFile(path, kKeyFileMax, &text))
        return nullptr;
    RsaKeyStatus status = RSA_KEY_OK;
    RsaPrivateKey* key = RsaPrivateKeyFromPem(text.data(), text.size(), &status);
    CryptoWipe(&text[0], text.size());
    if (key == nullptr) {
        fprintf(stderr, "kivupdate: %s holds no usable RSA private key in PEM form: %s\n", path,
                RsaKeyStatusText(status));
        return nullptr;
    }
    uint32_t bits = RsaKeyBits(RsaPrivateKeyPublic(key));
    if (bits < kUpdateMinKeyBits) {
        fprintf(stderr, "kivupdate: the key in %s has %u bits; signing takes at least %u\n", path,
                bits, kUpdateMinKeyBits);
        RsaPrivateKeyFree(key);
        return nullptr;
    }
    return key;
}

// Writes FILE.sig (replacing an older one); false after a message.
bool SignFile(const RsaPrivateKey* key, const char* path) {
    uint8_t digest[kUpdateDigestSize];
    if (!UpdateFileSha256(path, digest)) {
        fprintf(stderr, "kivupdate: cannot read %s\n", path);
        return false;
    }
    char text[kUpdateSignatureFileMax];
    size_t size = UpdateSignDigest(key, digest, text, sizeof text);
    if (size == 0) {
        fprintf(stderr, "kivupdate: cannot sign %s (no random numbers?)\n", path);
        return false;
    }
    std::string signaturePath = std::string(path) + ".sig";
    FILE* file = fopen(signaturePath.c_str(), "wb");
    bool ok = file != nullptr && fwrite(text, 1, size, file) == size;
    if (file != nullptr)
        ok = fclose(file) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "kivupdate: cannot write %s\n", signaturePath.c_str());
        remove(signaturePath.c_str());
        return false;
    }
    printf("signed %s: %s\n", path, signaturePath.c_str());
    return true;
}

} // namespace

int SignCommand(int argc, char** argv) {
    ToolOptions options;
    if (int code = ParseCommandLine(kSyntax, argc, argv, &options); code >= 0)
        return code;
    if (options.keys.size() != 1)
        return Usage("sign takes one --key NAME.key");
    if (options.arguments.empty())
        return Usage("sign needs a FILE");
    RsaPrivateKey* key = LoadPrivateKey(options.keys[0].c_str());
    if (key == nullptr)
        return kExitFailed;
    int code = kExitOk;
    for (const char* path : options.arguments)
        if (!SignFile(key, path)) {
            code = kExitFailed;
            break;
        }
    RsaPrivateKeyFree(key);
    return code;
}

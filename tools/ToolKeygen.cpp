// kivupdate keygen: a publisher's RSA key pair, NAME.key (PKCS#8 PEM, readable by its
// owner only) and NAME.pub (SubjectPublicKeyInfo PEM).
#include "tools/Tool.h"

#include "crypto/ConstantTime.h"
#include "crypto/RsaKeyCodec.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

namespace {

const CommandSyntax kSyntax = {"keygen", kOptOut | kOptBits, 0, "keygen takes no arguments"};

constexpr uint64_t kPublicExponent = 65537;

// The PEM of the private key, wiped before its memory goes back.
struct SecretText {
    std::vector<char> text;
    ~SecretText() { CryptoWipe(text.data(), text.size()); }
};

} // namespace

int KeygenCommand(int argc, char** argv) {
    ToolOptions options;
    if (int code = ParseCommandLine(kSyntax, argc, argv, &options); code >= 0)
        return code;
    if (options.out.empty())
        return Usage("keygen needs --out NAME");
    const std::string privatePath = options.out + ".key";
    const std::string publicPath = options.out + ".pub";
    // Asked first, so that nobody waits for a key that would not be written.
    for (const std::string& path : {privatePath, publicPath})
        if (FILE* existing = fopen(path.c_str(), "rb")) {
            fclose(existing);
            fprintf(stderr, "kivupdate: %s exists; it is not overwritten\n", path.c_str());
            return kExitFailed;
        }

    fprintf(stderr, "kivupdate: making a %u-bit RSA key...\n", options.bits);
    RsaPrivateKey* key = RsaGenerateKey(options.bits, kPublicExponent);
    if (key == nullptr) {
        fprintf(stderr, "kivupdate: the key could not be made (no random numbers?)\n");
        return kExitFailed;
    }
    const RsaPublicKey* publicKey = RsaPrivateKeyPublic(key);
    SecretText secret;
    std::vector<char> publicText;
    uint8_t id[kUpdateKeyIdSize];
    // The size queries count the NUL that the writers add.
    secret.text.resize(RsaPrivateKeyToPem(key, RSA_KEY_PKCS8, nullptr, 0));
    publicText.resize(RsaPublicKeyToPem(publicKey, RSA_KEY_X509, nullptr, 0));
    size_t secretSize =
        secret.text.empty()
            ? 0
            : RsaPrivateKeyToPem(key, RSA_KEY_PKCS8, secret.text.data(), secret.text.size());
    size_t publicSize =
        publicText.empty()
            ? 0
            : RsaPublicKeyToPem(publicKey, RSA_KEY_X509, publicText.data(), publicText.size());
    bool encoded = secretSize != 0 && publicSize != 0 && UpdateKeyId(publicKey, id);
    RsaPrivateKeyFree(key);
    if (!encoded) {
        fprintf(stderr, "kivupdate: the key could not be encoded\n");
        return kExitFailed;
    }
    if (!WriteNewFile(privatePath.c_str(), secret.text.data(), secretSize, true))
        return kExitFailed;
    if (!WriteNewFile(publicPath.c_str(), publicText.data(), publicSize, false)) {
        // A private key without its public half is of no use to anyone: take it back.
        remove(privatePath.c_str());
        return kExitFailed;
    }
    printf("wrote %s (private: keep it secret) and %s (public: give it to hosts)\n",
           privatePath.c_str(), publicPath.c_str());
    printf("key id %s\n", KeyIdText(id).c_str());
    return kExitOk;
}

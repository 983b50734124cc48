// kiv_schemetool: signs, verifies, encrypts and decrypts files with the RSA schemes of
// crypto/RsaSignature.h and crypto/RsaEncryption.h, so that scripts/interop can hand
// signatures and ciphertexts between this library (natively and the Windows build under
// Wine) and the openssl command.
//
//   kiv_schemetool sign    pkcs1|pss  [OPTIONS] PRIVATE.pem MESSAGE SIGNATURE
//   kiv_schemetool verify  pkcs1|pss  [OPTIONS] KEY.pem MESSAGE SIGNATURE
//   kiv_schemetool encrypt oaep|pkcs1 [OPTIONS] KEY.pem PLAINTEXT CIPHERTEXT
//   kiv_schemetool decrypt oaep|pkcs1 [OPTIONS] PRIVATE.pem CIPHERTEXT PLAINTEXT
//
// OPTIONS: --hash NAME (default SHA-256; signing and verification hash MESSAGE with it),
// --mgf NAME (MGF1's digest; default the hash), --salt N or --salt any (PSS; default the
// hash's size; verify prints "salt N", the length it found), --label HEX (OAEP). KEY.pem
// is a public key, or a private key whose public half is used.
// Exit status: 0 done (a valid signature), 1 refused (an invalid signature, a ciphertext
// that does not decrypt, a message too long), 2 usage, 3 a file or key could not be read
// or written.
#include "crypto/RsaEncryption.h"
#include "crypto/RsaKeyCodec.h"
#include "crypto/RsaSignature.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Messages and keys of these runs are small; anything far larger is a mistake.
const size_t kMaxFile = 1 << 20;

struct Options {
    const char* command;
    const char* scheme;
    const DigestAlgorithm* hash = &kDigestSha256;
    const DigestAlgorithm* mgf = nullptr;
    size_t salt = kRsaPssSaltAny - 1; // stands for "the hash's size" until it is known
    std::vector<uint8_t> label;
    const char* paths[3];
};

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return false;
    uint8_t buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0 && bytes->size() + n <= kMaxFile)
        bytes->insert(bytes->end(), buffer, buffer + n);
    const bool ok = ferror(file) == 0 && n == 0;
    fclose(file);
    return ok;
}

bool WriteFile(const char* path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr)
        return false;
    const bool ok = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

bool ParseHex(const char* text, std::vector<uint8_t>* bytes) {
    size_t length = strlen(text);
    if (length % 2 != 0)
        return false;
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {text[i], text[i + 1], '\0'};
        char* end = nullptr;
        unsigned long value = strtoul(pair, &end, 16);
        if (end != pair + 2)
            return false;
        bytes->push_back(static_cast<uint8_t>(value));
    }
    return true;
}

// False on anything it does not understand.
bool ParseOptions(int argc, char** argv, Options* options) {
    if (argc < 6)
        return false;
    options->command = argv[1];
    options->scheme = argv[2];
    int positional = 0;
    for (int i = 3; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strncmp(arg, "--", 2) != 0) {
            if (positional == 3)
                return false;
            options->paths[positional++] = arg;
            continue;
        }
        if (value == nullptr)
            return false;
        ++i;
        if (strcmp(arg, "--hash") == 0 || strcmp(arg, "--mgf") == 0) {
            const DigestAlgorithm* found = DigestByName(value);
            if (found == nullptr)
                return false;
            (arg[2] == 'h' ? options->hash : options->mgf) = found;
        } else if (strcmp(arg, "--salt") == 0) {
            char* end = nullptr;
            options->salt = strcmp(value, "any") == 0 ? kRsaPssSaltAny : strtoul(value, &end, 10);
            if (end != nullptr && (end == value || *end != '\0'))
                return false;
        } else if (strcmp(arg, "--label") == 0) {
            if (!ParseHex(value, &options->label))
                return false;
        } else {
            return false;
        }
    }
    if (options->mgf == nullptr)
        options->mgf = options->hash;
    if (options->salt == kRsaPssSaltAny - 1)
        options->salt = options->hash->digest_size;
    return positional == 3;
}

// The key of `path`: a private key when `needPrivate`, else whichever the PEM holds.
bool LoadKey(const char* path, bool needPrivate, RsaPrivateKey** privateKey,
             RsaPublicKey** publicKey) {
    std::vector<uint8_t> pem;
    if (!ReadFile(path, &pem))
        return false;
    const char* text = reinterpret_cast<const char*>(pem.data());
    RsaKeyStatus status = RSA_KEY_BAD_ARGUMENT;
    *privateKey = RsaPrivateKeyFromPem(text, pem.size(), &status);
    if (*privateKey == nullptr && !needPrivate)
        *publicKey = RsaPublicKeyFromPem(text, pem.size(), &status);
    if (*privateKey == nullptr && *publicKey == nullptr)
        fprintf(stderr, "kiv_schemetool: %s: %s\n", path, RsaKeyStatusText(status));
    return *privateKey != nullptr || *publicKey != nullptr;
}

int Run(const Options& o, const RsaPrivateKey* privateKey, const RsaPublicKey* publicKey,
        const std::vector<uint8_t>& input) {
    const bool pss = strcmp(o.scheme, "pss") == 0;
    const bool oaep = strcmp(o.scheme, "oaep") == 0;
    const void* label = o.label.empty() ? nullptr : o.label.data();
    size_t k = RsaKeySize(publicKey);
    std::vector<uint8_t> out(k);
    size_t size = k;
    uint8_t digest[kDigestMaxSize];
    size_t hLen = o.hash->digest_size;
    if (!Digest(o.hash, input.data(), input.size(), digest, sizeof digest))
        return 3;
    int done = 0;
    if (strcmp(o.command, "sign") == 0) {
        done = pss ? RsaPssSign(privateKey, o.hash, o.mgf, o.salt, digest, hLen, out.data(), k)
                   : RsaPkcs1Sign(privateKey, o.hash, digest, hLen, out.data(), k);
    } else if (strcmp(o.command, "verify") == 0) {
        std::vector<uint8_t> signature;
        if (!ReadFile(o.paths[2], &signature))
            return 3;
        size_t salt = 0;
        done = pss ? RsaPssVerify(publicKey, o.hash, o.mgf, o.salt, digest, hLen, signature.data(),
                                  signature.size(), &salt)
                   : RsaPkcs1Verify(publicKey, o.hash, digest, hLen, signature.data(),
                                    signature.size());
        if (done && pss)
            printf("salt %zu\n", salt);
        return done ? 0 : 1;
    } else if (strcmp(o.command, "encrypt") == 0) {
        done = oaep ? RsaOaepEncrypt(publicKey, o.hash, o.mgf, label, o.label.size(), input.data(),
                                     input.size(), out.data(), k)
                    : RsaPkcs1Encrypt(publicKey, input.data(), input.size(), out.data(), k);
    } else {
        done = oaep ? RsaOaepDecrypt(privateKey, o.hash, o.mgf, label, o.label.size(), input.data(),
                                     input.size(), out.data(), k, &size)
                    : RsaPkcs1Decrypt(privateKey, input.data(), input.size(), out.data(), k, &size);
    }
    if (!done)
        return 1;
    return WriteFile(o.paths[2], out.data(), size) ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        fprintf(stderr, "usage: kiv_schemetool sign|verify pkcs1|pss [OPTIONS] KEY MESSAGE SIG\n"
                        "       kiv_schemetool encrypt|decrypt oaep|pkcs1 [OPTIONS] KEY IN OUT\n"
                        "options: --hash NAME --mgf NAME --salt N|any --label HEX\n");
        return 2;
    }
    const bool signing =
        strcmp(options.command, "sign") == 0 || strcmp(options.command, "verify") == 0;
    const bool encrypting =
        strcmp(options.command, "encrypt") == 0 || strcmp(options.command, "decrypt") == 0;
    const char* scheme = options.scheme;
    if (!(signing && (strcmp(scheme, "pkcs1") == 0 || strcmp(scheme, "pss") == 0)) &&
        !(encrypting && (strcmp(scheme, "pkcs1") == 0 || strcmp(scheme, "oaep") == 0))) {
        fprintf(stderr, "kiv_schemetool: no scheme %s for %s\n", scheme, options.command);
        return 2;
    }
    const bool needPrivate =
        strcmp(options.command, "sign") == 0 || strcmp(options.command, "decrypt") == 0;
    RsaPrivateKey* privateKey = nullptr;
    RsaPublicKey* publicKey = nullptr;
    std::vector<uint8_t> input;
    int result = 3;
    if (!LoadKey(options.paths[0], needPrivate, &privateKey, &publicKey))
        fprintf(stderr, "kiv_schemetool: no key in %s\n", options.paths[0]);
    else if (!ReadFile(options.paths[1], &input))
        fprintf(stderr, "kiv_schemetool: cannot read %s\n", options.paths[1]);
    else
        result = Run(options, privateKey,
                     publicKey != nullptr ? publicKey : RsaPrivateKeyPublic(privateKey), input);
    RsaPrivateKeyFree(privateKey);
    RsaPublicKeyFree(publicKey);
    return result;
}

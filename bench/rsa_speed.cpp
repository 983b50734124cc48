// RSA against OpenSSL's libcrypto (EVP_PKEY) in the same run, on the same keys: the raw
// public operation of RSA-2048 with e = 65537 (what verifying a signature costs), the raw
// private operation of RSA-2048 and RSA-4096 (signing: CRT, blinding and, for us, the check
// against the public key), and 2,048-bit key generation. Operations per second are the
// median of RUNS runs, the two libraries taking turns within each run; key generation is
// the median of KEYGENS keys each. First it prints which code paths OpenSSL takes on this
// processor: its capability vector (OpenSSL_version(OPENSSL_CPU_INFO)) decoded by the bits
// its OPENSSL_ia32cap manual documents, and, to show that the AVX-512 IFMA path is the one
// in use, OpenSSL's RSA-2048 signing measured again in a child process with that bit
// masked through the OPENSSL_ia32cap environment variable. The signature schemes follow end
// to end on a SHA-256 digest, as an update check verifies and a release is signed:
// PKCS#1 v1.5 and PSS (MGF1-SHA-256, 32-byte salt) through crypto/RsaSignature.h beside
// EVP_PKEY_sign and EVP_PKEY_verify with the same padding.
// usage: bench_rsa [RUNS] [KEYGENS]
#include "BenchUtil.h"

#include "crypto/Montgomery.h"
#include "crypto/RsaKey.h"
#include "crypto/RsaKeyInternal.h"
#include "crypto/RsaSignature.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds each side runs per measurement.
constexpr double kSlice = 0.25;

struct Pair {
    EVP_PKEY* openssl = nullptr;
    RsaPrivateKey* ours = nullptr;
    size_t k = 0;
};

EVP_PKEY* OpenSslKey(int bits) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    if (ctx == nullptr || EVP_PKEY_keygen_init(ctx) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, bits) <= 0 || EVP_PKEY_generate(ctx, &key) <= 0)
        key = nullptr;
    EVP_PKEY_CTX_free(ctx);
    return key;
}

// Our key from the components of OpenSSL's.
RsaPrivateKey* Import(EVP_PKEY* key) {
    const char* names[8] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                            OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                            OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                            OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
    std::vector<uint8_t> bytes[8];
    RsaComponentsView view;
    for (int i = 0; i < 8; ++i) {
        BIGNUM* bn = nullptr;
        if (EVP_PKEY_get_bn_param(key, names[i], &bn) <= 0)
            return nullptr;
        bytes[i].resize(static_cast<size_t>(BN_num_bytes(bn)) + 1);
        bytes[i].resize(static_cast<size_t>(BN_bn2bin(bn, bytes[i].data())));
        BN_free(bn);
        view.data[i] = bytes[i].data();
        view.size[i] = bytes[i].size();
    }
    return RsaPrivateKeyNew(&view);
}

// Operations per second of `op` over about kSlice seconds.
template <typename Op>
double Rate(Op op) {
    size_t count = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 4; ++i) {
            if (!op()) {
                fprintf(stderr, "an operation failed\n");
                exit(1);
            }
        }
        count += 4;
        elapsed = Seconds(start);
    } while (elapsed < kSlice);
    return static_cast<double>(count) / elapsed;
}

// A raw RSA operation of OpenSSL's (no padding) through a context kept across calls.
struct OpenSslOp {
    EVP_PKEY_CTX* ctx;
    bool isPrivate;
    OpenSslOp(EVP_PKEY* key, bool privateOp)
        : ctx(EVP_PKEY_CTX_new(key, nullptr)), isPrivate(privateOp) {
        if ((privateOp ? EVP_PKEY_decrypt_init(ctx) : EVP_PKEY_encrypt_init(ctx)) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) <= 0) {
            fprintf(stderr, "OpenSSL refused a raw RSA context\n");
            exit(1);
        }
    }
    ~OpenSslOp() { EVP_PKEY_CTX_free(ctx); }
    bool Run(const uint8_t* in, size_t k, uint8_t* out) const {
        size_t outSize = k;
        return (isPrivate ? EVP_PKEY_decrypt(ctx, out, &outSize, in, k)
                          : EVP_PKEY_encrypt(ctx, out, &outSize, in, k)) > 0;
    }
};

struct Result {
    double ours, openssl;
};

Result Measure(const Pair& pair, bool privateOp, int runs) {
    std::vector<uint8_t> in(pair.k), out(pair.k);
    for (size_t i = 0; i < pair.k; ++i)
        in[i] = static_cast<uint8_t>(i * 37 + 11);
    in[0] = 0; // below n
    const OpenSslOp openssl(pair.openssl, privateOp);
    const RsaPublicKey* pub = RsaPrivateKeyPublic(pair.ours);
    std::vector<double> ours, theirs;
    for (int run = 0; run < runs; ++run) {
        ours.push_back(Rate([&] {
            return (privateOp ? RsaPrivateOp(pair.ours, in.data(), pair.k, out.data(), pair.k)
                              : RsaPublicOp(pub, in.data(), pair.k, out.data(), pair.k)) != 0;
        }));
        theirs.push_back(Rate([&] { return openssl.Run(in.data(), pair.k, out.data()); }));
    }
    return {Median(ours), Median(theirs)};
}

// A signing or verifying context of OpenSSL's for a SHA-256 digest, PKCS#1 v1.5 or PSS
// with a salt as long as the digest.
struct OpenSslSigner {
    EVP_PKEY_CTX* ctx;
    OpenSslSigner(EVP_PKEY* key, bool sign, bool pss) : ctx(EVP_PKEY_CTX_new(key, nullptr)) {
        if ((sign ? EVP_PKEY_sign_init(ctx) : EVP_PKEY_verify_init(ctx)) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(ctx, pss ? RSA_PKCS1_PSS_PADDING : RSA_PKCS1_PADDING) <=
                0 ||
            EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) <= 0 ||
            (pss && EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, 32) <= 0)) {
            fprintf(stderr, "OpenSSL refused a signature context\n");
            exit(1);
        }
    }
    ~OpenSslSigner() { EVP_PKEY_CTX_free(ctx); }
};

// Signing or verification through the schemes. Each library verifies its own signature;
// before timing, OpenSSL must accept ours, or the figures would compare unlike work.
Result MeasureScheme(const Pair& pair, bool sign, bool pss, int runs) {
    const size_t k = pair.k;
    const RsaPublicKey* pub = RsaPrivateKeyPublic(pair.ours);
    uint8_t digest[32];
    for (size_t i = 0; i < sizeof digest; ++i)
        digest[i] = static_cast<uint8_t>(i * 29 + 3);
    std::vector<uint8_t> ours(k), theirs(k);
    size_t theirSize = k;
    const OpenSslSigner signer(pair.openssl, true, pss), verifier(pair.openssl, false, pss);
    const auto signOurs = [&] {
        return (pss ? RsaPssSign(pair.ours, &kDigestSha256, &kDigestSha256, 32, digest, 32,
                                 ours.data(), k)
                    : RsaPkcs1Sign(pair.ours, &kDigestSha256, digest, 32, ours.data(), k)) != 0;
    };
    const auto signTheirs = [&] {
        theirSize = k;
        return EVP_PKEY_sign(signer.ctx, theirs.data(), &theirSize, digest, 32) > 0;
    };
    if (!signOurs() || !signTheirs() ||
        EVP_PKEY_verify(verifier.ctx, ours.data(), k, digest, 32) != 1) {
        fprintf(stderr, "the signatures do not cross between the libraries\n");
        exit(1);
    }
    std::vector<double> ourRates, theirRates;
    for (int run = 0; run < runs; ++run) {
        if (sign) {
            ourRates.push_back(Rate(signOurs));
            theirRates.push_back(Rate(signTheirs));
        } else {
            ourRates.push_back(Rate([&] {
                return (pss ? RsaPssVerify(pub, &kDigestSha256, &kDigestSha256, 32, digest, 32,
                                           ours.data(), k, nullptr)
                            : RsaPkcs1Verify(pub, &kDigestSha256, digest, 32, ours.data(), k)) != 0;
            }));
            theirRates.push_back(Rate([&] {
                return EVP_PKEY_verify(verifier.ctx, theirs.data(), theirSize, digest, 32) == 1;
            }));
        }
    }
    return {Median(ourRates), Median(theirRates)};
}

// A row of the table; a target of 0 marks a row for information.
void Row(const char* name, const Result& r, double target) {
    printf("%-36s %10.0f %10.0f %8.2f", name, r.ours, r.openssl, r.ours / r.openssl);
    if (target > 0)
        printf("   (target %.1f)", target);
    printf("\n");
}

// The documented capability bits of OpenSSL_version(OPENSSL_CPU_INFO)'s second word (CPUID
// leaf 7, EBX) that select its big-number code.
void PrintOpenSslPaths() {
    const char* info = OpenSSL_version(OPENSSL_CPU_INFO);
    printf("%s, %s\n", OpenSSL_version(OPENSSL_VERSION), info);
    const char* at = strstr(info, "OPENSSL_ia32cap=");
    if (at == nullptr)
        return;
    char* end = nullptr;
    strtoull(at + 16, &end, 16);
    if (end == nullptr || *end != ':')
        return;
    const uint64_t leaf7 = strtoull(end + 1, nullptr, 16);
    const auto has = [&](int bit) { return ((leaf7 >> bit) & 1) != 0 ? "yes" : "no"; };
    printf("OpenSSL capability bits (second word): BMI2 (64+8) %s, ADCX/ADOX (64+19) %s, "
           "AVX2 (64+5) %s, AVX512F (64+16) %s, AVX512IFMA (64+21) %s\n",
           has(8), has(19), has(5), has(16), has(21));
}

// OpenSSL's RSA-2048 signing rate measured by a child of this program, with `mask` applied
// to its capability vector through the environment (-1 when the child fails).
double ChildSigningRate(const char* self, const char* mask) {
    std::string command = "OPENSSL_ia32cap='" + std::string(mask) + "' '" + self + "' --child";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return -1;
    double rate = -1;
    char line[128];
    if (fgets(line, sizeof line, child) != nullptr)
        rate = strtod(line, nullptr);
    pclose(child);
    return rate;
}

double OpenSslSigningAlone(EVP_PKEY* key, int runs) {
    const size_t k = static_cast<size_t>(EVP_PKEY_get_size(key));
    std::vector<uint8_t> in(k, 0x35), out(k);
    in[0] = 0;
    const OpenSslOp op(key, true);
    std::vector<double> rates;
    for (int run = 0; run < runs; ++run)
        rates.push_back(Rate([&] { return op.Run(in.data(), k, out.data()); }));
    return Median(rates);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "--child") == 0) {
        EVP_PKEY* key = OpenSslKey(2048);
        printf("%.1f\n", key == nullptr ? -1.0 : OpenSslSigningAlone(key, 5));
        EVP_PKEY_free(key);
        return 0;
    }
    const int runs = argc > 1 ? static_cast<int>(strtol(argv[1], nullptr, 10)) : 5;
    const int keygens = argc > 2 ? static_cast<int>(strtol(argv[2], nullptr, 10)) : 20;
    if (runs < 1 || keygens < 1) {
        fprintf(stderr, "usage: bench_rsa [RUNS] [KEYGENS]\n");
        return 2;
    }
    PrintOpenSslPaths();
    Pair pairs[2];
    const int sizes[2] = {2048, 4096};
    for (int i = 0; i < 2; ++i) {
        pairs[i].openssl = OpenSslKey(sizes[i]);
        pairs[i].ours = pairs[i].openssl != nullptr ? Import(pairs[i].openssl) : nullptr;
        if (pairs[i].ours == nullptr) {
            fprintf(stderr, "could not make the RSA-%d keys\n", sizes[i]);
            return 1;
        }
        pairs[i].k = RsaKeySize(RsaPrivateKeyPublic(pairs[i].ours));
        printf("our RSA-%d engine: modulus %s, primes %s\n", sizes[i],
               MontgomeryEngineName(&RsaPrivateKeyPublic(pairs[i].ours)->n),
               MontgomeryEngineName(&pairs[i].ours->p));
    }
    const double withIfma = OpenSslSigningAlone(pairs[0].openssl, runs);
    const double withoutIfma = ChildSigningRate(argv[0], ":~0x200000");
    printf("OpenSSL RSA-2048 signing: %.0f/s as detected, %.0f/s with AVX512IFMA masked "
           "(OPENSSL_ia32cap=:~0x200000): the IFMA path is %s\n",
           withIfma, withoutIfma, withIfma > 1.3 * withoutIfma ? "in use" : "not in use");

    printf("\n%-36s %10s %10s %8s\n", "operations per second (median)", "ours", "OpenSSL", "ratio");
    Row("RSA-2048 verify (raw, e = 65537)", Measure(pairs[0], false, runs), 1.0);
    Row("RSA-2048 sign (raw private op)", Measure(pairs[0], true, runs), 0.5);
    Row("RSA-4096 sign (raw private op)", Measure(pairs[1], true, runs), 0.4);
    Row("RSA-2048 verify PKCS#1 v1.5 SHA-256", MeasureScheme(pairs[0], false, false, runs), 1.0);
    Row("RSA-2048 verify PSS SHA-256", MeasureScheme(pairs[0], false, true, runs), 1.0);
    Row("RSA-2048 sign PKCS#1 v1.5 SHA-256", MeasureScheme(pairs[0], true, false, runs), 0.5);
    Row("RSA-2048 sign PSS SHA-256", MeasureScheme(pairs[0], true, true, runs), 0.5);
    Row("RSA-4096 sign PKCS#1 v1.5 SHA-256", MeasureScheme(pairs[1], true, false, runs), 0.4);
    Row("RSA-4096 sign PSS SHA-256", MeasureScheme(pairs[1], true, true, runs), 0.4);
    // Our portable code, where a processor lacks the vector engine; for information.
    MontgomeryUsePortable(1);
    Row("  portable: RSA-2048 verify", Measure(pairs[0], false, runs), 0);
    Row("  portable: RSA-2048 sign", Measure(pairs[0], true, runs), 0);
    Row("  portable: RSA-4096 sign", Measure(pairs[1], true, runs), 0);
    MontgomeryUsePortable(0);

    std::vector<double> ours, theirs;
    for (int i = 0; i < keygens; ++i) {
        auto start = Clock::now();
        RsaPrivateKey* key = RsaGenerateKey(2048, 65537);
        ours.push_back(Seconds(start));
        start = Clock::now();
        EVP_PKEY* other = OpenSslKey(2048);
        theirs.push_back(Seconds(start));
        if (key == nullptr || other == nullptr) {
            fprintf(stderr, "key generation failed\n");
            return 1;
        }
        RsaPrivateKeyFree(key);
        EVP_PKEY_free(other);
    }
    printf("%-36s %8.1f ms %7.1f ms %8.2f   (median of %d, reported)\n", "RSA-2048 key generation",
           1000 * Median(ours), 1000 * Median(theirs), Median(theirs) / Median(ours), keygens);
    for (Pair& pair : pairs) {
        RsaPrivateKeyFree(pair.ours);
        EVP_PKEY_free(pair.openssl);
    }
    return 0;
}

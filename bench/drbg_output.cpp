// Random-generator output: 1 MiB from the library's HMAC_DRBG (SHA-512 and SHA-256, in
// requests of the largest size) and from the process-wide generator, beside OpenSSL's
// HMAC-DRBG over SHA-512 and its RAND_bytes (CTR-DRBG over AES-256), interleaved round by
// round so that all see the same machine; medians of the rounds.
// usage: bench_drbg_output [ROUNDS]

#include "BenchUtil.h"
#include "crypto/HmacDrbg.h"
#include "crypto/Random.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kOutput = 1 << 20;

// Seconds for 1 MiB from `fill`, which serves up to `piece` bytes per call; 0 on failure.
template <typename Fill>
double Time(size_t piece, Fill fill, std::vector<unsigned char>* out) {
    auto start = std::chrono::steady_clock::now();
    for (size_t done = 0; done < kOutput; done += piece)
        if (!fill(out->data() + done, piece))
            return 0;
    return Seconds(start);
}

struct Column {
    const char* name;
    std::vector<double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    if (rounds < 1)
        rounds = 1;
    std::vector<unsigned char> out(kOutput);

    HmacDrbg sha512, sha256;
    if (!HmacDrbgInstantiate(&sha512, &kDigestSha512, nullptr, 0) ||
        !HmacDrbgInstantiate(&sha256, &kDigestSha256, nullptr, 0)) {
        std::fprintf(stderr, "cannot instantiate the library's generators\n");
        return 1;
    }
    EVP_RAND* hmacDrbg = EVP_RAND_fetch(nullptr, "HMAC-DRBG", nullptr);
    EVP_RAND_CTX* openssl = hmacDrbg ? EVP_RAND_CTX_new(hmacDrbg, nullptr) : nullptr;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_MAC, const_cast<char*>("HMAC"), 0),
        OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_DIGEST, const_cast<char*>("SHA512"), 0),
        OSSL_PARAM_construct_end()};
    if (openssl == nullptr || !EVP_RAND_instantiate(openssl, 256, 0, nullptr, 0, params)) {
        std::fprintf(stderr, "cannot instantiate OpenSSL's HMAC-DRBG\n");
        return 1;
    }

    Column columns[] = {{"library HMAC_DRBG SHA-512", {}},
                        {"library HMAC_DRBG SHA-256", {}},
                        {"library CryptoRandomBytes", {}},
                        {"OpenSSL HMAC-DRBG SHA-512", {}},
                        {"OpenSSL RAND_bytes", {}}};
    for (int round = 0; round < rounds; ++round) {
        columns[0].seconds.push_back(Time(
            kHmacDrbgMaxRequest,
            [&](unsigned char* p, size_t n) { return HmacDrbgGenerate(&sha512, p, n, nullptr, 0); },
            &out));
        columns[1].seconds.push_back(Time(
            kHmacDrbgMaxRequest,
            [&](unsigned char* p, size_t n) { return HmacDrbgGenerate(&sha256, p, n, nullptr, 0); },
            &out));
        columns[2].seconds.push_back(Time(
            kOutput, [](unsigned char* p, size_t n) { return CryptoRandomBytes(p, n); }, &out));
        columns[3].seconds.push_back(Time(
            kHmacDrbgMaxRequest,
            [&](unsigned char* p, size_t n) {
                return EVP_RAND_generate(openssl, p, n, 256, 0, nullptr, 0);
            },
            &out));
        columns[4].seconds.push_back(Time(
            kOutput, [](unsigned char* p, size_t n) { return RAND_bytes(p, static_cast<int>(n)); },
            &out));
    }
    std::printf("DRBG output, 1 MiB, median of %d rounds:\n", rounds);
    for (const Column& column : columns) {
        double seconds = Median(column.seconds);
        if (seconds <= 0)
            std::printf("  %-27s failed\n", column.name);
        else
            std::printf("  %-27s %8.2f ms  %8.1f MiB/s\n", column.name, seconds * 1000,
                        1 / seconds);
    }
    HmacDrbgUninstantiate(&sha512);
    HmacDrbgUninstantiate(&sha256);
    EVP_RAND_CTX_free(openssl);
    EVP_RAND_free(hmacDrbg);
    return 0;
}

// Digest throughput and HMAC latency against OpenSSL's libcrypto (EVP) in the same run:
// SHA-256 and SHA-1 on the SHA extensions and on the portable code, SHA-512 and MD5, each
// over 16 KiB messages; one-shot HMAC-SHA256 of 64 bytes. Each run times both libraries
// back to back; the figures are medians over the runs, in processor time of the thread. OpenSSL
// gets its best case: the algorithms fetched once and contexts reused, so no look-up is timed.
// usage: bench_crypto_digest [RUNS]

#include "BenchUtil.h"
#include "crypto/Digest.h"
#include "crypto/Hmac.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr size_t kMessageSize = 16 * 1024;
constexpr size_t kHmacSize = 64;

uint8_t g_message[kMessageSize];
uint8_t g_sink[kDigestMaxSize]; // results go here so that no call can be dropped

// This thread's processor time in seconds: the machine may be shared, and time spent
// waiting for a processor is nobody's throughput.
double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One run: `batches` alternations of `count` calls of ours and `count` of theirs, so that
// both see the same machine even while its load changes; appends each one's processor
// seconds per call.
void TimeRun(const std::function<void()>& ours, const std::function<void()>& theirs, int batches,
             int count, std::vector<double>* ourRuns, std::vector<double>* theirRuns) {
    double ourTime = 0, theirTime = 0;
    for (int batch = 0; batch < batches; ++batch) {
        double start = ThreadSeconds();
        for (int i = 0; i < count; ++i)
            ours();
        ourTime += ThreadSeconds() - start;
        start = ThreadSeconds();
        for (int i = 0; i < count; ++i)
            theirs();
        theirTime += ThreadSeconds() - start;
    }
    ourRuns->push_back(ourTime / (batches * count));
    theirRuns->push_back(theirTime / (batches * count));
}

struct Pair {
    std::vector<double> ours, theirs; // seconds per call, one entry per run

    // Median over the runs of each run's ratio of our time to theirs.
    double TimeRatio() const {
        std::vector<double> ratios;
        for (size_t i = 0; i < ours.size(); ++i)
            ratios.push_back(ours[i] / theirs[i]);
        return Median(ratios);
    }
};

void OpenSslDigest(EVP_MD_CTX* context, const EVP_MD* md, const void* data, size_t size) {
    unsigned int length = 0;
    if (!EVP_DigestInit_ex2(context, md, nullptr) || !EVP_DigestUpdate(context, data, size) ||
        !EVP_DigestFinal_ex(context, g_sink, &length)) {
        fprintf(stderr, "OpenSSL digest failed\n");
        exit(1);
    }
}

void OurDigest(const DigestAlgorithm* algorithm, const void* data, size_t size) {
    if (!Digest(algorithm, data, size, g_sink, sizeof g_sink)) {
        fprintf(stderr, "Digest failed\n");
        exit(1);
    }
}

void PrintThroughput(const char* label, const Pair& pair, double target) {
    const double ours = kMessageSize / Median(pair.ours) / (1 << 20);
    const double theirs = kMessageSize / Median(pair.theirs) / (1 << 20);
    printf("%-26s ours %6.0f MiB/s  OpenSSL %6.0f MiB/s  ratio %.2f", label, ours, theirs,
           1 / pair.TimeRatio());
    if (target > 0)
        printf(" (target >= %.1f)", target);
    printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? static_cast<int>(strtol(argv[1], nullptr, 10)) : 9;
    if (runs < 1) {
        fprintf(stderr, "usage: bench_crypto_digest [RUNS]\n");
        return 2;
    }
    for (size_t i = 0; i < kMessageSize; ++i)
        g_message[i] = static_cast<uint8_t>(i * 131 + 7);
    EVP_MD_CTX* context = EVP_MD_CTX_new();

    struct Row {
        const char* label;
        const DigestAlgorithm* ours;
        const char* openssl;
        int portable;
        double target;
        Pair pair;
    } rows[] = {
        {"SHA-256 (SHA extensions)", &kDigestSha256, "SHA256", 0, 1.0, {}},
        {"SHA-256 (portable)", &kDigestSha256, "SHA256", 1, 0.0, {}},
        {"SHA-1 (SHA extensions)", &kDigestSha1, "SHA1", 0, 1.0, {}},
        {"SHA-1 (portable)", &kDigestSha1, "SHA1", 1, 0.0, {}},
        {"SHA-512 (AVX2 and BMI2)", &kDigestSha512, "SHA512", 0, 0.8, {}},
        {"SHA-512 (portable)", &kDigestSha512, "SHA512", 1, 0.0, {}},
        {"MD5", &kDigestMd5, "MD5", 0, 0.9, {}},
    };
    if (!DigestAccelerated())
        printf("this processor has no SHA extensions: the first rows are portable code too\n");
    for (int run = 0; run < runs; ++run) {
        for (Row& row : rows) {
            EVP_MD* md = EVP_MD_fetch(nullptr, row.openssl, nullptr);
            if (md == nullptr) {
                fprintf(stderr, "OpenSSL has no %s\n", row.openssl);
                return 1;
            }
            DigestUsePortable(row.portable);
            TimeRun([&] { OurDigest(row.ours, g_message, kMessageSize); },
                    [&] { OpenSslDigest(context, md, g_message, kMessageSize); }, 100, 20,
                    &row.pair.ours, &row.pair.theirs);
            DigestUsePortable(0);
            EVP_MD_free(md);
        }
    }
    printf("digest throughput over %d runs, %zu-byte messages, medians:\n", runs, kMessageSize);
    for (const Row& row : rows)
        PrintThroughput(row.label, row.pair, row.target);

    // HMAC-SHA256 of 64 bytes under a 32-byte key, a new key each call as a one-shot has it.
    uint8_t key[32];
    for (size_t i = 0; i < sizeof key; ++i)
        key[i] = static_cast<uint8_t>(i + 1);
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* macContext = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    char digestName[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                           OSSL_PARAM_construct_end()};
    if (macContext == nullptr || !EVP_MAC_CTX_set_params(macContext, params)) {
        fprintf(stderr, "OpenSSL has no HMAC-SHA256\n");
        return 1;
    }
    Pair hmac, oneShot;
    for (int run = 0; run < runs; ++run) {
        const auto ours = [&] {
            if (!Hmac(&kDigestSha256, key, sizeof key, g_message, kHmacSize, g_sink, sizeof g_sink))
                exit(1);
        };
        TimeRun(
            ours,
            [&] {
                size_t length = 0;
                if (!EVP_MAC_init(macContext, key, sizeof key, nullptr) ||
                    !EVP_MAC_update(macContext, g_message, kHmacSize) ||
                    !EVP_MAC_final(macContext, g_sink, &length, sizeof g_sink))
                    exit(1);
            },
            200, 100, &hmac.ours, &hmac.theirs);
        TimeRun(
            ours,
            [&] {
                unsigned int length = 0;
                if (HMAC(EVP_sha256(), key, sizeof key, g_message, kHmacSize, g_sink, &length) ==
                    nullptr)
                    exit(1);
            },
            20, 100, &oneShot.ours, &oneShot.theirs);
    }
    printf("HMAC-SHA256 of %zu bytes, one-shot: ours %.0f ns  OpenSSL EVP_MAC (context "
           "reused) %.0f ns  ratio %.2f (target <= 1.0)\n",
           kHmacSize, Median(hmac.ours) * 1e9, Median(hmac.theirs) * 1e9, hmac.TimeRatio());
    printf("HMAC-SHA256 of %zu bytes, one-shot: ours %.0f ns  OpenSSL HMAC() %.0f ns  ratio "
           "%.2f\n",
           kHmacSize, Median(oneShot.ours) * 1e9, Median(oneShot.theirs) * 1e9,
           oneShot.TimeRatio());
    EVP_MAC_CTX_free(macContext);
    EVP_MAC_free(mac);
    EVP_MD_CTX_free(context);
    return 0;
}

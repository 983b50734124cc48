// Prints the checked-in HMAC_DRBG answers of tests/HmacDrbgTest.cpp (kOpenSslVectors) as
// OpenSSL 3 computes them: each scenario's inputs are a fixed pattern of bytes, its outputs
// come from OpenSSL's "HMAC-DRBG" over a "TEST-RAND" parent (tests/oracle/OpenSslDrbg.cpp).
// Built natively beside the tests as kiv_hmac_drbg_vectors; run it and paste its output
// over the table. Outputs longer than 128 bytes are given as their SHA-256.
#include "oracle/OpenSslDrbg.h"

#include <openssl/evp.h>

#include <cstdio>

namespace {

struct Shape {
    const char* digest;
    size_t entropy, nonce, personalisation, additional1;
    bool reseed;
    size_t reseedEntropy, reseedAdditional, additional2;
    size_t size;
};

// Lengths around the edges that matter: the smallest seeds, inputs longer than a hash block,
// no input at all, outputs of one byte, of a block and one more, and the largest request.
const Shape kShapes[] = {
    {"SHA512", 32, 16, 0, 0, false, 0, 0, 0, 64},
    {"SHA512", 32, 16, 0, 0, true, 32, 0, 0, 64},
    {"SHA512", 48, 16, 32, 32, true, 32, 32, 32, 100},
    {"SHA512", 64, 32, 200, 150, true, 64, 200, 129, 1},
    {"SHA512", 32, 16, 11, 0, false, 0, 0, 40, 127},
    {"SHA512", 40, 20, 0, 17, true, 48, 0, 0, 65536},
    {"SHA256", 32, 16, 0, 0, false, 0, 0, 0, 32},
    {"SHA256", 32, 16, 16, 16, true, 32, 16, 16, 33},
    {"SHA256", 64, 24, 100, 64, true, 40, 65, 63, 128},
    {"SHA256", 32, 16, 0, 0, true, 32, 0, 70, 65536},
    {"SHA256", 33, 17, 1, 1, true, 33, 1, 1, 1000},
};

// `size` bytes of a pattern that differs for every `seed` (xorshift32).
DrbgBytes pattern(uint32_t seed, size_t size) {
    uint32_t x = 0x9E3779B9u * (seed + 1);
    DrbgBytes bytes(size);
    for (auto& byte : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

void printHex(const DrbgBytes& bytes) {
    std::printf("\"");
    for (uint8_t byte : bytes)
        std::printf("%02x", byte);
    std::printf("\"");
}

// An output as the table holds it: whole up to 128 bytes, else its SHA-256.
DrbgBytes tableForm(const DrbgBytes& output) {
    if (output.size() <= 128)
        return output;
    DrbgBytes digest(32);
    EVP_Digest(output.data(), output.size(), digest.data(), nullptr, EVP_sha256(), nullptr);
    return digest;
}

} // namespace

int main() {
    uint32_t seed = 0;
    for (const Shape& shape : kShapes) {
        DrbgScenario scenario;
        scenario.digest = shape.digest;
        scenario.entropy = pattern(seed++, shape.entropy);
        scenario.nonce = pattern(seed++, shape.nonce);
        scenario.personalisation = pattern(seed++, shape.personalisation);
        scenario.additional1 = pattern(seed++, shape.additional1);
        scenario.reseed = shape.reseed;
        scenario.reseedEntropy = pattern(seed++, shape.reseedEntropy);
        scenario.reseedAdditional = pattern(seed++, shape.reseedAdditional);
        scenario.additional2 = pattern(seed++, shape.additional2);
        scenario.size = shape.size;
        DrbgBytes first, second;
        std::string error;
        if (!OpenSslHmacDrbg(scenario, &first, &second, &error)) {
            std::fprintf(stderr, "OpenSSL failed: %s", error.c_str());
            return 1;
        }
        std::printf("    {\"%s\", ", shape.digest == std::string("SHA512") ? "SHA-512" : "SHA-256");
        const DrbgBytes* inputs[] = {&scenario.entropy, &scenario.nonce, &scenario.personalisation,
                                     &scenario.additional1};
        for (const DrbgBytes* input : inputs) {
            printHex(*input);
            std::printf(", ");
        }
        if (shape.reseed) {
            printHex(scenario.reseedEntropy);
            std::printf(", ");
            printHex(scenario.reseedAdditional);
        } else {
            std::printf("nullptr, \"\"");
        }
        std::printf(", ");
        printHex(scenario.additional2);
        std::printf(", %zu, ", shape.size);
        printHex(tableForm(first));
        std::printf(", ");
        printHex(tableForm(second));
        std::printf("},\n");
    }
    return 0;
}

// Prints the checked-in HMAC_DRBG answers of tests/HmacDrbgTest.cpp (kOpenSslVectors) as
// OpenSSL 3 computes them: "HMAC-DRBG" of EVP_RAND over a "TEST-RAND" parent that hands
// out each scenario's entropy and nonce, the inputs being fixed patterns of bytes. Built
// natively beside the tests as kiv_hmac_drbg_vectors (never linked into the library nor
// run by the tests); run it and paste its output over the table. Outputs longer than 128
// bytes are given as their SHA-256.
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using DrbgBytes = std::vector<uint8_t>;

// Instantiate with (entropy, nonce, personalisation); generate `size` bytes with
// additional1; reseed with (reseedEntropy, reseedAdditional) when `reseed`; generate `size`
// bytes with additional2.
struct DrbgScenario {
    std::string digest; // "SHA256" or "SHA512"
    DrbgBytes entropy, nonce, personalisation;
    DrbgBytes additional1;
    bool reseed;
    DrbgBytes reseedEntropy, reseedAdditional;
    DrbgBytes additional2;
    size_t size;
};

using Rand = std::unique_ptr<EVP_RAND, decltype(&EVP_RAND_free)>;
using RandContext = std::unique_ptr<EVP_RAND_CTX, decltype(&EVP_RAND_CTX_free)>;

// Both digests give the DRBG a strength of 256 bits; the parent must offer as much.
unsigned strength = 256;

std::string errors() {
    std::string text;
    char line[256];
    while (unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, line, sizeof line);
        text += line;
        text += '\n';
    }
    return text.empty() ? "(no OpenSSL error)" : text;
}

// An octet-string parameter; OpenSSL wants a non-null pointer even for no bytes.
OSSL_PARAM octets(const char* name, const DrbgBytes& bytes) {
    static unsigned char none = 0;
    return OSSL_PARAM_construct_octet_string(
        name, bytes.empty() ? &none : const_cast<unsigned char*>(bytes.data()), bytes.size());
}

// Never null: given a null personalisation, OpenSSL puts a default string of its own in.
const unsigned char* pointer(const DrbgBytes& bytes) {
    static const unsigned char none = 0;
    return bytes.empty() ? &none : bytes.data();
}

// Runs `scenario` through OpenSSL: the two outputs, or false with OpenSSL's error queue in
// `error` when a call fails.
bool OpenSslHmacDrbg(const DrbgScenario& scenario, DrbgBytes* first, DrbgBytes* second,
                     std::string* error) {
    ERR_clear_error();
    Rand testRand(EVP_RAND_fetch(nullptr, "TEST-RAND", nullptr), EVP_RAND_free);
    Rand hmacRand(EVP_RAND_fetch(nullptr, "HMAC-DRBG", nullptr), EVP_RAND_free);
    if (!testRand || !hmacRand) {
        *error = errors();
        return false;
    }
    RandContext parent(EVP_RAND_CTX_new(testRand.get(), nullptr), EVP_RAND_CTX_free);
    if (!parent) {
        *error = errors();
        return false;
    }
    // The parent answers every entropy request with all of test_entropy (changed before the
    // reseed) and every nonce request with all of test_nonce.
    OSSL_PARAM parentParams[] = {OSSL_PARAM_construct_uint(OSSL_RAND_PARAM_STRENGTH, &strength),
                                 octets(OSSL_RAND_PARAM_TEST_ENTROPY, scenario.entropy),
                                 octets(OSSL_RAND_PARAM_TEST_NONCE, scenario.nonce),
                                 OSSL_PARAM_construct_end()};
    RandContext drbg(nullptr, EVP_RAND_CTX_free);
    bool ok = EVP_RAND_instantiate(parent.get(), strength, 0, nullptr, 0, parentParams) == 1;
    if (ok)
        drbg.reset(EVP_RAND_CTX_new(hmacRand.get(), parent.get()));
    std::string digest = scenario.digest;
    OSSL_PARAM drbgParams[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_MAC, const_cast<char*>("HMAC"), 0),
        OSSL_PARAM_construct_utf8_string(OSSL_DRBG_PARAM_DIGEST, &digest[0], 0),
        OSSL_PARAM_construct_end()};
    ok = ok && drbg && EVP_RAND_CTX_set_params(drbg.get(), drbgParams) == 1 &&
         EVP_RAND_instantiate(drbg.get(), strength, 0, pointer(scenario.personalisation),
                              scenario.personalisation.size(), nullptr) == 1;
    first->assign(scenario.size, 0);
    second->assign(scenario.size, 0);
    ok = ok && EVP_RAND_generate(drbg.get(), first->data(), first->size(), strength, 0,
                                 pointer(scenario.additional1), scenario.additional1.size()) == 1;
    if (ok && scenario.reseed) {
        OSSL_PARAM reseedParams[] = {octets(OSSL_RAND_PARAM_TEST_ENTROPY, scenario.reseedEntropy),
                                     OSSL_PARAM_construct_end()};
        ok = EVP_RAND_CTX_set_params(parent.get(), reseedParams) == 1 &&
             EVP_RAND_reseed(drbg.get(), 0, nullptr, 0, pointer(scenario.reseedAdditional),
                             scenario.reseedAdditional.size()) == 1;
    }
    ok = ok && EVP_RAND_generate(drbg.get(), second->data(), second->size(), strength, 0,
                                 pointer(scenario.additional2), scenario.additional2.size()) == 1;
    if (!ok)
        *error = errors();
    return ok;
}

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

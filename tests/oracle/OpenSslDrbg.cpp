// OpenSSL's HMAC_DRBG over a test entropy source: see OpenSslDrbg.h.
#include "oracle/OpenSslDrbg.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

namespace {

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

} // namespace

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

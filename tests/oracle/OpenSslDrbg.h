// OpenSSL 3's HMAC_DRBG as the oracle of the DRBG tests and of the generator of their
// checked-in answers (tests/oracle/HmacDrbgVectors.cpp): "HMAC-DRBG" of EVP_RAND over a
// "TEST-RAND" parent that hands out the scenario's entropy and nonce. Native builds only;
// the library never links OpenSSL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// Runs `scenario` through OpenSSL: the two outputs, or false with OpenSSL's error queue in
// `error` when a call fails.
bool OpenSslHmacDrbg(const DrbgScenario& scenario, DrbgBytes* first, DrbgBytes* second,
                     std::string* error);

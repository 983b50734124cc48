// HMAC_DRBG (NIST SP 800-90A, section 10.1.2): see crypto/HmacDrbg.h.
//
// Both digests give a security strength of 256 bits, so every seed has at least 32 bytes
// of entropy and 16 of nonce. The seed material (entropy || nonce || personalisation, or
// entropy || additional input) is never put together in one buffer: the pieces go into the
// HMAC one after the other, which is the same message.
#include "crypto/HmacDrbg.h"

#include "crypto/ConstantTime.h"
#include "crypto/EntropyCalls.h"
#include "crypto/EntropyPoll.h"
#include "crypto/Hmac.h"

// Seed sizes of a 256-bit security strength (SP 800-90A, table 2): entropy of the
// strength, a nonce of half of it. The poll gives exactly these.
static constexpr size_t kEntropySize = kHmacDrbgMinEntropy;
static constexpr size_t kNonceSize = kHmacDrbgMinNonce;

// One piece of the data an update takes in; null with size 0 when absent.
struct Piece {
    const void* data;
    size_t size;
};

static int supported(const DigestAlgorithm* algorithm) {
    return algorithm == &kDigestSha256 || algorithm == &kDigestSha512;
}

// A byte string the caller gave: null only when empty, at most `limit` bytes.
static int validInput(const void* data, size_t size, size_t limit) {
    return (data != nullptr || size == 0) && size <= limit;
}

// The HMAC_DRBG_Update function: K = HMAC(K, V || 0x00 || data), V = HMAC(K, V), and when
// there is data, once more with 0x01. The data is the concatenation of `pieces`.
static int update(HmacDrbg* drbg, const Piece* pieces, size_t count) {
    const DigestAlgorithm* algorithm = drbg->algorithm;
    size_t n = algorithm->digest_size;
    size_t provided = 0;
    for (size_t i = 0; i < count; ++i)
        provided += pieces[i].size;
    int ok = 1;
    HmacContext context;
    for (uint8_t round = 0; ok && round < (provided != 0 ? 2 : 1); ++round) {
        ok = HmacInit(&context, algorithm, drbg->key, n) && HmacUpdate(&context, drbg->value, n) &&
             HmacUpdate(&context, &round, 1);
        for (size_t i = 0; ok && i < count; ++i)
            ok = HmacUpdate(&context, pieces[i].data, pieces[i].size);
        ok = ok && HmacFinal(&context, drbg->key, n);
        ok = ok && HmacInit(&context, algorithm, drbg->key, n) &&
             HmacUpdate(&context, drbg->value, n) && HmacFinal(&context, drbg->value, n);
    }
    CryptoWipe(&context, sizeof context);
    return ok;
}

// Instantiation from given seed pieces (the algorithm checked, the record not yet in use).
static int instantiate(HmacDrbg* drbg, const DigestAlgorithm* algorithm, const Piece* seed,
                       size_t count, uint32_t selfSeeding) {
    CryptoWipe(drbg, sizeof *drbg);
    drbg->algorithm = algorithm;
    for (size_t i = 0; i < algorithm->digest_size; ++i)
        drbg->value[i] = 0x01;
    if (!update(drbg, seed, count)) {
        HmacDrbgUninstantiate(drbg);
        return 0;
    }
    drbg->reseed_counter = 1;
    drbg->pid = entropyCalls.processId();
    drbg->self_seeding = selfSeeding;
    return 1;
}

// Reseed from given seed pieces; an instance whose update fails is wiped.
static int reseed(HmacDrbg* drbg, const Piece* seed, size_t count) {
    if (!update(drbg, seed, count)) {
        HmacDrbgUninstantiate(drbg);
        return 0;
    }
    drbg->reseed_counter = 1;
    drbg->pid = entropyCalls.processId();
    return 1;
}

int HmacDrbgInstantiate(HmacDrbg* drbg, const DigestAlgorithm* algorithm,
                        const void* personalisation, size_t personalisationSize) {
    if (drbg == nullptr)
        return 0;
    uint8_t seed[kEntropySize + kNonceSize];
    if (!supported(algorithm) ||
        !validInput(personalisation, personalisationSize, kHmacDrbgMaxInput) ||
        !EntropyPoll(seed, sizeof seed)) {
        HmacDrbgUninstantiate(drbg);
        return 0;
    }
    // One poll gives entropy and nonce together (SP 800-90A, section 8.6.7).
    const Piece pieces[] = {{seed, kEntropySize},
                            {seed + kEntropySize, kNonceSize},
                            {personalisation, personalisationSize}};
    int ok = instantiate(drbg, algorithm, pieces, 3, 1);
    CryptoWipe(seed, sizeof seed);
    return ok;
}

int HmacDrbgInstantiateWith(HmacDrbg* drbg, const DigestAlgorithm* algorithm, const void* entropy,
                            size_t entropySize, const void* nonce, size_t nonceSize,
                            const void* personalisation, size_t personalisationSize) {
    if (drbg == nullptr)
        return 0;
    if (!supported(algorithm) || entropySize < kEntropySize ||
        !validInput(entropy, entropySize, kHmacDrbgMaxInput) || nonceSize < kNonceSize ||
        !validInput(nonce, nonceSize, kHmacDrbgMaxInput) ||
        !validInput(personalisation, personalisationSize, kHmacDrbgMaxInput)) {
        HmacDrbgUninstantiate(drbg);
        return 0;
    }
    const Piece pieces[] = {
        {entropy, entropySize}, {nonce, nonceSize}, {personalisation, personalisationSize}};
    return instantiate(drbg, algorithm, pieces, 3, 0);
}

int HmacDrbgReseed(HmacDrbg* drbg, const void* additional, size_t additionalSize) {
    if (drbg == nullptr || drbg->algorithm == nullptr ||
        !validInput(additional, additionalSize, kHmacDrbgMaxInput))
        return 0;
    uint8_t entropy[kEntropySize];
    if (!EntropyPoll(entropy, sizeof entropy)) {
        HmacDrbgUninstantiate(drbg);
        return 0;
    }
    const Piece pieces[] = {{entropy, sizeof entropy}, {additional, additionalSize}};
    int ok = reseed(drbg, pieces, 2);
    CryptoWipe(entropy, sizeof entropy);
    return ok;
}

int HmacDrbgReseedWith(HmacDrbg* drbg, const void* entropy, size_t entropySize,
                       const void* additional, size_t additionalSize) {
    if (drbg == nullptr || drbg->algorithm == nullptr || entropySize < kEntropySize ||
        !validInput(entropy, entropySize, kHmacDrbgMaxInput) ||
        !validInput(additional, additionalSize, kHmacDrbgMaxInput))
        return 0;
    const Piece pieces[] = {{entropy, entropySize}, {additional, additionalSize}};
    return reseed(drbg, pieces, 2);
}

// Wipes what a failed request may have written (nothing when it asked for nothing).
static void wipeOut(uint8_t* out, size_t size) {
    if (out != nullptr)
        CryptoWipe(out, size);
}

// The generate loop: V = HMAC(K, V) block after block. The key's padded states are
// computed once and copied for each block.
static int generateBlocks(HmacDrbg* drbg, uint8_t* out, size_t size) {
    size_t n = drbg->algorithm->digest_size;
    HmacContext keyed, context;
    int ok = HmacInit(&keyed, drbg->algorithm, drbg->key, n);
    for (size_t done = 0; ok && done < size; done += n) {
        context = keyed;
        ok = HmacUpdate(&context, drbg->value, n) && HmacFinal(&context, drbg->value, n);
        size_t piece = size - done < n ? size - done : n;
        for (size_t i = 0; i < piece; ++i)
            out[done + i] = drbg->value[i];
    }
    CryptoWipe(&keyed, sizeof keyed);
    CryptoWipe(&context, sizeof context);
    return ok;
}

int HmacDrbgGenerate(HmacDrbg* drbg, void* out, size_t size, const void* additional,
                     size_t additionalSize) {
    if (out == nullptr && size != 0)
        return 0;
    uint8_t* bytes = static_cast<uint8_t*>(out);
    if (drbg == nullptr || drbg->algorithm == nullptr || size > kHmacDrbgMaxRequest ||
        !validInput(additional, additionalSize, kHmacDrbgMaxInput)) {
        wipeOut(bytes, size);
        return 0;
    }
    // A fork's child holds its parent's state: without a reseed both would give the same
    // bytes. A generator of the caller's entropy has nothing to reseed from.
    if (drbg->pid != entropyCalls.processId() || drbg->reseed_counter > kHmacDrbgReseedInterval) {
        if (!drbg->self_seeding || !HmacDrbgReseed(drbg, additional, additionalSize)) {
            wipeOut(bytes, size);
            return 0;
        }
        // The reseed took the additional input in (SP 800-90A, section 9.3.1, step 7.4).
        additional = nullptr;
        additionalSize = 0;
    }
    const Piece extra = {additional, additionalSize};
    int ok = (additionalSize == 0 || update(drbg, &extra, 1)) &&
             generateBlocks(drbg, bytes, size) && update(drbg, &extra, 1);
    if (!ok) {
        HmacDrbgUninstantiate(drbg);
        wipeOut(bytes, size);
        return 0;
    }
    ++drbg->reseed_counter;
    return 1;
}

void HmacDrbgUninstantiate(HmacDrbg* drbg) {
    if (drbg != nullptr)
        CryptoWipe(drbg, sizeof *drbg);
}

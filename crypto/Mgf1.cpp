#include "crypto/Mgf1.h"

#include "crypto/ConstantTime.h"

int Mgf1Xor(const DigestAlgorithm* hash, const uint8_t* seed, size_t seedSize, uint8_t* data,
            size_t size) {
    if (hash == nullptr || (seed == nullptr && seedSize != 0) || (data == nullptr && size != 0))
        return 0;
    size_t blockSize = hash->digest_size;
    if (size == 0)
        return 1;
    // The counter is four bytes: 2^32 blocks is the longest mask there is.
    if (blockSize == 0 || (size - 1) / blockSize >= (uint64_t{1} << 32))
        return 0;
    DigestContext context;
    uint8_t block[kDigestMaxSize];
    int result = 1;
    uint32_t counter = 0;
    for (size_t done = 0; done < size; done += blockSize, ++counter) {
        const uint8_t counterBytes[4] = {
            static_cast<uint8_t>(counter >> 24), static_cast<uint8_t>(counter >> 16),
            static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)};
        if (!DigestInit(&context, hash) || !DigestUpdate(&context, seed, seedSize) ||
            !DigestUpdate(&context, counterBytes, sizeof counterBytes) ||
            !DigestFinal(&context, block, sizeof block)) {
            result = 0;
            break;
        }
        size_t take = size - done < blockSize ? size - done : blockSize;
        for (size_t i = 0; i < take; ++i)
            data[done + i] ^= block[i];
    }
    CryptoWipe(block, sizeof block);
    CryptoWipe(&context, sizeof context);
    return result;
}

// HMAC (RFC 2104, FIPS 198-1) over any digest of crypto/Digest.h, with keys of any length.
//
// Calling order: HmacInit -> HmacUpdate any number of times -> HmacFinal, which writes the
// tag and wipes the context. HmacReset starts a new message under the same key without
// hashing the key again. Results are 1 for success and 0 for failure; nothing allocates.
// Compare tags with CryptoEqual (crypto/ConstantTime.h), never with memcmp.
#pragma once

#include "crypto/Digest.h"

struct HmacContext {
    DigestContext inner;       // running hash of (key ^ ipad) || message
    DigestContext outer_start; // hash state after (key ^ opad), kept for the final step
    DigestContext inner_start; // hash state after (key ^ ipad), kept for HmacReset
};

// Starts a MAC under `key` (hashed first when longer than the block). 0 when `context` or
// `algorithm` is null, or `key` is null with a non-zero size.
int HmacInit(HmacContext* context, const DigestAlgorithm* algorithm, const void* key,
             size_t keySize);

// Adds message bytes; results as DigestUpdate.
int HmacUpdate(HmacContext* context, const void* data, size_t size);

// Writes the tag (digest_size bytes; `outSize` at least that) and wipes the context.
int HmacFinal(HmacContext* context, uint8_t* out, size_t outSize);

// Forgets the message so far and starts a new one under the same key.
int HmacReset(HmacContext* context);

// One-shot HMAC; same results as the streaming functions.
int Hmac(const DigestAlgorithm* algorithm, const void* key, size_t keySize, const void* data,
         size_t size, uint8_t* out, size_t outSize);

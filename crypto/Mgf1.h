// MGF1, the mask generation function of RFC 8017 (appendix B.2.1), over any digest of
// crypto/Digest.h. PSS and OAEP only ever use the mask to XOR it into a buffer, so that is
// the one operation offered: no mask is kept anywhere.
#pragma once

#include "crypto/Digest.h"

#include <cstddef>
#include <cstdint>

// XORs the first `size` bytes of MGF1(seed) into `data`. The work depends on the sizes
// only, never on the bytes, so the seed and the data may be secrets. 0, with `data`
// unchanged, when `hash` is null, a pointer is null with a non-zero size, or the mask would
// need more than 2^32 blocks; 0 also when the digest refuses the seed (longer than its
// length limit), and then `data` is partly masked.
int Mgf1Xor(const DigestAlgorithm* hash, const uint8_t* seed, size_t seedSize, uint8_t* data,
            size_t size);

// The decoding of decrypted RSA blocks (RFC 8017 7.1.2 step 3 and 7.2.2 step 3), apart
// from the private operation so that the constant-time check can run them on blocks it
// marks secret. Everything here reads and writes the same bytes in the same order
// whatever the block holds: validity is a mask, never a branch, and the message is moved
// to the front by a shift whose memory accesses do not depend on its length.
#pragma once

#include "crypto/Digest.h"

#include <cstddef>
#include <cstdint>

// The largest modulus in bytes: callers' blocks live in buffers of this size.
constexpr size_t kRsaMaxBlockSize = 1024;

// Moves the bytes of `data` `shift` places towards the front and fills the end with zeros,
// in about size * log2(size) steps that read and write every byte whatever `shift` is.
// A shift of `size` or more clears the buffer.
void RsaShiftLeftCt(uint8_t* data, size_t size, size_t shift);

// EME-OAEP decoding of the `size`-byte block `em` (destroyed: it is unmasked in place)
// with `labelHash` the digest of the label. On success the message goes to the front of
// `out` and its length to `messageSize`, and the result is 1. On any failure the result
// is 0 and `messageSize` is 0. Either way the first min(outSize, size - 2 hLen - 2) bytes
// of `out` are written (zeros past the message and on failure), so the writes say nothing
// either. A message longer than `outSize` is a failure like the others. The sizes are
// public; only the block's bytes are treated as secret.
int RsaOaepDecodeBlock(const DigestAlgorithm* hash, const DigestAlgorithm* mgfHash,
                       const uint8_t* labelHash, uint8_t* em, size_t size, uint8_t* out,
                       size_t outSize, size_t* messageSize);

// EME-PKCS1-v1_5 decoding of the `size`-byte block `em` (destroyed), with the same
// results and the same writes as RsaOaepDecodeBlock; here the first
// min(outSize, size - 11) bytes of `out` are written.
int RsaPkcs1DecodeBlock(uint8_t* em, size_t size, uint8_t* out, size_t outSize,
                        size_t* messageSize);

// Comparisons, selections and wiping whose timing and memory accesses do not depend on the
// secret values they handle. The masks are all-ones (true) or zero (false).
#pragma once

#include <cstddef>
#include <cstdint>

// 1 when the `size` bytes at `a` and `b` are equal, else 0; the time depends on `size` only.
int CryptoEqual(const void* a, const void* b, size_t size);

// Overwrites `size` bytes with zeros in a way the compiler cannot drop as a dead store.
void CryptoWipe(void* data, size_t size);

// All-ones when `x` is zero / when `a == b` / when `a < b`, else zero.
uint64_t CtMaskZero(uint64_t x);
uint64_t CtMaskEqual(uint64_t a, uint64_t b);
uint64_t CtMaskLess(uint64_t a, uint64_t b);

// Copies `size` bytes from `source` to `destination` where `mask` is all-ones, leaves
// `destination` as it is where `mask` is zero; reads and writes every byte either way.
void CtCopyIf(uint64_t mask, void* destination, const void* source, size_t size);

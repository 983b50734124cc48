// The masks are computed with arithmetic only, and each result passes through an empty
// assembly statement that the compiler must treat as unknown: without it, an optimiser that
// sees "all-ones or zero" may turn a later select back into a branch.
#include "crypto/ConstantTime.h"

#include <cstring>

// Hides `value` from the optimiser's range analysis.
static inline uint64_t Opaque(uint64_t value) {
    __asm__("" : "+r"(value));
    return value;
}

int CryptoEqual(const void* a, const void* b, size_t size) {
    const uint8_t* x = static_cast<const uint8_t*>(a);
    const uint8_t* y = static_cast<const uint8_t*>(b);
    uint64_t difference = 0;
    for (size_t i = 0; i < size; ++i)
        difference |= static_cast<uint64_t>(x[i] ^ y[i]);
    return static_cast<int>(CtMaskZero(Opaque(difference)) & 1);
}

void CryptoWipe(void* data, size_t size) {
    if (data == nullptr || size == 0)
        return;
    memset(data, 0, size);
    // The memory is an input the compiler cannot see through, so the stores must happen.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

uint64_t CtMaskZero(uint64_t x) {
    // The top bit of x | -x is set exactly when x is not zero.
    return Opaque(((x | (0 - x)) >> 63) - 1);
}

uint64_t CtMaskEqual(uint64_t a, uint64_t b) {
    return CtMaskZero(a ^ b);
}

uint64_t CtMaskLess(uint64_t a, uint64_t b) {
    // The borrow out of a - b, taken from the top bits of the operands and the difference.
    const uint64_t borrow = ((~a & b) | (~(a ^ b) & (a - b))) >> 63;
    return Opaque(0 - borrow);
}

void CtCopyIf(uint64_t mask, void* destination, const void* source, size_t size) {
    uint8_t* to = static_cast<uint8_t*>(destination);
    const uint8_t* from = static_cast<const uint8_t*>(source);
    const uint8_t m = static_cast<uint8_t>(Opaque(mask));
    for (size_t i = 0; i < size; ++i)
        to[i] = static_cast<uint8_t>(to[i] ^ ((to[i] ^ from[i]) & m));
}

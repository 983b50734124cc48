#include "crypto/RsaPadding.h"

#include "crypto/ConstantTime.h"

// A barrel shifter: one pass per bit of the shift, each pass moving everything by that
// power of two or by nothing, chosen by a mask. A pass reads data[i + step] before it
// writes there, so one buffer is enough.
void RsaShiftLeftCt(uint8_t* data, size_t size, size_t shift) {
    // Clamped to `size` without a branch, so that the passes up to `size` are enough.
    uint64_t over = CtMaskLess(size, shift);
    shift = static_cast<size_t>((shift & ~over) | (size & over));
    size_t bit = 0;
    for (size_t step = 1; step != 0 && step <= size; step <<= 1, ++bit) {
        uint8_t mask = static_cast<uint8_t>(0 - ((shift >> bit) & 1));
        for (size_t i = 0; i < size; ++i) {
            uint8_t moved = i + step < size ? data[i + step] : 0;
            data[i] = static_cast<uint8_t>((moved & mask) | (data[i] & ~mask));
        }
    }
}

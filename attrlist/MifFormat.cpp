// Text forms of attribute values: number and address ranges, and the hexadecimal dump.
#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"
#include "text/BoundedText.h"

#include <cstdio>

// The numbers are printed with "%d", signed: a 32-bit half of an 8-byte range above
// 0x7FFFFFFF appears negative, so every reader formats a value to the same text.
int FormatValue(const uint8_t* value, uint32_t length, char* out, size_t size, int* written,
                int asAddress) {
    if (value == nullptr)
        return 0;
    uint32_t low;
    uint32_t high;
    if (length == 2) {
        low = value[0];
        high = value[1];
    } else if (length == 4) {
        low = LoadU16(value);
        high = LoadU16(value + 2);
    } else if (length == 8) {
        low = LoadU32(value);
        high = LoadU32(value + 4);
    } else {
        return 0;
    }
    int result;
    if (asAddress && length == 8) {
        if (low == high)
            result = StrFormat(out, size, "%d.%d.%d.%d", value[3], value[2], value[1], value[0]);
        else
            result = StrFormat(out, size, "%d.%d.%d.%d-%d.%d.%d.%d", value[3], value[2], value[1],
                               value[0], value[7], value[6], value[5], value[4]);
    } else if (low == high) {
        result = StrFormat(out, size, "%d", static_cast<int>(low));
    } else {
        result = StrFormat(out, size, "%d-%d", static_cast<int>(low), static_cast<int>(high));
    }
    if (written != nullptr)
        *written = result;
    return 1;
}

// The text starts empty, so a tag without values leaves "" rather than old contents. A
// value of another length is skipped, but the separator written before it stays.
int MifList::FormatValues(uint16_t tag, char* out, size_t size, int asAddress) const {
    if (out == nullptr)
        return 0;
    // Nothing is written before the first value is formatted: without one, out keeps
    // what it held.
    char* position = out;
    size_t remaining = size;
    int formatted = 0;
    for (uint32_t occurrence = 1;; ++occurrence) {
        uint32_t offset;
        uint32_t length;
        if (!FindValue(tag, &offset, &length, occurrence))
            return formatted;
        if (formatted) {
            size_t n = static_cast<size_t>(StrFormat(position, remaining, ", "));
            position += n;
            remaining -= n;
        }
        int n = 0;
        if (FormatValue(data_ + offset, length, position, remaining, &n, asAddress)) {
            formatted = 1;
            position += n;
            remaining -= static_cast<size_t>(n);
        }
    }
}

void MifList::Dump() const {
    printf("Len  : %d\nData : ", static_cast<int>(used_));
    if (data_ != nullptr)
        for (uint32_t i = 0; i < used_; ++i)
            printf("%02x ", data_[i]);
    printf("\n");
}

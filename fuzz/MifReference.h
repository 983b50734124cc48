// The attribute list's wire form read once more without the class: the walk every getter
// of the MifList harnesses must agree with.
#pragma once

#include <cstdint>
#include <vector>

struct MifRecord {
    uint16_t tag;
    uint32_t offset; // of the value
    uint32_t length;
};

// The records before an end marker, a record running past `used`, or a tail under 4
// bytes. *stop: where the walk ended; *atMarker: whether an end marker ended it.
inline std::vector<MifRecord> MifWalk(const uint8_t* data, uint32_t used, uint32_t* stop = nullptr,
                                      bool* atMarker = nullptr) {
    std::vector<MifRecord> records;
    uint64_t p = 0;
    bool marker = false;
    while (data != nullptr && p + 4 <= used && !(marker = data[p] == 0xFF && data[p + 1] == 0xFF)) {
        const uint32_t length = data[p + 2] | (data[p + 3] << 8);
        if (p + 4 + length > used)
            break;
        records.push_back({static_cast<uint16_t>(data[p] | (data[p + 1] << 8)),
                           static_cast<uint32_t>(p + 4), length});
        p += 4 + length;
    }
    if (stop != nullptr)
        *stop = static_cast<uint32_t>(p);
    if (atMarker != nullptr)
        *atMarker = marker;
    return records;
}

// The record of occurrence n (from 1) of a tag, or null; n = 0 counts them.
inline const MifRecord* MifFind(const std::vector<MifRecord>& records, uint16_t tag,
                                uint32_t occurrence, uint32_t* count = nullptr) {
    uint32_t n = 0;
    const MifRecord* found = nullptr;
    for (const MifRecord& record : records)
        if (record.tag == tag && ++n == occurrence)
            found = &record;
    if (count != nullptr)
        *count = n;
    return found;
}

// Whole records followed by exactly one end marker, nothing behind it.
inline bool MifStrictlyFinalized(const uint8_t* data, uint32_t used) {
    uint32_t stop = 0;
    bool atMarker = false;
    MifWalk(data, used, &stop, &atMarker);
    return data != nullptr && !atMarker && used >= 2 && stop == used - 2 && data[stop] == 0xFF &&
           data[stop + 1] == 0xFF;
}

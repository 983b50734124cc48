// A plain reading of the attribute list's wire form for the MifList harnesses: the walk
// that every getter must agree with, written out once more without the class.
#pragma once

#include <cstdint>
#include <vector>

struct MifRecord {
    uint16_t tag;
    uint32_t offset; // of the value
    uint32_t length;
};

inline uint16_t MifLoad16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The records a walk from the start passes: it ends at an end marker, at a record that
// runs past `used` and where fewer than 4 bytes remain. *stop gets the offset where it
// ended and *atMarker whether an end marker with a full record header's room ended it.
inline std::vector<MifRecord> MifWalk(const uint8_t* data, uint32_t used, uint32_t* stop = nullptr,
                                      bool* atMarker = nullptr) {
    std::vector<MifRecord> records;
    uint64_t p = 0;
    bool marker = false;
    while (data != nullptr && p + 4 <= used) {
        const uint16_t tag = MifLoad16(data + p);
        if (tag == 0xFFFF) {
            marker = true;
            break;
        }
        const uint32_t length = MifLoad16(data + p + 2);
        if (p + 4 + length > used)
            break;
        records.push_back({tag, static_cast<uint32_t>(p + 4), length});
        p += 4 + length;
    }
    if (stop != nullptr)
        *stop = static_cast<uint32_t>(p);
    if (atMarker != nullptr)
        *atMarker = marker;
    return records;
}

// Whole records followed by exactly one end marker, nothing behind it.
inline bool MifStrictlyFinalized(const uint8_t* data, uint32_t used) {
    uint32_t stop = 0;
    bool atMarker = false;
    MifWalk(data, used, &stop, &atMarker);
    return data != nullptr && !atMarker && used >= 2 && stop == used - 2 && data[stop] == 0xFF &&
           data[stop + 1] == 0xFF;
}

// The record of occurrence n (from 1) of a tag, or null.
inline const MifRecord* MifFind(const std::vector<MifRecord>& records, uint16_t tag,
                                uint32_t occurrence) {
    uint32_t count = 0;
    for (const MifRecord& record : records)
        if (record.tag == tag && ++count == occurrence)
            return &record;
    return nullptr;
}

inline uint32_t MifCount(const std::vector<MifRecord>& records, uint16_t tag) {
    uint32_t count = 0;
    for (const MifRecord& record : records)
        count += record.tag == tag ? 1 : 0;
    return count;
}

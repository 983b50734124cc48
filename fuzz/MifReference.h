// The attribute list's wire form read once more without the class: the walk every getter
// and every result of the update check must agree with.
#pragma once

#include <cstdint>
#include <vector>

struct MifRecord {
    uint16_t tag;
    uint32_t offset; // of the value
    uint32_t length;
};

// The records before an end marker, a record running past `used`, or a tail under 4 bytes.
struct MifWalk {
    std::vector<MifRecord> records;
    uint32_t stop = 0;      // where the walk ended
    bool atMarker = false;  // an end marker ended it
    bool finalized = false; // FF FF where the walk ended, not at a marker
    bool strict = false;    // and nothing behind it

    MifWalk(const uint8_t* data, uint32_t used) {
        uint64_t p = 0;
        while (p + 4 <= used && !(atMarker = data[p] == 0xFF && data[p + 1] == 0xFF)) {
            const uint32_t length = data[p + 2] | (data[p + 3] << 8);
            if (p + 4 + length > used)
                break;
            records.push_back({static_cast<uint16_t>(data[p] | (data[p + 1] << 8)),
                               static_cast<uint32_t>(p + 4), length});
            p += 4 + length;
        }
        stop = static_cast<uint32_t>(p);
        finalized = !atMarker && p + 2 <= used && data[p] == 0xFF && data[p + 1] == 0xFF;
        strict = finalized && p + 2 == used;
    }

    // The record of occurrence n (from 1) of a tag, or null; *count: how many there are.
    const MifRecord* Find(uint16_t tag, uint32_t occurrence, uint32_t* count = nullptr) const {
        uint32_t n = 0;
        const MifRecord* found = nullptr;
        for (const MifRecord& record : records)
            if (record.tag == tag && ++n == occurrence)
                found = &record;
        if (count != nullptr)
            *count = n;
        return found;
    }
};

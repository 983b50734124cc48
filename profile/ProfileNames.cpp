// Name tables turned into message text. See Profile.h.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <cstdint>

char* FlagsToText(uint32_t mask, const ProfileNameEntry* table, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0)
        return out;
    out[0] = '\0';
    if (table == nullptr)
        return out;
    const char* noneName = nullptr;
    bool added = false;
    for (const ProfileNameEntry* row = table; row->name != nullptr && row->name[0] != '\0'; ++row) {
        if (row->value == 0) {
            // The first 0-valued row names the empty set.
            if (noneName == nullptr)
                noneName = row->name;
            continue;
        }
        if ((row->value & mask) != row->value)
            continue;
        if (added)
            StrAppend(out, outSize, ", ");
        StrAppend(out, outSize, row->name);
        added = true;
    }
    if (!added && noneName != nullptr)
        StrCopy(out, outSize, noneName);
    return out;
}

const char* NameOfValue(uint32_t value, const ProfileNameEntry* table) {
    if (table == nullptr)
        return "";
    const ProfileNameEntry* row = table;
    for (; row->name != nullptr && row->name[0] != '\0'; ++row) {
        if (row->value == value)
            return row->name;
    }
    return row->name != nullptr ? row->name : "";
}

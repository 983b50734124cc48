// The profile object: initialisation, loading from memory, options, callbacks and the two
// edit primitives every setter ends in. See Profile.h.
#include "profile/Profile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Replaces the text with a freshly built one and records the edit.
void AdoptText(Profile* profile, char* text) {
    free(profile->text);
    profile->text = text;
    profile->text_length = strlen(text);
    profile->modified = 1;
}

} // namespace

int ProfileNameEquals(const char* a, const char* b) {
    if (a == nullptr || b == nullptr)
        return 0;
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return 0;
        if (*a == '\0')
            return 1;
    }
}

int ProfileNameEqualsN(const char* a, const char* b, size_t n) {
    if (a == nullptr || b == nullptr)
        return 0;
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return 0;
        if (a[i] == '\0')
            return 1;
    }
    return 1;
}

Profile* ProfileInit(Profile* profile) {
    if (profile == nullptr)
        return nullptr;
    profile->file_name[0] = '\0';
    profile->loaded_transformed = 0;
    profile->text = nullptr;
    profile->text_length = 0;
    // The enumeration functions set the cursors before use; null makes a "next" call
    // without a "first" one fail instead of reading through a stale pointer.
    profile->section_cursor = nullptr;
    profile->entry_cursor = nullptr;
    profile->entry_end = nullptr;
    profile->modified = 0;
    profile->options = 0;
    profile->decrypt = nullptr;
    profile->encrypt = nullptr;
    return profile;
}

int ProfileLoadBuffer(Profile* profile, const char* data, long long length) {
    if (profile == nullptr)
        return 0;
    ProfileClose(profile);
    size_t count = 0;
    if (data != nullptr)
        count = length < 0 ? strlen(data) : static_cast<size_t>(length);
    if (count == SIZE_MAX)
        return 0;
    char* text = static_cast<char*>(malloc(count + 1));
    if (text == nullptr)
        return 0;
    if (count > 0)
        memcpy(text, data, count);
    text[count] = '\0';
    profile->text = text;
    // A NUL inside the data ends the document there: every scan and every edit treats the
    // text as a C string, so this keeps them all looking at the same bytes.
    profile->text_length = strlen(text);
    profile->file_name[0] = '\0';
    profile->modified = 0;
    profile->loaded_transformed = 0;
    return 1;
}

char* ProfileGetText(Profile* profile) {
    return profile == nullptr ? nullptr : profile->text;
}

int ProfileSetOptions(Profile* profile, uint32_t options) {
    if (profile == nullptr || options > (PROFILE_OPT_QUOTES | PROFILE_OPT_HASH_LITERAL))
        return 0;
    profile->options = options;
    return 1;
}

void ProfileSetDecryptCallback(Profile* profile, ProfileDecryptFn callback) {
    if (profile != nullptr)
        profile->decrypt = callback;
}

void ProfileSetEncryptCallback(Profile* profile, ProfileEncryptFn callback) {
    if (profile != nullptr)
        profile->encrypt = callback;
}

int ProfileInsertText(Profile* profile, const char* string, size_t offset) {
    if (profile == nullptr || profile->text == nullptr || string == nullptr)
        return 0;
    size_t length = strlen(profile->text);
    size_t insert = strlen(string);
    if (offset > length)
        offset = length;
    if (insert >= SIZE_MAX - length)
        return 0;
    char* text = static_cast<char*>(malloc(length + insert + 1));
    if (text == nullptr)
        return 0;
    memcpy(text, profile->text, offset);
    memcpy(text + offset, string, insert);
    memcpy(text + offset + insert, profile->text + offset, length - offset + 1);
    AdoptText(profile, text);
    return 1;
}

int ProfileRemoveText(Profile* profile, size_t offset, size_t count) {
    if (profile == nullptr || profile->text == nullptr)
        return 0;
    size_t length = strlen(profile->text);
    if (offset > length || count > length - offset)
        return 0;
    char* text = static_cast<char*>(malloc(length - count + 1));
    if (text == nullptr)
        return 0;
    memcpy(text, profile->text, offset);
    memcpy(text + offset, profile->text + offset + count, length - offset - count + 1);
    AdoptText(profile, text);
    return 1;
}

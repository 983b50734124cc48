// Profile lookups, getters and enumeration over arbitrary documents, under every option.
//
// Input: byte 0 holds the options in its low two bits and, in bit 2, whether the document is
// loaded up to its NUL instead of by length; byte 1 is the size of the caller buffers; then
// the section name and the key to look up, each ended by a LF; the rest is the document.
//
// Properties: positions stay inside the text; every text returned fits its buffer and is
// terminated; the getters agree with the lookup they rest on; every section listed is found;
// enumeration ends and its cursors only move forward.
#include "profile/Profile.h"

#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr size_t kLookupBuffer = 512; // more than a lookup ever collects
constexpr size_t kMaxNames = 16;      // bounds the quadratic part on long documents
int gContext;                         // passed through to the decrypt callback

bool InText(const Profile& profile, const char* position) {
    return position >= profile.text && position <= profile.text + profile.text_length;
}

// Any byte count is accepted; a first byte 0xEE makes the "cipher" fail.
int Decrypt(const unsigned char* data, uint32_t length, char* out, uint32_t outSize,
            void* context) {
    FUZZ_CHECK(context == &gContext && outSize == 512 && length <= 256);
    if (length > 0 && data[0] == 0xEE)
        return 0;
    uint32_t n = 0;
    for (; n < length && n + 1 < outSize; ++n)
        out[n] = static_cast<char>(data[n] == 0 ? '.' : data[n]);
    out[n] = '\0';
    return 1;
}

const ProfileNameEntry kTable[] = {{0, "none"}, {1, "a"},  {2, "Bee"},
                                   {4, "c d"},  {8, "ON"}, {0, ""}};

void CheckGetters(Profile* profile, const char* section, const char* key, size_t outSize) {
    char whole[kLookupBuffer];
    const int found = ProfileGetString(profile, section, key, whole, sizeof whole, "default");
    FUZZ_CHECK(memchr(whole, '\0', sizeof whole) != nullptr);
    FUZZ_CHECK(found == 1 || (found == 0 && strcmp(whole, "default") == 0));
    // A small buffer holds the start of what the large one holds.
    ExactBuffer out(outSize);
    const int cut = ProfileGetString(profile, section, key, out.Get(), outSize, "default");
    FUZZ_CHECK(outSize == 0 ? cut == 0
                            : cut == found && out.Terminated() &&
                                  strncmp(out.Get(), whole, outSize - 1) == 0);
    std::string text;
    FUZZ_CHECK(ProfileGetStdString(profile, section, key, text) == found);
    FUZZ_CHECK(text == (found ? whole : ""));
    FUZZ_CHECK(!found || ProfileHasValue(profile, section, key, whole) == 1);
    ProfileHasValue(profile, section, key, "x", strlen(key) / 2);
    int32_t number = 7;
    FUZZ_CHECK(ProfileGetInt(profile, section, key, &number, 7) == found);
    FUZZ_CHECK(number == (found ? ProfileTextToInt(whole) : 7));
    uint32_t flag = 5;
    FUZZ_CHECK(ProfileGetBool(profile, section, key, &flag, 5) == found);
    FUZZ_CHECK(flag <= 1 || flag == 5);
    uint32_t value = 0;
    ProfileGetEnum(profile, section, key, kTable, &value, 16);
    ProfileGetFlags(profile, section, key, kTable, &value, 16);
    uint32_t wasProtected = 9;
    ExactBuffer clear(outSize);
    if (ProfileGetProtected(profile, section, key, clear.Get(), outSize, &wasProtected, &gContext))
        FUZZ_CHECK(wasProtected <= 1 && (outSize == 0 || clear.Terminated()));
}

void CheckLookups(Profile* profile, const char* section, const char* key, size_t outSize) {
    const char *start = nullptr, *end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end))
        return;
    FUZZ_CHECK(InText(*profile, start) && InText(*profile, end) && *start == '[' && end >= start);
    for (int keep = 0; keep <= 1; ++keep) {
        const char* valueStart = nullptr;
        ExactBuffer out(outSize);
        if (ProfileFindEntry(profile, key, keep * strlen(key) / 2, start, end, &valueStart,
                             out.Get(), outSize, keep))
            FUZZ_CHECK(InText(*profile, valueStart) && valueStart > start &&
                       (outSize == 0 || out.Terminated()));
    }
}

// Section names in order, each found by the lookup; a walk into a small buffer gives their
// starts.
std::vector<std::string> CheckSections(Profile* profile, size_t outSize) {
    std::vector<std::string> names;
    const size_t nameSize = profile->text_length + 1; // no name is cut
    ExactBuffer name(nameSize), small(outSize);
    const char* previous = nullptr;
    for (int more = ProfileFirstSection(profile, name.Get(), nameSize); more;
         more = ProfileNextSection(profile, name.Get(), nameSize)) {
        FUZZ_CHECK(name.Terminated() && InText(*profile, profile->section_cursor));
        FUZZ_CHECK(previous == nullptr || profile->section_cursor > previous);
        previous = profile->section_cursor;
        if (names.size() < kMaxNames) {
            FUZZ_CHECK(ProfileSectionExists(profile, name.Get()) == 1);
            names.push_back(name.Get());
        }
    }
    size_t index = 0;
    for (int more = ProfileFirstSection(profile, small.Get(), outSize); more;
         more = ProfileNextSection(profile, small.Get(), outSize), ++index)
        FUZZ_CHECK(outSize > 0 && small.Terminated() &&
                   (index >= names.size() ||
                    strncmp(small.Get(), names[index].c_str(), outSize - 1) == 0));
    return names;
}

// The entries of one section; returns the keys seen, for further lookups.
std::vector<std::string> CheckEntries(Profile* profile, const char* section, size_t outSize,
                                      bool withValues) {
    std::vector<std::string> keys;
    ExactBuffer key(outSize), value(outSize);
    char* valueOut = withValues ? value.Get() : nullptr;
    const char* previous = nullptr;
    for (int more = ProfileFirstEntry(profile, section, key.Get(), outSize, valueOut, outSize);
         more; more = ProfileNextEntry(profile, key.Get(), outSize, valueOut, outSize)) {
        FUZZ_CHECK(outSize == 0 || (key.Terminated() && (!withValues || value.Terminated())));
        FUZZ_CHECK(InText(*profile, profile->entry_cursor));
        FUZZ_CHECK(previous == nullptr || profile->entry_cursor > previous);
        previous = profile->entry_cursor;
        if (outSize > 0 && keys.size() < kMaxNames)
            keys.push_back(key.Get());
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const size_t outSize = input.Byte();
    const std::string section = input.Until('\n');
    const std::string key = input.Until('\n');
    const std::string document = input.Rest();

    Profile profile;
    ProfileInit(&profile);
    FUZZ_CHECK(ProfileSetOptions(&profile, control & 3u) == 1);
    ProfileSetDecryptCallback(&profile, Decrypt);
    const long long length = (control & 4u) ? -1 : static_cast<long long>(document.size());
    FUZZ_CHECK(ProfileLoadBuffer(&profile, document.c_str(), length) == 1);
    FUZZ_CHECK(profile.text_length == strlen(profile.text));
    FUZZ_CHECK(profile.text_length == strlen(document.c_str()));
    FUZZ_CHECK(memcmp(profile.text, document.data(), profile.text_length) == 0);

    CheckLookups(&profile, section.c_str(), key.c_str(), outSize);
    CheckGetters(&profile, section.c_str(), key.c_str(), outSize);
    // Entry lookups over arbitrary ranges of the text stay inside it.
    if (profile.text_length > 0) {
        const size_t a = (outSize * 131u) % (profile.text_length + 1);
        const size_t b = (section.size() * 977u + key.size()) % (profile.text_length + 1);
        const char* valueStart = nullptr;
        char out[kLookupBuffer];
        if (ProfileFindEntry(&profile, key.c_str(), 0, profile.text + a, profile.text + b,
                             &valueStart, out, sizeof out, 1))
            FUZZ_CHECK(InText(profile, valueStart));
    }

    std::vector<std::string> sections = CheckSections(&profile, outSize);
    sections.resize(std::min<size_t>(sections.size(), 7));
    sections.push_back(section);
    for (const std::string& name : sections) {
        CheckEntries(&profile, name.c_str(), outSize, false);
        for (const std::string& entryKey : CheckEntries(&profile, name.c_str(), outSize, true)) {
            CheckLookups(&profile, name.c_str(), entryKey.c_str(), outSize);
            CheckGetters(&profile, name.c_str(), entryKey.c_str(), outSize);
        }
    }
    FUZZ_CHECK(ProfileClose(&profile) == 1 && profile.text == nullptr);
    return 0;
}

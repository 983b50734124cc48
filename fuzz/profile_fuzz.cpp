// Profile lookups, typed getters and enumeration over arbitrary documents, under every
// option combination.
//
// Input: byte 0 holds the options in its low two bits (so '0'..'3' select them) and in
// bit 2 whether the document is loaded up to its NUL instead of by length; byte 1 is the
// size of the caller buffers; then the section name and the key to look up, each ended by
// a LF; the rest is the document.
//
// Properties: the lookups hand back positions inside the text; every text returned fits
// its buffer and is terminated; the getters agree with the lookup they rest on; every
// section that enumeration lists is found by the lookup; enumeration ends and its
// cursors only move forward.
#include "profile/Profile.h"

#include "fuzz/FuzzSupport.h"

#include <string>
#include <vector>

namespace {

constexpr size_t kLookupBuffer = 512; // more than a lookup ever collects
// Bound the quadratic part on long documents.
constexpr size_t kMaxSectionsChecked = 48;
constexpr size_t kMaxKeysLookedUp = 16;
constexpr int kSectionsWalked = 8;
int gContext; // passed through to the decrypt callback

bool InText(const Profile& profile, const char* position) {
    return position >= profile.text && position <= profile.text + profile.text_length;
}

// Turns the bytes of a protected value into text: any byte count is accepted, and the
// first byte decides whether the "cipher" succeeds.
int Decrypt(const unsigned char* data, uint32_t dataLength, char* out, uint32_t outSize,
            void* userContext) {
    FUZZ_CHECK(userContext == &gContext);
    FUZZ_CHECK(outSize == 512);
    FUZZ_CHECK(dataLength <= 256);
    if (dataLength > 0 && data[0] == 0xEE)
        return 0;
    uint32_t n = 0;
    for (; n < dataLength && n + 1 < outSize; ++n)
        out[n] = static_cast<char>(data[n] == 0 ? '.' : data[n]);
    out[n] = '\0';
    return 1;
}

const ProfileNameEntry kTable[] = {{0, "none"}, {1, "a"},  {2, "Bee"},
                                   {4, "c d"},  {8, "ON"}, {0, ""}};

void CheckGetters(Profile* profile, const char* section, const char* key, size_t outSize) {
    // The string getter agrees with the lookup it rests on.
    char whole[kLookupBuffer];
    const int found = ProfileGetString(profile, section, key, whole, sizeof whole, "default");
    FUZZ_CHECK(found == 0 || found == 1);
    FUZZ_CHECK(memchr(whole, '\0', sizeof whole) != nullptr);
    if (!found)
        FUZZ_CHECK(strcmp(whole, "default") == 0 || profile->text == nullptr);

    ExactBuffer out(outSize);
    const int cut = ProfileGetString(profile, section, key, out.Get(), outSize, "default");
    if (outSize > 0) {
        FUZZ_CHECK(cut == found);
        FUZZ_CHECK(out.Terminated());
        // The small buffer holds the start of what the large one holds.
        FUZZ_CHECK(strncmp(out.Get(), whole, outSize - 1) == 0);
    } else {
        FUZZ_CHECK(cut == 0);
    }

    std::string text;
    FUZZ_CHECK(ProfileGetStdString(profile, section, key, text) == found);
    FUZZ_CHECK(found ? text == whole : text.empty());

    // Any value read is recognised by the value test.
    if (found)
        FUZZ_CHECK(ProfileHasValue(profile, section, key, whole) == 1);
    ProfileHasValue(profile, section, key, "x", strlen(key) / 2);

    int32_t number = 7;
    FUZZ_CHECK(ProfileGetInt(profile, section, key, &number, 7) == found);
    if (found)
        FUZZ_CHECK(number == ProfileTextToInt(whole));
    else
        FUZZ_CHECK(number == 7);
    uint32_t flag = 5;
    FUZZ_CHECK(ProfileGetBool(profile, section, key, &flag, 5) == found);
    FUZZ_CHECK(flag == 0 || flag == 1 || flag == 5);
    uint32_t value = 0;
    ProfileGetEnum(profile, section, key, kTable, &value, 16);
    ProfileGetFlags(profile, section, key, kTable, &value, 16);

    uint32_t wasProtected = 9;
    ExactBuffer clear(outSize);
    int got =
        ProfileGetProtected(profile, section, key, clear.Get(), outSize, &wasProtected, &gContext);
    if (got) {
        FUZZ_CHECK(wasProtected == 0 || wasProtected == 1);
        if (outSize > 0)
            FUZZ_CHECK(clear.Terminated());
    }
}

void CheckLookups(Profile* profile, const char* section, const char* key, size_t outSize,
                  size_t prefixLength) {
    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end))
        return;
    FUZZ_CHECK(InText(*profile, start) && InText(*profile, end));
    FUZZ_CHECK(*start == '[');
    FUZZ_CHECK(end >= start);
    for (int keep = 0; keep <= 1; ++keep) {
        const char* valueStart = nullptr;
        ExactBuffer out(outSize);
        if (ProfileFindEntry(profile, key, prefixLength, start, end, &valueStart, out.Get(),
                             outSize, keep)) {
            FUZZ_CHECK(InText(*profile, valueStart));
            FUZZ_CHECK(valueStart > start);
            if (outSize > 0)
                FUZZ_CHECK(out.Terminated());
        }
    }
}

// Section names in order; each one listed is found by the lookup.
std::vector<std::string> CheckSections(Profile* profile, size_t outSize) {
    std::vector<std::string> names;
    const size_t nameSize = profile->text_length + 1; // no name is cut
    ExactBuffer name(nameSize);
    const char* previous = nullptr;
    uint64_t count = 0;
    for (int more = ProfileFirstSection(profile, name.Get(), nameSize); more;
         more = ProfileNextSection(profile, name.Get(), nameSize)) {
        FUZZ_CHECK(++count <= profile->text_length);
        FUZZ_CHECK(name.Terminated());
        FUZZ_CHECK(InText(*profile, profile->section_cursor));
        FUZZ_CHECK(previous == nullptr || profile->section_cursor > previous);
        previous = profile->section_cursor;
        if (names.size() < kMaxSectionsChecked) {
            FUZZ_CHECK(ProfileSectionExists(profile, name.Get()) == 1);
            names.push_back(name.Get());
        }
    }

    // The same walk into a small buffer gives the starts of the same names.
    ExactBuffer small(outSize);
    size_t index = 0;
    for (int more = ProfileFirstSection(profile, small.Get(), outSize); more;
         more = ProfileNextSection(profile, small.Get(), outSize), ++index) {
        FUZZ_CHECK(outSize > 0 && small.Terminated());
        if (index < names.size())
            FUZZ_CHECK(strncmp(small.Get(), names[index].c_str(), outSize - 1) == 0);
    }
    return names;
}

// Entries of one section; returns the keys seen, for further lookups.
std::vector<std::string> CheckEntries(Profile* profile, const char* section, size_t outSize,
                                      bool withValues) {
    std::vector<std::string> keys;
    ExactBuffer key(outSize);
    ExactBuffer value(outSize);
    char* valueOut = withValues ? value.Get() : nullptr;
    const char* previous = nullptr;
    uint64_t count = 0;
    for (int more = ProfileFirstEntry(profile, section, key.Get(), outSize, valueOut, outSize);
         more; more = ProfileNextEntry(profile, key.Get(), outSize, valueOut, outSize)) {
        FUZZ_CHECK(++count <= profile->text_length);
        if (outSize > 0) {
            FUZZ_CHECK(key.Terminated());
            if (withValues)
                FUZZ_CHECK(value.Terminated());
        }
        FUZZ_CHECK(InText(*profile, profile->entry_cursor));
        FUZZ_CHECK(previous == nullptr || profile->entry_cursor > previous);
        previous = profile->entry_cursor;
        if (outSize > 0 && keys.size() < kMaxKeysLookedUp)
            keys.push_back(key.Get());
    }
    return keys;
}

// A file that measures 0 but never ends (a device) loads as the empty file its size
// says, however long it would go on giving bytes.
void CheckEndlessFile() {
    Profile profile;
    ProfileInit(&profile);
    FUZZ_CHECK(ProfileLoadFile(&profile, "/dev/zero") == 1);
    FUZZ_CHECK(profile.text_length == 0);
    ProfileClose(&profile);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool endlessFileChecked = (CheckEndlessFile(), true);
    (void)endlessFileChecked;
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const uint32_t options = control & 3u;
    const bool untilNul = (control & 4u) != 0;
    const size_t outSize = input.Byte();
    const std::string section = input.Until('\n');
    const std::string key = input.Until('\n');
    const std::string document = input.Rest();

    Profile profile;
    ProfileInit(&profile);
    FUZZ_CHECK(ProfileSetOptions(&profile, 4 + options) == 0);
    FUZZ_CHECK(ProfileSetOptions(&profile, options) == 1);
    FUZZ_CHECK(profile.options == options);
    ProfileSetDecryptCallback(&profile, Decrypt);
    // Nothing to find before a document is loaded.
    FUZZ_CHECK(ProfileSectionExists(&profile, section.c_str()) == 0);
    char nothing[8];
    FUZZ_CHECK(ProfileFirstSection(&profile, nothing, sizeof nothing) == 0);

    const long long length = untilNul ? -1 : static_cast<long long>(document.size());
    FUZZ_CHECK(ProfileLoadBuffer(&profile, document.c_str(), length) == 1);
    FUZZ_CHECK(profile.text != nullptr);
    FUZZ_CHECK(profile.text_length == strlen(profile.text));
    FUZZ_CHECK(profile.text_length == strlen(document.c_str()));
    FUZZ_CHECK(memcmp(profile.text, document.data(), profile.text_length) == 0);

    CheckLookups(&profile, section.c_str(), key.c_str(), outSize, 0);
    CheckLookups(&profile, section.c_str(), key.c_str(), outSize, key.size() / 2);
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
    sections.push_back(section);
    int budget = kSectionsWalked;
    for (const std::string& name : sections) {
        if (budget-- == 0)
            break;
        CheckEntries(&profile, name.c_str(), outSize, false);
        std::vector<std::string> keys = CheckEntries(&profile, name.c_str(), outSize, true);
        for (const std::string& entryKey : keys) {
            CheckLookups(&profile, name.c_str(), entryKey.c_str(), outSize, 0);
            CheckGetters(&profile, name.c_str(), entryKey.c_str(), outSize);
        }
    }

    FUZZ_CHECK(ProfileClose(&profile) == 1);
    FUZZ_CHECK(profile.text == nullptr);
    return 0;
}

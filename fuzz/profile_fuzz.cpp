// Profile lookups, getters and enumeration over arbitrary documents, under every option.
// Byte 0 holds the options in its low two bits and, in bit 2, whether the document is loaded
// up to its NUL instead of by length; byte 1 is the size of the caller buffers; then the
// section name and the key to look up, each ended by a LF; the rest is the document.
// Positions stay inside the text; every text returned fits its buffer and is terminated; a
// small buffer holds the start of what a large one holds; the getters agree with the lookup
// they rest on; every section listed is found; enumeration cursors only move forward.
#include "profile/Profile.h"

#include "fuzz/FuzzSupport.h"

#include <string>
#include <vector>

namespace {

int gContext; // passed through to the decrypt callback

bool InText(const Profile& profile, const char* position) {
    return position >= profile.text && position <= profile.text + profile.text_length;
}

// A first byte 0xEE makes the "cipher" fail.
int Decrypt(const unsigned char* data, uint32_t length, char* out, uint32_t outSize,
            void* context) {
    FUZZ_CHECK(context == &gContext && outSize == 512 && length <= 256);
    uint32_t n = 0;
    for (; n < length && n + 1 < outSize; ++n)
        out[n] = static_cast<char>(data[n] == 0 ? '.' : data[n]);
    out[n] = '\0';
    return length == 0 || data[0] != 0xEE;
}

const ProfileNameEntry kTable[] = {{0, "none"}, {1, "a"}, {2, "Bee"}, {8, "ON"}, {0, ""}};

void Check(Profile* profile, const char* section, const char* key, size_t outSize) {
    const char *start = nullptr, *end = nullptr, *valueStart = nullptr;
    if (ProfileFindSection(profile, section, &start, &end)) {
        FUZZ_CHECK(InText(*profile, start) && InText(*profile, end) && *start == '[');
        ExactBuffer out(outSize);
        if (ProfileFindEntry(profile, key, strlen(key) / 2, start, end, &valueStart, out.Get(),
                             outSize, 1))
            FUZZ_CHECK(InText(*profile, valueStart) && valueStart > start &&
                       (outSize == 0 || out.Terminated()));
    }
    char whole[512]; // more than a lookup ever collects
    const int found = ProfileGetString(profile, section, key, whole, sizeof whole, "default");
    FUZZ_CHECK(found == 1 || (found == 0 && strcmp(whole, "default") == 0));
    ExactBuffer out(outSize);
    const int cut = ProfileGetString(profile, section, key, out.Get(), outSize, "default");
    FUZZ_CHECK(outSize == 0 ? cut == 0
                            : cut == found && out.Terminated() &&
                                  strncmp(out.Get(), whole, outSize - 1) == 0);
    std::string text;
    FUZZ_CHECK(ProfileGetStdString(profile, section, key, text) == found);
    FUZZ_CHECK(text == (found ? whole : "") &&
               (!found || ProfileHasValue(profile, section, key, whole)));
    int32_t number = 7;
    uint32_t flag = 5, value = 0, wasProtected = 9;
    FUZZ_CHECK(ProfileGetInt(profile, section, key, &number, 7) == found);
    FUZZ_CHECK(number == (found ? ProfileTextToInt(whole) : 7));
    FUZZ_CHECK(ProfileGetBool(profile, section, key, &flag, 5) == found &&
               (flag <= 1 || flag == 5));
    ProfileGetEnum(profile, section, key, kTable, &value, 16);
    ProfileGetFlags(profile, section, key, kTable, &value, 16);
    if (ProfileGetProtected(profile, section, key, out.Get(), outSize, &wasProtected, &gContext))
        FUZZ_CHECK(wasProtected <= 1 && (outSize == 0 || out.Terminated()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const size_t outSize = input.Byte();
    const std::string section = input.Until('\n'), key = input.Until('\n');
    const std::string document = input.Rest();
    Profile profile;
    ProfileInit(&profile);
    FUZZ_CHECK(ProfileSetOptions(&profile, control & 3u) == 1);
    ProfileSetDecryptCallback(&profile, Decrypt);
    const long long length = (control & 4u) ? -1 : static_cast<long long>(document.size());
    FUZZ_CHECK(ProfileLoadBuffer(&profile, document.c_str(), length) == 1);
    FUZZ_CHECK(profile.text_length == strlen(profile.text));
    FUZZ_CHECK(profile.text_length == strlen(document.c_str()) &&
               memcmp(profile.text, document.data(), profile.text_length) == 0);
    Check(&profile, section.c_str(), key.c_str(), outSize);

    // The sections in order, and the entries of the first few, each looked up again.
    std::vector<std::string> names;
    const size_t nameSize = profile.text_length + 1; // no name is cut
    ExactBuffer name(nameSize), keyOut(outSize), valueOut(outSize);
    const char* previous = nullptr;
    for (int more = ProfileFirstSection(&profile, name.Get(), nameSize); more;
         more = ProfileNextSection(&profile, name.Get(), nameSize)) {
        FUZZ_CHECK(name.Terminated() && InText(profile, profile.section_cursor));
        FUZZ_CHECK((!previous || profile.section_cursor > previous) &&
                   ProfileSectionExists(&profile, name.Get()));
        previous = profile.section_cursor;
        if (names.size() < 8)
            names.push_back(name.Get());
    }
    names.push_back(section);
    for (const std::string& sectionName : names) {
        std::vector<std::string> keys;
        previous = nullptr;
        for (int more = ProfileFirstEntry(&profile, sectionName.c_str(), keyOut.Get(), outSize,
                                          valueOut.Get(), outSize);
             more;
             more = ProfileNextEntry(&profile, keyOut.Get(), outSize, valueOut.Get(), outSize)) {
            FUZZ_CHECK(outSize == 0 || (keyOut.Terminated() && valueOut.Terminated()));
            FUZZ_CHECK(InText(profile, profile.entry_cursor) &&
                       (!previous || profile.entry_cursor > previous));
            previous = profile.entry_cursor;
            if (outSize > 0 && keys.size() < 16)
                keys.push_back(keyOut.Get());
        }
        for (const std::string& entryKey : keys)
            Check(&profile, sectionName.c_str(), entryKey.c_str(), outSize);
    }
    FUZZ_CHECK(ProfileClose(&profile) == 1 && profile.text == nullptr);
    return 0;
}

// The parsers of outside texts. Byte 0: profile options (bits 0-1), load up to the NUL (bit 2);
// byte 1: the caller buffers' size; two lines ended by a LF; the rest: a profile document. Each
// line goes through the date, URL and address parsers, and is looked up in the document as
// section, then key. Dates parse back up to 2100; addresses are what inet_pton takes (but for
// our leading zeros and long groups); profile positions stay in the text and move forward.
#include "http/HttpDate.h"
#include "http/HttpUrl.h"
#include "net/KivIpAddr.h"
#include "profile/Profile.h"

#include "fuzz/FuzzSupport.h"

#include <arpa/inet.h>

#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <strings.h>
#include <vector>

namespace {

constexpr int64_t kLastTime = 4133980799; // 2100-12-31 23:59:59 UTC

void CheckDate(const std::string& text) {
    ExactBuffer exact(text.size() + 1), formatted(40);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);
    const int64_t parsed = HttpDateParse(exact.Get());
    HttpDateFormat(parsed, formatted.Get());
    FUZZ_CHECK(formatted.Terminated());
    FUZZ_CHECK(parsed < 0 || parsed > kLastTime || HttpDateParse(formatted.Get()) == parsed);
}

// A URL's pieces are the text's own: the host right behind any scheme, the path behind a '/'.
void CheckUrl(const std::string& text) {
    ExactBuffer exact(text.size() + 1);
    memcpy(exact.Get(), text.c_str(), text.size() + 1);
    HttpUrl url = {}, cleared = {};
    const int result = HttpUrlParse(exact.Get(), &url, 8080);
    const bool secure = strncasecmp(text.c_str(), "https://", 8) == 0;
    const size_t rest = secure ? 8 : strncasecmp(text.c_str(), "http://", 7) == 0 ? 7 : 0;
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 1) {
        const size_t hostEnd = rest + strlen(url.host), pathLength = strlen(url.path);
        FUZZ_CHECK(url.secure == (secure ? 1u : 0u) &&
                   text.compare(rest, hostEnd - rest, url.host) == 0);
        FUZZ_CHECK(pathLength < text.size() && text[text.size() - pathLength - 1] == '/' &&
                   text.compare(text.size() - pathLength, pathLength, url.path) == 0);
    }
    HttpUrlRelease(&url);
    FUZZ_CHECK(memcmp(&url, &cleared, sizeof url) == 0);
    HttpUrlRelease(&url); // safe on a cleared record
}

bool Same(const KivIpAddr& a, const KivIpAddr& b) {
    return a.Length() == b.Length() && memcmp(a.Bytes(), b.Bytes(), 16) == 0;
}

void CheckAddress(const std::string& line) {
    const char* text = line.c_str();
    KivIpAddr a, v4, v6, streamed;
    const int parsed = a.Parse(text), asV4 = v4.ParseV4(text), asV6 = v6.ParseV6(text);
    FUZZ_CHECK(parsed == (asV4 || asV6) && !(asV4 && asV6));
    FUZZ_CHECK(asV4 ? Same(a, v4) : (asV6 ? Same(a, v6) : a.Length() == 0));
    static const std::regex kOurExtensions(
        "[[:xdigit:]]{5}|\\.0[[:xdigit:]]|(^|[^[:xdigit:]])0[[:xdigit:]]+\\.");
    uint8_t theirs[16];
    if (!std::regex_search(line, kOurExtensions)) {
        FUZZ_CHECK(inet_pton(AF_INET, text, theirs) == asV4);
        FUZZ_CHECK(!asV4 || memcmp(theirs, v4.Bytes(), 4) == 0);
        FUZZ_CHECK(inet_pton(AF_INET6, text, theirs) == asV6);
        FUZZ_CHECK(!asV6 || memcmp(theirs, v6.Bytes(), 16) == 0);
    }
    char written[KivIpAddr::kTextBufferSize];
    FUZZ_CHECK(a.ToText(written, sizeof written) == parsed && !strcmp(a.Text(), written));
    if (!parsed)
        return;
    const size_t length = strlen(written);
    ExactBuffer exact(length + 1), tight(length);
    std::istringstream in(written);
    FUZZ_CHECK(a.ToText(exact.Get(), length + 1) == 1 && !strcmp(exact.Get(), written));
    FUZZ_CHECK(a.ToText(tight.Get(), length) == 0 && tight.Get()[0] == '\0');
    FUZZ_CHECK(static_cast<bool>(in >> streamed) && Same(streamed, a));
}

int gContext; // passed through to the decrypt callback

bool InText(const Profile& profile, const char* position) {
    return position >= profile.text && position <= profile.text + profile.text_length;
}

// A first byte 0xEE makes the "cipher" fail.
int Decrypt(const unsigned char* data, uint32_t length, char* out, uint32_t outSize,
            void* context) {
    FUZZ_CHECK(context == &gContext && outSize == 512 && length <= 256);
    snprintf(out, outSize, "%.*s", static_cast<int>(length), reinterpret_cast<const char*>(data));
    return length == 0 || data[0] != 0xEE;
}

const ProfileNameEntry kTable[] = {{1, "a"}, {2, "Bee"}, {8, "ON"}, {0, ""}};

void CheckProfile(Profile* profile, const char* section, const char* key, size_t outSize) {
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
    int32_t number = 7;
    uint32_t flag = 5, value = 0, wasProtected = 9;
    FUZZ_CHECK(ProfileGetInt(profile, section, key, &number, 7) == found);
    FUZZ_CHECK(ProfileGetBool(profile, section, key, &flag, 5) == found &&
               (flag <= 1 || flag == 5));
    ProfileGetFlags(profile, section, key, kTable, &value, 16);
    if (ProfileGetProtected(profile, section, key, out.Get(), outSize, &wasProtected, &gContext))
        FUZZ_CHECK(wasProtected <= 1 && (outSize == 0 || out.Terminated()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t control = input.Byte();
    const size_t outSize = input.Byte();
    std::istringstream rest(input.Rest());
    std::string section, key;
    std::getline(std::getline(rest, section), key);
    for (const std::string& line : {section, key}) {
        const std::string text = line.c_str();
        CheckDate(text);
        CheckUrl(text);
        CheckAddress(text);
    }

    const std::string document(std::istreambuf_iterator<char>(rest), {});
    Profile profile;
    ProfileInit(&profile);
    FUZZ_CHECK(ProfileSetOptions(&profile, control & 3u) == 1);
    ProfileSetDecryptCallback(&profile, Decrypt);
    const long long length = (control & 4u) ? -1 : static_cast<long long>(document.size());
    FUZZ_CHECK(ProfileLoadBuffer(&profile, document.c_str(), length) == 1);
    FUZZ_CHECK(profile.text_length == strlen(document.c_str()) &&
               memcmp(profile.text, document.c_str(), profile.text_length + 1) == 0);
    CheckProfile(&profile, section.c_str(), key.c_str(), outSize);

    // The sections in order, and the entries of the first few.
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
        previous = nullptr;
        for (int more = ProfileFirstEntry(&profile, sectionName.c_str(), keyOut.Get(), outSize,
                                          valueOut.Get(), outSize);
             more;
             more = ProfileNextEntry(&profile, keyOut.Get(), outSize, valueOut.Get(), outSize)) {
            FUZZ_CHECK(outSize == 0 || (keyOut.Terminated() && valueOut.Terminated()));
            FUZZ_CHECK(InText(profile, profile.entry_cursor) &&
                       (!previous || profile.entry_cursor > previous));
            previous = profile.entry_cursor;
        }
    }
    FUZZ_CHECK(ProfileClose(&profile) == 1 && profile.text == nullptr);
    return 0;
}

// Editing profile documents: setters and their positions, deletes, files written back on
// close, transforms and protected values.
#include "profile/Profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Doc {
    Profile p;
    explicit Doc(const std::string& text, uint32_t options = 0) {
        ProfileInit(&p);
        ProfileLoadBuffer(&p, text.data(), static_cast<long long>(text.size()));
        ProfileSetOptions(&p, options);
    }
    ~Doc() { ProfileClose(&p); }
    std::string Text() const { return p.text != nullptr ? p.text : "<null>"; }
};

// A unique file name under the system's temporary directory, removed at the end.
class TempFile {
public:
    TempFile() {
        static unsigned counter = 0;
        std::random_device random;
        path_ =
            (std::filesystem::temp_directory_path() /
             ("kiv_profile_" + std::to_string(random()) + "_" + std::to_string(++counter) + ".ini"))
                .string();
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

    void Write(const std::string& bytes) const {
        FILE* f = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string Read() const {
        std::string bytes;
        FILE* f = std::fopen(path_.c_str(), "rb");
        if (f == nullptr)
            return "<missing>";
        char chunk[256];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.append(chunk, n);
        std::fclose(f);
        return bytes;
    }

private:
    std::string path_;
};

// What a text written in text mode looks like on disk.
std::string OnDisk(const std::string& text) {
#ifdef _WIN32
    std::string bytes;
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
#else
    return text;
#endif
}

const char kThree[] = "[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\n";

struct EditCase {
    std::string doc;
    uint32_t options;
    std::function<int(Profile*)> edit;
    int result;
    std::string text;
};

TEST(ProfileEdit, SetAddAndDeletePositions) {
    const std::vector<EditCase> cases = {
        {kThree, 0, [](Profile* p) { return ProfileSetString(p, "b", "B", "x"); }, 1,
         "[A]\na=1\n[B]\nb=x # keep\n[C]\nc=3\n"},
        {kThree, 0, [](Profile* p) { return ProfileSetString(p, "B", "new", "v"); }, 1,
         "[A]\na=1\n[B]\nb=2 # keep\nnew=v\n[C]\nc=3\n"},
        {kThree, 0, [](Profile* p) { return ProfileSetString(p, "C", "new", "v"); }, 1,
         "[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\nnew=v\n"},
        {kThree, 0, [](Profile* p) { return ProfileSetString(p, "D", "k", "v"); }, 1,
         std::string(kThree) + "\n\n[D]\nk=v\n"},
        {kThree, 0, [](Profile* p) { return ProfileSetString(p, "B", "b", "a#b\r\nc\td"); }, 1,
         "[A]\na=1\n[B]\nb=a##b  c d # keep\n[C]\nc=3\n"},
        {kThree, 0, [](Profile* p) { return ProfileAddEntry(p, "B", "b", "9 # x"); }, 1,
         "[A]\na=1\n[B]\nb=2 # keep\n\nb=9 # x\n[C]\nc=3\n"},
        {kThree, 0, [](Profile* p) { return ProfileAddEntry(p, "D", "k", "v"); }, 1,
         std::string(kThree) + "\n\n[D]\nk=v\n"},
        {kThree, 0, [](Profile* p) { return ProfileDeleteSection(p, "B"); }, 1,
         "[A]\na=1\n\n[C]\nc=3\n"},
        {kThree, 0, [](Profile* p) { return ProfileDeleteSection(p, "C"); }, 1,
         "[A]\na=1\n[B]\nb=2 # keep\n"},
        {kThree, 0, [](Profile* p) { return ProfileDeleteEntry(p, "B", "B"); }, 1,
         "[A]\na=1\n[B]\n[C]\nc=3\n"},
        {"[A]\nk = 1\nk=2\r\n\r\nj=3\n", 0,
         [](Profile* p) { return ProfileDeleteEntry(p, "A", "k"); }, 1, "[A]\nk = 1\nj=3\n"},
        {"[A]\nk=1", 0, [](Profile* p) { return ProfileDeleteEntry(p, "A", "k"); }, 0, "[A]\nk=1"},
        {kThree, 0, [](Profile* p) { return ProfileDeleteSection(p, "X"); }, 0, kThree},
        // Only the bytes of the old value go: its quotes, tabs inside it and doubled '#'.
        {"[A]\nk= \"old\" # c\n", PROFILE_OPT_QUOTES,
         [](Profile* p) { return ProfileSetString(p, "A", "k", "new"); }, 1,
         "[A]\nk= \"new\" # c\n"},
        {"[A]\nk=a\tb ##c\t# c\n", 0, [](Profile* p) { return ProfileSetString(p, "A", "k", "x"); },
         1, "[A]\nk=x\t# c\n"},
        {"[A]\nk=\nj=1\n", 0, [](Profile* p) { return ProfileSetString(p, "A", "k", "v"); }, 1,
         "[A]\nk=v\nj=1\n"},
        {"[A]\nk=", 0, [](Profile* p) { return ProfileSetString(p, "A", "k", "v"); }, 1,
         "[A]\nk=v"},
        // An empty value with a comment behind it: the new value goes before the comment.
        {"[A]\nk= # c\n", 0, [](Profile* p) { return ProfileSetString(p, "A", "k", "v"); }, 1,
         "[A]\nk= v # c\n"},
        // A skipped over-long line leaves no value start behind for the next one.
        {"[A]\nk=" + std::string(600, 'x') + "\nk=old\n", 0,
         [](Profile* p) { return ProfileSetString(p, "A", "k", "v"); }, 1,
         "[A]\nk=" + std::string(600, 'x') + "\nk=v\n"},
        // A new entry behind an unterminated last line gets a line of its own.
        {"[A]\nk=1", 0, [](Profile* p) { return ProfileSetString(p, "A", "j", "2"); }, 1,
         "[A]\nk=1\nj=2\n"},
        {kThree, 0, [](Profile* p) { return ProfileSetInt(p, "A", "a", -2147483647 - 1); }, 1,
         "[A]\na=-2147483648\n[B]\nb=2 # keep\n[C]\nc=3\n"},
        {"[A]\n", 0, [](Profile* p) { return ProfileSetBool(p, "A", "on", 5); }, 1, "[A]\non=On\n"},
        {"[A]\n", 0,
         [](Profile* p) {
             static const ProfileNameEntry table[] = {{1, "X"}, {2, "Y"}, {4, "Z"}, {0, ""}};
             return ProfileSetFlags(p, "A", "f", table, 5);
         },
         1, "[A]\nf=X,Z\n"},
        {"", 0, [](Profile* p) { return ProfileSetString(p, "A", nullptr, "v"); }, 0, ""},
        {"[A]\n", 0, [](Profile* p) { return ProfileInsertText(p, "x", 99); }, 1, "[A]\nx"},
        {"[A]\n", 0, [](Profile* p) { return ProfileRemoveText(p, 2, 3); }, 0, "[A]\n"},
        {"[A]\n", 0, [](Profile* p) { return ProfileRemoveText(p, 1, 2); }, 1, "[\n"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Doc doc(cases[i].doc, cases[i].options);
        EXPECT_EQ(cases[i].result, cases[i].edit(&doc.p)) << "case " << i;
        EXPECT_EQ(cases[i].text, doc.Text()) << "case " << i;
        EXPECT_EQ(strlen(doc.p.text), doc.p.text_length) << "case " << i;
        EXPECT_EQ(cases[i].result == 1 ? 1u : 0u, doc.p.modified) << "case " << i;
    }
}

TEST(ProfileEdit, ValuesReadBackAsGiven) {
    Doc doc(kThree);
    const std::vector<std::string> values = {"C:\\dir#1 ## x", "  lead", "a=b", "", "#"};
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(1, ProfileSetString(&doc.p, "B", "b", values[i].c_str())) << "case " << i;
        char out[64];
        EXPECT_EQ(1, ProfileGetString(&doc.p, "B", "b", out, sizeof out)) << "case " << i;
        std::string expected = values[i] == "  lead" ? "lead" : values[i];
        EXPECT_EQ(expected, out) << "case " << i;
    }
    EXPECT_EQ("[A]\na=1\n[B]\nb=   ## # keep\n[C]\nc=3\n", doc.Text());
    // An escaped value that would overflow stops short of a lone '#'.
    std::string hashes(300, '#');
    ASSERT_EQ(1, ProfileSetString(&doc.p, "A", "a", hashes.c_str()));
    char out[600];
    ASSERT_EQ(1, ProfileGetString(&doc.p, "A", "a", out, sizeof out));
    EXPECT_EQ(std::string(255, '#'), out);
}

TEST(ProfileFile, LoadWriteBackAndClose) {
    TempFile file;
    file.Write("[A]\r\nk=v\r\nlong=" + std::string(1200, 'x') + "\r\nlast=1");
    Profile p;
    ProfileInit(&p);
    ASSERT_EQ(1, ProfileLoadFile(&p, file.path()));
    EXPECT_STREQ(file.path(), p.file_name);
    char out[16];
    EXPECT_EQ(1, ProfileGetString(&p, "A", "k", out, sizeof out));
    EXPECT_STREQ("v", out);
    EXPECT_EQ(1, ProfileGetString(&p, "A", "last", out, sizeof out));
    EXPECT_STREQ("1", out);
#ifdef _WIN32
    const std::string loaded = "[A]\nk=v\nlong=" + std::string(1200, 'x') + "\nlast=1\n";
#else
    const std::string loaded = "[A]\r\nk=v\r\nlong=" + std::string(1200, 'x') + "\r\nlast=1\n";
#endif
    EXPECT_EQ(loaded, p.text);
    EXPECT_EQ(loaded.size(), p.text_length);

    // Unmodified: nothing is written.
    file.Write("changed");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(nullptr, p.text);
    EXPECT_EQ("changed", file.Read());

    // Modified: the whole text goes back in text mode.
    file.Write("[A]\nk=v\n");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.path()));
    ASSERT_EQ(1, ProfileSetString(&p, "A", "k", "w"));
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("[A]\nk=w\n"), file.Read());
    EXPECT_EQ('\0', p.file_name[0]);

    // Empty file: empty text, no line end invented.
    file.Write("");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.path()));
    EXPECT_STREQ("", p.text);
    ProfileClose(&p);

    // A missing file gives an empty document that a close creates.
    TempFile missing;
    EXPECT_EQ(0, ProfileLoadFile(&p, missing.path()));
    EXPECT_STREQ("", p.text);
    EXPECT_STREQ(missing.path(), p.file_name);
    ASSERT_EQ(1, ProfileSetInt(&p, "S", "n", 7));
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("\n\n[S]\nn=7\n"), missing.Read());

    // A file that cannot be written: 0, and the document is released all the same.
    std::string bad = std::string(file.path()) + ".d/none/x.ini";
    EXPECT_EQ(0, ProfileLoadFile(&p, bad.c_str()));
    ProfileSetString(&p, "S", "k", "v");
    EXPECT_EQ(0, ProfileClose(&p));
    EXPECT_EQ(nullptr, p.text);

    // Buffer documents are never written, and reloading a buffer closes the file first.
    file.Write("[A]\nk=1\n");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.path()));
    ProfileSetString(&p, "A", "k", "2");
    ASSERT_EQ(1, ProfileLoadBuffer(&p, "[A]\nk=3\n", -1));
    EXPECT_EQ(OnDisk("[A]\nk=2\n"), file.Read());
    ProfileSetString(&p, "A", "k", "4");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("[A]\nk=2\n"), file.Read());
    EXPECT_EQ(0, ProfileLoadFile(&p, nullptr));
    EXPECT_EQ(nullptr, p.text);
}

TEST(ProfileFile, OneShotFunctions) {
    TempFile file;
    file.Write("[A]\nk=v\n");
    char out[16] = "x";
    EXPECT_EQ(1, ProfileReadFileString(file.path(), "A", "k", out, sizeof out, "d"));
    EXPECT_STREQ("v", out);
    EXPECT_EQ(0, ProfileReadFileString(file.path(), "A", "j", out, sizeof out, "d"));
    EXPECT_STREQ("d", out);
    TempFile missing;
    EXPECT_EQ(0, ProfileReadFileString(missing.path(), "A", "k", out, sizeof out, "d2"));
    EXPECT_STREQ("d2", out);

    EXPECT_EQ(1, ProfileAddFileEntry(file.path(), "A", "j", "1"));
    EXPECT_EQ(OnDisk("[A]\nk=v\n\nj=1\n"), file.Read());
    EXPECT_EQ(0, ProfileAddFileEntry(missing.path(), "A", "j", "1"));
    EXPECT_EQ("<missing>", missing.Read());
}

// Test transform: XOR with 0x5A; a result other than 1 makes a transform that fails.
int g_transformResult = 1;
int XorTransform(char* buffer, uint32_t capacity, uint32_t* length) {
    if (*length > capacity)
        return 0;
    for (uint32_t i = 0; i < *length; ++i)
        buffer[i] = static_cast<char>(buffer[i] ^ 0x5A);
    return g_transformResult;
}

std::string Xor(const std::string& text) {
    std::string bytes = text;
    for (char& c : bytes)
        c = static_cast<char>(c ^ 0x5A);
    return bytes;
}

TEST(ProfileFile, Transforms) {
    TempFile file;
    file.Write(Xor("[A]\r\nk=v\r\n"));
    Profile p;
    ProfileInit(&p);
    g_transformResult = 1;
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.path(), XorTransform));
    EXPECT_STREQ("[A]\r\nk=v\r\n", p.text); // binary: no line-end translation
    EXPECT_EQ(1u, p.loaded_transformed);
    EXPECT_STREQ(file.path(), p.file_name);

    // Saved through the transform with "wb": the bytes on disk are exactly the text's.
    ASSERT_EQ(1, ProfileSetString(&p, "A", "k", "w"));
    EXPECT_EQ(1, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ(Xor("[A]\r\nk=w\r\n"), file.Read());
    EXPECT_EQ(nullptr, p.text);
    EXPECT_EQ(0u, p.loaded_transformed);

    // A failing save writes nothing but still closes; an unmodified one writes nothing.
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.path(), XorTransform));
    ProfileSetString(&p, "A", "k", "z");
    g_transformResult = 0;
    EXPECT_EQ(0, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ(nullptr, p.text);
    EXPECT_EQ(Xor("[A]\r\nk=w\r\n"), file.Read());
    g_transformResult = 1;
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.path(), XorTransform));
    file.Write("other");
    EXPECT_EQ(1, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ("other", file.Read());
    EXPECT_EQ(0, ProfileSaveTransformed(&p, nullptr));

    // Only exactly 1 counts on load; a failed load keeps no file name, so edits and a
    // close cannot overwrite the file in the clear.
    file.Write(Xor("[A]\nk=v\n"));
    g_transformResult = 2;
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, file.path(), XorTransform));
    EXPECT_STREQ("", p.text);
    EXPECT_STREQ("", p.file_name);
    EXPECT_EQ(0u, p.loaded_transformed);
    ProfileSetString(&p, "A", "k", "clear");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(Xor("[A]\nk=v\n"), file.Read());
    g_transformResult = 1;
    TempFile missing;
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, missing.path(), XorTransform));
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, file.path(), nullptr));
    ProfileClose(&p);
}

// Test cipher: XOR with the byte that userContext points to; counts its calls.
int g_cipherCalls = 0;
int g_cipherResult = 1;
uint32_t g_cipherLength = 0; // forces the output length when non-zero

int XorEncrypt(const char* clear, uint64_t length, unsigned char* out, uint32_t outSize,
               uint32_t* outLength, void* context) {
    ++g_cipherCalls;
    unsigned char key = *static_cast<unsigned char*>(context);
    uint32_t n = g_cipherLength != 0 ? g_cipherLength : static_cast<uint32_t>(length);
    for (uint32_t i = 0; i < n && i < outSize; ++i)
        out[i] = static_cast<unsigned char>(i < length ? clear[i] ^ key : key);
    *outLength = n;
    return g_cipherResult;
}

int XorDecrypt(const unsigned char* data, uint32_t length, char* out, uint32_t outSize,
               void* context) {
    ++g_cipherCalls;
    unsigned char key = *static_cast<unsigned char*>(context);
    uint32_t i = 0;
    for (; i < length && i + 1 < outSize; ++i)
        out[i] = static_cast<char>(data[i] ^ key);
    out[i] = '\0';
    return g_cipherResult;
}

TEST(ProfileProtected, RoundTripsAndRefusals) {
    Doc doc("[S]\nclear=plain text\nupper=CRYPT:3B3A\nbad=crypt:4g\nodd=crypt:313\n");
    unsigned char key = 0x0F;
    char out[64] = "untouched";
    uint32_t was = 7;
    EXPECT_EQ(0, ProfileGetProtected(&doc.p, "S", "clear", out, sizeof out, &was, &key));
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "p", "x", &key));
    EXPECT_STREQ("untouched", out);
    EXPECT_EQ(7u, was);
    ProfileSetDecryptCallback(&doc.p, XorDecrypt);
    ProfileSetEncryptCallback(&doc.p, XorEncrypt);

    g_cipherResult = 1;
    ASSERT_EQ(1, ProfileSetProtected(&doc.p, "S", "p", "Secret #1", &key));
    char stored[64];
    ASSERT_EQ(1, ProfileGetString(&doc.p, "S", "p", stored, sizeof stored));
    EXPECT_STREQ("crypt:5c6a6c7d6a7b2f2c3e", stored);
    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "p", out, sizeof out, &was, &key));
    EXPECT_STREQ("Secret #1", out);
    EXPECT_EQ(1u, was);

    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "clear", out, sizeof out, &was, &key));
    EXPECT_STREQ("plain text", out);
    EXPECT_EQ(0u, was);
    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "upper", out, sizeof out, &was, &key));
    EXPECT_STREQ("45", out);
    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "odd", out, sizeof out, &was, &key));
    EXPECT_STREQ(">\x0C", out); // a last odd digit is a byte of its own
    EXPECT_EQ(0, ProfileGetProtected(&doc.p, "S", "bad", out, sizeof out, &was, &key));
    EXPECT_EQ(0, ProfileGetProtected(&doc.p, "S", "missing", out, sizeof out, &was, &key));
    EXPECT_EQ(0u, was);

    // Empty clear text: the bare prefix, and no callback either way.
    g_cipherCalls = 0;
    ASSERT_EQ(1, ProfileSetProtected(&doc.p, "S", "e", "", &key));
    ASSERT_EQ(1, ProfileGetString(&doc.p, "S", "e", stored, sizeof stored));
    EXPECT_STREQ("crypt:", stored);
    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "e", out, sizeof out, &was, &key));
    EXPECT_STREQ("", out);
    EXPECT_EQ(1u, was);
    EXPECT_EQ(0, g_cipherCalls);

    // Failing callbacks fail the calls and store nothing.
    g_cipherResult = 0;
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "f", "x", &key));
    EXPECT_EQ(0, ProfileGetString(&doc.p, "S", "f", stored, sizeof stored));
    EXPECT_EQ(0, ProfileGetProtected(&doc.p, "S", "p", out, sizeof out, &was, &key));
    g_cipherResult = 1;

    // 252 protected bytes still read back; 253 would not, and are refused.
    g_cipherLength = 252;
    EXPECT_EQ(1, ProfileSetProtected(&doc.p, "S", "big", "ab", &key));
    g_cipherLength = 0;
    EXPECT_EQ(1, ProfileGetProtected(&doc.p, "S", "big", out, sizeof out, &was, &key));
    EXPECT_STREQ("ab", out);
    g_cipherLength = 253;
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "big", "cd", &key));
    g_cipherLength = 0;
}

} // namespace

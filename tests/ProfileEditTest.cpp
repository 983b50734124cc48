// Editing profile documents: setters and their positions, deletes, files written back on
// close, transforms and protected values.
#include "TestHelpers.h"
#include "profile/Profile.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef __linux__
#include <sys/stat.h>
#endif

namespace {

struct Doc {
    Profile p;
    explicit Doc(const std::string& text, uint32_t options = 0) {
        ProfileInit(&p);
        ProfileLoadBuffer(&p, text.data(), static_cast<long long>(text.size()));
        ProfileSetOptions(&p, options);
    }
    ~Doc() { ProfileClose(&p); }
    std::string Text() const { return p.text != nullptr ? p.text : "(null)"; }
};

// What a text written in text mode looks like on disk.
std::string OnDisk(std::string text) {
#ifdef _WIN32
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
#endif
    return text;
}

const char kThree[] = "[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\n";

TEST(ProfileEdit, SetAddAndDeletePositions) {
    struct Case {
        std::string doc;
        char op; // S, Q (quotes on): set; A: add entry; D: delete section; E: delete entry
        const char *section, *key, *value;
        int result;
        std::string text;
    } const cases[] = {
        {kThree, 'S', "b", "B", "x", 1, "[A]\na=1\n[B]\nb=x # keep\n[C]\nc=3\n"},
        {kThree, 'S', "B", "new", "v", 1, "[A]\na=1\n[B]\nb=2 # keep\nnew=v\n[C]\nc=3\n"},
        {kThree, 'S', "C", "new", "v", 1, "[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\nnew=v\n"},
        {kThree, 'S', "D", "k", "v", 1, std::string(kThree) + "\n\n[D]\nk=v\n"},
        {kThree, 'S', "B", "b", "a#b\r\nc\td", 1, "[A]\na=1\n[B]\nb=a##b  c d # keep\n[C]\nc=3\n"},
        {kThree, 'A', "B", "b", "9 # x", 1, "[A]\na=1\n[B]\nb=2 # keep\n\nb=9 # x\n[C]\nc=3\n"},
        {kThree, 'A', "D", "k", "v", 1, std::string(kThree) + "\n\n[D]\nk=v\n"},
        {kThree, 'D', "B", "", "", 1, "[A]\na=1\n\n[C]\nc=3\n"},
        {kThree, 'D', "C", "", "", 1, "[A]\na=1\n[B]\nb=2 # keep\n"},
        {kThree, 'E', "B", "B", "", 1, "[A]\na=1\n[B]\n[C]\nc=3\n"},
        {"[A]\nk = 1\nk=2\r\n\r\nj=3\n", 'E', "A", "k", "", 1, "[A]\nk = 1\nj=3\n"},
        {"[A]\nk=1", 'E', "A", "k", "", 0, "[A]\nk=1"},
        // Only the bytes of the old value go: its quotes, tabs inside it and doubled '#'.
        {"[A]\nk= \"old\" # c\n", 'Q', "A", "k", "new", 1, "[A]\nk= \"new\" # c\n"},
        {"[A]\nk=a\tb ##c\t# c\n", 'S', "A", "k", "x", 1, "[A]\nk=x\t# c\n"},
        {"[A]\nk=\nj=1\n", 'S', "A", "k", "v", 1, "[A]\nk=v\nj=1\n"},
        {"[A]\nk=", 'S', "A", "k", "v", 1, "[A]\nk=v"},
        // An empty value with a comment behind it: the new value goes before the comment.
        {"[A]\nk= # c\n", 'S', "A", "k", "v", 1, "[A]\nk= v # c\n"},
        // A skipped over-long line leaves no value start behind for the next one.
        {"[A]\nk=" + std::string(600, 'x') + "\nk=old\n", 'S', "A", "k", "v", 1,
         "[A]\nk=" + std::string(600, 'x') + "\nk=v\n"},
        // A new entry behind an unterminated last line gets a line of its own.
        {"[A]\nk=1", 'S', "A", "j", "2", 1, "[A]\nk=1\nj=2\n"},
    };
    FOR_EACH_CASE(c, cases) {
        Doc doc(c.doc, c.op == 'Q' ? uint32_t{PROFILE_OPT_QUOTES} : 0u);
        const int result = c.op == 'A'   ? ProfileAddEntry(&doc.p, c.section, c.key, c.value)
                           : c.op == 'D' ? ProfileDeleteSection(&doc.p, c.section)
                           : c.op == 'E' ? ProfileDeleteEntry(&doc.p, c.section, c.key)
                                         : ProfileSetString(&doc.p, c.section, c.key, c.value);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.text, doc.Text());
        EXPECT_EQ(strlen(doc.p.text), doc.p.text_length);
        EXPECT_EQ(c.result == 1 ? 1u : 0u, doc.p.modified);
    }
    // The typed setters, and the two edit primitives at odd offsets.
    Doc doc("[A]\n");
    const ProfileNameEntry table[] = {{1, "X"}, {2, "Y"}, {4, "Z"}, {0, ""}};
    EXPECT_EQ(1, ProfileSetInt(&doc.p, "A", "i", INT_MIN));
    EXPECT_EQ(1, ProfileSetBool(&doc.p, "A", "on", 5));
    EXPECT_EQ(1, ProfileSetFlags(&doc.p, "A", "f", table, 5));
    EXPECT_EQ(0, ProfileRemoveText(&doc.p, 29, 2)); // one byte short
    EXPECT_EQ(1, ProfileInsertText(&doc.p, "x", 99));
    EXPECT_EQ(1, ProfileRemoveText(&doc.p, 1, 2));
    EXPECT_EQ("[\ni=-2147483648\non=On\nf=X,Z\nx", doc.Text());
}

TEST(ProfileEdit, ValuesReadBackAsGiven) {
    Doc doc(kThree);
    for (const std::string value : {"C:\\dir#1 ## x", "  lead", "a=b", "", "#"}) {
        ASSERT_EQ(1, ProfileSetString(&doc.p, "B", "b", value.c_str()));
        char out[64];
        EXPECT_EQ(1, ProfileGetString(&doc.p, "B", "b", out, sizeof out));
        EXPECT_EQ(value == "  lead" ? "lead" : value, out);
    }
    EXPECT_EQ("[A]\na=1\n[B]\nb=   ## # keep\n[C]\nc=3\n", doc.Text());
    // An escaped value that would overflow stops short of a lone '#'.
    ASSERT_EQ(1, ProfileSetString(&doc.p, "A", "a", std::string(300, '#').c_str()));
    char out[600];
    ASSERT_EQ(1, ProfileGetString(&doc.p, "A", "a", out, sizeof out));
    EXPECT_EQ(std::string(255, '#'), out);
}

TEST(ProfileFile, LoadWriteBackAndClose) {
    TempFile file("kiv_profile"), missing("kiv_profile");
    file.Write("[A]\r\nk=v\r\nlong=" + std::string(1200, 'x') + "\r\nlast=1");
    Profile p;
    ProfileInit(&p);
    ASSERT_EQ(1, ProfileLoadFile(&p, file.c_str()));
    EXPECT_STREQ(file.c_str(), p.file_name);
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
    ASSERT_EQ(1, ProfileLoadFile(&p, file.c_str()));
    ASSERT_EQ(1, ProfileSetString(&p, "A", "k", "w"));
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("[A]\nk=w\n"), file.Read());
    // Empty file: empty text, no line end invented.
    file.Write("");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.c_str()));
    EXPECT_STREQ("", p.text);
    ProfileClose(&p);
    // A missing file gives an empty document that a close creates.
    EXPECT_EQ(0, ProfileLoadFile(&p, missing.c_str()));
    EXPECT_STREQ("", p.text);
    ASSERT_EQ(1, ProfileSetInt(&p, "S", "n", 7));
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("\n\n[S]\nn=7\n"), missing.Read());
    // A file that cannot be written: 0, and the document is released all the same.
    EXPECT_EQ(0, ProfileLoadFile(&p, (file.path + ".d/none/x.ini").c_str()));
    ProfileSetString(&p, "S", "k", "v");
    EXPECT_EQ(0, ProfileClose(&p));
    EXPECT_EQ(nullptr, p.text);
    // Buffer documents are never written, and reloading a buffer closes the file first.
    file.Write("[A]\nk=1\n");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.c_str()));
    ProfileSetString(&p, "A", "k", "2");
    ASSERT_EQ(1, ProfileLoadBuffer(&p, "[A]\nk=3\n", -1));
    ProfileSetString(&p, "A", "k", "4");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("[A]\nk=2\n"), file.Read());
#ifdef __linux__
    // Files that never end: a device measuring 0 gives what its size promised, a FIFO
    // without a writer is refused instead of waited for.
    EXPECT_EQ(1, ProfileLoadFile(&p, "/dev/zero"));
    EXPECT_STREQ("", p.text);
    ProfileClose(&p);
    const std::string fifo = file.path + ".fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(0, ProfileLoadFile(&p, fifo.c_str()));
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, fifo.c_str(),
                                            [](char*, uint32_t, uint32_t*) { return 1; }));
    ProfileSetString(&p, "A", "k", "v");
    EXPECT_EQ(0, ProfileClose(&p));
    remove(fifo.c_str());
#endif
}

TEST(ProfileFile, OneShotFunctions) {
    TempFile file("kiv_profile"), missing("kiv_profile");
    file.Write("[A]\nk=v\n");
    char out[16] = "x";
    EXPECT_EQ(1, ProfileReadFileString(file.c_str(), "A", "k", out, sizeof out, "d"));
    EXPECT_STREQ("v", out);
    EXPECT_EQ(0, ProfileReadFileString(file.c_str(), "A", "j", out, sizeof out, "d"));
    EXPECT_STREQ("d", out);
    EXPECT_EQ(0, ProfileReadFileString(missing.c_str(), "A", "k", out, sizeof out, "d2"));
    EXPECT_STREQ("d2", out);
    EXPECT_EQ(1, ProfileAddFileEntry(file.c_str(), "A", "j", "1"));
    EXPECT_EQ(OnDisk("[A]\nk=v\n\nj=1\n"), file.Read());
    EXPECT_EQ(0, ProfileAddFileEntry(missing.c_str(), "A", "j", "1"));
    EXPECT_EQ("(no file)", missing.Read());
}

// Test transform: XOR with 0x5A, and the result that g_transformResult says.
int g_transformResult = 1;
int XorTransform(char* buffer, uint32_t, uint32_t* length) {
    for (uint32_t i = 0; i < *length; ++i)
        buffer[i] = static_cast<char>(buffer[i] ^ 0x5A);
    return g_transformResult;
}

std::string Xor(std::string bytes) {
    for (char& c : bytes)
        c = static_cast<char>(c ^ 0x5A);
    return bytes;
}

TEST(ProfileFile, Transforms) {
    TempFile file("kiv_profile");
    file.Write(Xor("[A]\r\nk=v\r\n"));
    Profile p;
    ProfileInit(&p);
    // Read and written as bytes: no line-end translation either way.
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.c_str(), XorTransform));
    EXPECT_STREQ("[A]\r\nk=v\r\n", p.text);
    ASSERT_EQ(1, ProfileSetString(&p, "A", "k", "w"));
    EXPECT_EQ(1, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ(Xor("[A]\r\nk=w\r\n"), file.Read());
    EXPECT_EQ(nullptr, p.text);
    // A failing save writes nothing but still closes; an unmodified one writes nothing.
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.c_str(), XorTransform));
    ProfileSetString(&p, "A", "k", "z");
    g_transformResult = 0;
    EXPECT_EQ(0, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ(nullptr, p.text);
    EXPECT_EQ(Xor("[A]\r\nk=w\r\n"), file.Read());
    g_transformResult = 1;
    ASSERT_EQ(1, ProfileLoadFileTransformed(&p, file.c_str(), XorTransform));
    file.Write("other");
    EXPECT_EQ(1, ProfileSaveTransformed(&p, XorTransform));
    EXPECT_EQ("other", file.Read());
    // Only exactly 1 counts on load; a failed load keeps no file name, so edits and a
    // close cannot overwrite the file in the clear.
    g_transformResult = 2;
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, file.c_str(), XorTransform));
    g_transformResult = 1;
    EXPECT_STREQ("", p.text);
    ProfileSetString(&p, "A", "k", "clear");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ("other", file.Read());
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, (file.path + ".x").c_str(), XorTransform));
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, file.c_str(), nullptr));
    EXPECT_EQ(0, ProfileSaveTransformed(&p, nullptr));
    ProfileClose(&p);
}

// Test cipher: XOR with the byte that the context points to. Counts its calls; fails
// when g_cipherResult is 0; g_cipherLength, when not 0, forces the protected length.
int g_cipherCalls = 0, g_cipherResult = 1;
uint32_t g_cipherLength = 0;

int XorEncrypt(const char* clear, uint64_t length, unsigned char* out, uint32_t,
               uint32_t* outLength, void* key) {
    ++g_cipherCalls;
    *outLength = g_cipherLength != 0 ? g_cipherLength : static_cast<uint32_t>(length);
    for (uint32_t i = 0; i < *outLength; ++i)
        out[i] = static_cast<unsigned char>((i < length ? clear[i] : 0) ^ *static_cast<char*>(key));
    return g_cipherResult;
}

int XorDecrypt(const unsigned char* data, uint32_t length, char* out, uint32_t, void* key) {
    ++g_cipherCalls;
    for (uint32_t i = 0; i < length; ++i)
        out[i] = static_cast<char>(data[i] ^ *static_cast<char*>(key));
    out[length] = '\0';
    return g_cipherResult;
}

TEST(ProfileProtected, RoundTripsAndRefusals) {
    Doc doc("[S]\nclear=plain text\nupper=CRYPT:3B3A\nbad=crypt:4g\nodd=crypt:313\n");
    char key = 0x0F;
    char out[64] = "untouched", stored[64];
    uint32_t was = 7;
    // No callbacks: refused.
    EXPECT_EQ(0, ProfileGetProtected(&doc.p, "S", "clear", out, sizeof out, &was, &key));
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "p", "x", &key));
    EXPECT_STREQ("untouched", out);
    EXPECT_EQ(7u, was);
    ProfileSetDecryptCallback(&doc.p, XorDecrypt);
    ProfileSetEncryptCallback(&doc.p, XorEncrypt);

    ASSERT_EQ(1, ProfileSetProtected(&doc.p, "S", "p", "Secret #1", &key));
    ASSERT_EQ(1, ProfileGetString(&doc.p, "S", "p", stored, sizeof stored));
    EXPECT_STREQ("crypt:5c6a6c7d6a7b2f2c3e", stored);
    struct Case {
        const char* key;
        int result;
        const char* clear;
        uint32_t was;
    } const reads[] = {
        {"p", 1, "Secret #1", 1}, {"clear", 1, "plain text", 0},
        {"upper", 1, "45", 1},    {"odd", 1, ">\x0C", 1}, // a last odd digit is a byte of its own
        {"bad", 0, nullptr, 7},   {"missing", 0, nullptr, 0},
    };
    FOR_EACH_CASE(c, reads) {
        was = 7;
        EXPECT_EQ(c.result, ProfileGetProtected(&doc.p, "S", c.key, out, sizeof out, &was, &key));
        EXPECT_EQ(c.was, was);
        if (c.clear != nullptr) {
            EXPECT_STREQ(c.clear, out);
        }
    }
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

// Profile documents: lookups, enumeration, typed getters, edits, files written back on close,
// transforms and protected values.
#include "profile/Profile.h"
#include "TestHelpers.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#ifdef __linux__
#include <sys/stat.h>
#endif

namespace {

// A buffer document, closed when the test ends.
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

// "result:text", to check a call and what it wrote in one go.
std::string Got(int result, const char* text) {
    return std::to_string(result) + ":" + text;
}

TEST(ProfileLookup, DocumentShapes) {
    const std::string lang = "[Language 1]\nVersion = 12\nBuild=3 # comment\n";
    const std::string long510(510, 'x'), long511(511, 'x');
    struct Case {
        std::string doc;
        uint32_t options;
        const char *section, *key;
        int found;
        std::string value;
    } const cases[] = {
        {lang, 0, "LANGUAGE 1", "BUILD", 1, "3"},
        {"[ Main ]\nk=1\n", 0, " Main ", "k", 1, "1"},
        {"[ Main ]\nk=1\n", 0, "Main", "k", 0, ""},
        {"\t[A]\nk=1\n", 0, "A", "k", 0, ""},
        {"   [A] trailing\nk=1\n", 0, "A", "k", 1, "1"},
        {"[A]\nk=1\n  [B]\nj=2\n", 0, "A", "j", 0, ""},
        {"[A]\nk=1\r[B]\rj=2\r", 0, "B", "j", 1, "2"},
        {"] [B]\nj=2\n", 0, "B", "j", 1, "2"},
        {"[A]\nk=1\n[A]\nk=2\nj=3\n", 0, "A", "j", 0, ""}, // the first section wins
        {"[A\n]\nk=1\n", 0, "A\n", "k", 0, ""},            // a header closes on its own line
        {"[A]\nk=1\nk=2\n", 0, "A", "k", 1, "1"},
        {"[A]\npath=C:\\dir##1\n", 0, "A", "path", 1, "C:\\dir#1"},
        {"[A]\n;k=1\n", 0, "A", ";k", 1, "1"},
        {"[A]\nmy key = 1\n", 0, "A", "mykey", 1, "1"},
        {"[A]\n\tk\tey\t=\tv\ta l\t\n", 0, "A", "key", 1, "va l"},
        {"[A]\nk= \"a b \" tail\n", PROFILE_OPT_QUOTES, "A", "k", 1, "a b "},
        {"[A]\nk=\"abc\n", PROFILE_OPT_QUOTES, "A", "k", 1, ""},
        {"[A]\nk=\"a#b\" # c\n", PROFILE_OPT_QUOTES, "A", "k", 1, "a#b"},
        {"[A]\nk=a#b ## c\n", PROFILE_OPT_HASH_LITERAL, "A", "k", 1, "a#b ## c"},
        {"[A]\r\nk=v \r\n[B]\r\nk=w\r\n", 0, "a", "K", 1, "v"},
        {"[A]\nk=v  ", 0, "A", "k", 1, "v  "}, // no line end: trailing blanks stay
        {"[A]\nk=" + long511 + "\nk=second\n", 0, "A", "k", 1, "second"},
        {"[A]\nk=" + long510 + "\nk=second\n", 0, "A", "k", 1, long510},
        // Nothing of a skipped line (here: an opened quote) carries over to the next.
        {"[A]\nk=\"" + long511 + "\nk=q\n", PROFILE_OPT_QUOTES, "A", "k", 1, "q"},
    };
    FOR_EACH_CASE(c, cases) {
        Doc doc(c.doc, c.options);
        char out[600] = "untouched";
        const int found = ProfileGetString(&doc.p, c.section, c.key, out, sizeof out);
        EXPECT_EQ(c.found, found);
        EXPECT_EQ(c.found ? c.value : std::string(), std::string(out));
        EXPECT_EQ(c.found, found && ProfileSectionExists(&doc.p, c.section));
    }
}

// How a length loads a buffer and how a small buffer cuts a value are the fuzz harness's.
TEST(ProfileLookup, BufferLoadingAndOutput) {
    Doc doc("[A]\nk=abcdef\n");
    char out[8];
    EXPECT_EQ("0:dflt",
              Got(ProfileGetString(&doc.p, "A", "missing", out, sizeof out, "dflt"), out));
    EXPECT_EQ("0:d2", Got(ProfileGetString(&doc.p, nullptr, "k", out, sizeof out, "d2"), out));
    EXPECT_EQ("0:d2", Got(ProfileGetString(&doc.p, "A", "k", out, sizeof out, nullptr),
                          out)); // a null default leaves the output alone
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, nullptr, 5));
    EXPECT_STREQ("", ProfileGetText(&doc.p));
    EXPECT_EQ(0, ProfileSetOptions(&doc.p, 4));
    EXPECT_EQ(1, ProfileSetOptions(&doc.p, 3));
}

// Ranges inside the text are the fuzz harness's; these lie partly or wholly outside it.
TEST(ProfileLookup, OddRangesStayInsideTheText) {
    Doc doc("[A]\nk=v\nj=w");
    const char *start = doc.p.text, *end = doc.p.text + doc.p.text_length, *valueStart = nullptr;
    char out[16];
    const char elsewhere[4] = "k=x"; // an end outside is cut back to the terminator
    EXPECT_EQ("1:w", Got(ProfileFindEntry(&doc.p, "j", 0, start, elsewhere, &valueStart, out,
                                          sizeof out, 0),
                         out));
    EXPECT_EQ(doc.p.text + 10, valueStart);
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, end, start, nullptr, out, sizeof out, 0));
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, elsewhere, end, nullptr, out, sizeof out, 0));
    EXPECT_EQ("1:w", Got(ProfileFindEntry(&doc.p, "jx", 1, start, end, nullptr, out, sizeof out, 0),
                         out)); // prefix comparison
}

// The section names, then the key=value pairs of `section`: "A,B: k=v;".
std::string Enumerate(Profile* p, const char* section) {
    std::string found;
    char key[64], value[300];
    for (int more = ProfileFirstSection(p, key, sizeof key); more;
         more = ProfileNextSection(p, key, sizeof key))
        found += (found.empty() ? "" : ",") + std::string(key);
    found += ":";
    for (int more = ProfileFirstEntry(p, section, key, sizeof key, value, sizeof value); more;
         more = ProfileNextEntry(p, key, sizeof key, value, sizeof value))
        found += " " + std::string(key) + "=" + value + ";";
    return found;
}

TEST(ProfileEnumeration, SectionsAndEntries) {
    Doc doc("x=0\n[A]\nmy key = 1 \n#c=2\n\"q\"=3\n ## x=4\n=5\nv=a##b # c\n[B] [X]\nx=1\n"
            "#[C]\n  [A]\nz=9\n");
    EXPECT_EQ("A,B,A: my key=1; \"q\"=3; =5; v=a#b;", Enumerate(&doc.p, "a"));
    EXPECT_EQ("A,B,A: x=1;", Enumerate(&doc.p, "B"));
    Doc quoted("[Q]\nk = \"a \" b\nj=\"open\n", PROFILE_OPT_QUOTES);
    EXPECT_EQ("Q: k=a ; j=;", Enumerate(&quoted.p, "Q"));
    // A line of 256 or more collected bytes ends the enumeration, and so does the end of
    // the text before a last line has its line end.
    Doc longLine("[A]\na=1\nb=" + std::string(256, 'x') + "\nc=3\n"), lastLine("[A]\na=1\nb=2");
    Doc longest("[A]\nb=" + std::string(255, 'x') + "\n"); // a value of 255 bytes
    EXPECT_EQ("A: a=1;", Enumerate(&longLine.p, "A"));
    EXPECT_EQ("A: b=" + std::string(255, 'x') + ";", Enumerate(&longest.p, "A"));
    EXPECT_EQ("A: a=1;", Enumerate(&lastLine.p, "A"));
    // Without text or after an edit replaced the buffer, enumeration just ends.
    char name[16];
    Doc edited("[A]\n[B]\n");
    ASSERT_EQ(1, ProfileFirstSection(&edited.p, name, sizeof name));
    ASSERT_EQ(1, ProfileInsertText(&edited.p, "[C]\n", 0));
    ProfileNextSection(&edited.p, name, sizeof name); // must not read freed memory
    Profile empty;
    ProfileInit(&empty);
    EXPECT_EQ(0, ProfileFirstSection(&empty, name, sizeof name) +
                     ProfileNextSection(&empty, name, sizeof name));
}

const ProfileNameEntry kFlags[] = {{1, "A"}, {2, "B"}, {8, "Long Name"}, {0, ""}};

TEST(ProfileTyped, IntegerConversion) {
    // Saturated beyond the int range, 2^64 + 5 among them.
    std::string numbers;
    for (const char* text :
         {"12abc", " \t-7", "\r\n\v\f9", "abc", "+5", "0x10", "2147483647", "2147483648",
          "18446744073709551621", "-18446744073709551621", "-2147483648", "-2147483649"})
        numbers += std::to_string(ProfileTextToInt(text)) + " ";
    EXPECT_EQ("12 -7 9 0 5 0 2147483647 2147483647 2147483647 -2147483648 -2147483648 "
              "-2147483648 ",
              numbers);
    Doc doc("[N]\nc=abc\nq=\" -3\"\n", PROFILE_OPT_QUOTES);
    int32_t c = 0, q = 0, missing = 0;
    EXPECT_EQ(1, ProfileGetInt(&doc.p, "N", "c", &c, 42));
    EXPECT_EQ(1, ProfileGetInt(&doc.p, "N", "q", &q));
    EXPECT_EQ(0, ProfileGetInt(&doc.p, "N", "missing", &missing, 42));
    EXPECT_EQ("0 -3 42",
              std::to_string(c) + " " + std::to_string(q) + " " + std::to_string(missing));
}

TEST(ProfileTyped, BooleansEnumsFlagsAndValues) {
    Doc doc("[T]\ny=yes\non=ON\none=1\nplus=+1\noff=off\nno=NO\nzero=0\nmaybe=maybe\n"
            "f1=a; b|A\nf2=a,x\nf3=\nf4=long name,b\nk=1\nk=2\nkx=3\ncase=On\n"
            "e=b\nlong=LONG NAME\nbad=zz\n");
    const std::pair<const char*, uint32_t> bools[] = {
        {"y", 1},  {"on", 1},   {"one", 1},   {"plus", 1},    {"off", 0},
        {"no", 0}, {"zero", 0}, {"maybe", 7}, {"missing", 7},
    };
    FOR_EACH_CASE(c, bools) {
        uint32_t flag = 9;
        EXPECT_EQ(strcmp(c.first, "missing") != 0, ProfileGetBool(&doc.p, "T", c.first, &flag, 7));
        EXPECT_EQ(c.second, flag);
    }
    struct {
        const char* key;
        uint32_t defaultValue;
        int flagsResult;
        uint32_t flags;
        int enumResult;
        uint32_t enumValue;
    } const named[] = {
        {"f1", 0, 1, 3, 0, 0}, {"f2", 0, 0, 1, 0, 0},   {"f1", 4, 1, 7, 0, 4},
        {"f3", 4, 1, 4, 0, 4}, {"f4", 0, 0, 2, 0, 0},   {"missing", 4, 0, 4, 0, 4},
        {"e", 5, 1, 7, 1, 2},  {"long", 5, 0, 5, 1, 8}, {"bad", 5, 0, 5, 0, 5},
    };
    FOR_EACH_CASE(c, named) {
        uint32_t flags = 99, value = 99;
        EXPECT_EQ(c.flagsResult,
                  ProfileGetFlags(&doc.p, "T", c.key, kFlags, &flags, c.defaultValue));
        EXPECT_EQ(c.flags, flags);
        EXPECT_EQ(c.enumResult, ProfileGetEnum(&doc.p, "T", c.key, kFlags, &value, c.defaultValue));
        EXPECT_EQ(c.enumValue, value);
    }
    // A later line counts, a key prefix may be given, values keep their case.
    EXPECT_EQ(1, ProfileHasValue(&doc.p, "T", "k", "2"));
    EXPECT_EQ(1, ProfileHasValue(&doc.p, "T", "K", "3", 1));
    EXPECT_EQ(0, ProfileHasValue(&doc.p, "T", "k", "3") +
                     ProfileHasValue(&doc.p, "T", "case", "on") +
                     ProfileHasValue(&doc.p, "X", "k", "1"));
    std::string text = "stale";
    EXPECT_EQ(1, ProfileGetStdString(&doc.p, "T", "f1", text));
    EXPECT_EQ("a; b|A", text);
}

TEST(ProfileNames, FlagsToTextAndNameOfValue) {
    const ProfileNameEntry table[] = {{0, "None"}, {1, "A"}, {2, "B"}, {3, "AB"}, {0, ""}};
    char out[32], small[5];
    EXPECT_STREQ("A, B, AB", FlagsToText(3, table, out, sizeof out));
    EXPECT_STREQ("B", FlagsToText(6, table, out, sizeof out));
    EXPECT_STREQ("None", FlagsToText(4, table, out, sizeof out));
    EXPECT_STREQ("A, B", FlagsToText(3, table, small, sizeof small));
    EXPECT_STREQ("", FlagsToText(0, kFlags, out, sizeof out));
    EXPECT_STREQ("B", NameOfValue(2, table));
    EXPECT_STREQ("None", NameOfValue(0, table));
    EXPECT_STREQ("", NameOfValue(7, table));
    EXPECT_STREQ("", NameOfValue(1, nullptr));
}

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
        {kThree, 'E', "A", "x", "", 0, kThree}, // a key the section lacks
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
    EXPECT_EQ("1:v", Got(ProfileReadFileString(file.c_str(), "A", "k", out, sizeof out, "d"), out));
    EXPECT_EQ("0:d", Got(ProfileReadFileString(file.c_str(), "A", "j", out, sizeof out, "d"), out));
    EXPECT_EQ("0:d2",
              Got(ProfileReadFileString(missing.c_str(), "A", "k", out, sizeof out, "d2"), out));
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
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, nullptr, XorTransform));
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
    EXPECT_EQ("1:crypt:5c6a6c7d6a7b2f2c3e",
              Got(ProfileGetString(&doc.p, "S", "p", stored, sizeof stored), stored));
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
    EXPECT_EQ("1:crypt:", Got(ProfileGetString(&doc.p, "S", "e", stored, sizeof stored), stored));
    EXPECT_EQ("1:", Got(ProfileGetProtected(&doc.p, "S", "e", out, sizeof out, &was, &key), out));
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
    EXPECT_EQ("1:ab",
              Got(ProfileGetProtected(&doc.p, "S", "big", out, sizeof out, &was, &key), out));
    g_cipherLength = 253;
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "big", "cd", &key));
    g_cipherLength = 0;
}

} // namespace

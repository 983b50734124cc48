#include "profile/Profile.h"
#include "TestHelpers.h"

#include <cstring>
#include <utility>

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
};

std::string Got(int result, const char* text) {
    return std::to_string(result) + ":" + text;
}

const ProfileNameEntry kFlags[] = {{1, "A"}, {2, "B"}, {8, "Long Name"}, {0, ""}};
const ProfileNameEntry kXyz[] = {{1, "X"}, {2, "Y"}, {4, "Z"}, {0, ""}};

// One call, as "result:what it gave": a getter's (lower-case operation) output, with `value`
// as the default or the value looked for, or the whole document after an edit.
std::string Call(Profile* p, char op, const char* section, const char* key, const char* value) {
    char out[600] = "untouched";
    std::string text = "stale";
    int32_t number = 0;
    uint32_t flag = 99;
    const uint32_t given = value != nullptr ? static_cast<uint32_t>(std::atoll(value)) : 0;
    const size_t offset = std::strtoul(key, nullptr, 10);
    const int result = op == 'g'   ? ProfileGetString(p, section, key, out, sizeof out, value)
                       : op == 's' ? ProfileGetStdString(p, section, key, text)
                       : op == 'i' ? ProfileGetInt(p, section, key, &number, 42)
                       : op == 'b' ? ProfileGetBool(p, section, key, &flag, given)
                       : op == 'f' ? ProfileGetFlags(p, section, key, kFlags, &flag, given)
                       : op == 'e' ? ProfileGetEnum(p, section, key, kFlags, &flag, given)
                       : op == 'h' ? ProfileHasValue(p, section, key, value)
                       : op == 'p' ? ProfileHasValue(p, section, key, value, 1) // key prefix
                       : op == 'v' ? ProfileSetString(p, section, key, value) + // read back
                                         ProfileGetString(p, section, key, out, sizeof out, "")
                       : op == 'S' ? ProfileSetString(p, section, key, value)
                       : op == 'A' ? ProfileAddEntry(p, section, key, value)
                       : op == 'D' ? ProfileDeleteSection(p, section)
                       : op == 'E' ? ProfileDeleteEntry(p, section, key)
                       : op == 'I' ? ProfileSetInt(p, section, key, std::atoi(value))
                       : op == 'B' ? ProfileSetBool(p, section, key, given)
                       : op == 'F' ? ProfileSetFlags(p, section, key, kXyz, given)
                       : op == 'R' ? ProfileRemoveText(p, offset, given) // at the key's offset
                                   : ProfileInsertText(p, value, offset);
    EXPECT_TRUE(op != 'g' || result == 0 || ProfileSectionExists(p, section));
    if (op >= 'a')
        return Got(result, op == 'g' || op == 'v'   ? out
                           : op == 's'              ? text.c_str()
                           : op == 'i'              ? std::to_string(number).c_str()
                           : op == 'h' || op == 'p' ? ""
                                                    : std::to_string(flag).c_str());
    EXPECT_EQ(strlen(p->text), p->text_length);
    EXPECT_EQ(result == 1 ? 1u : 0u, p->modified);
    return Got(result, p->text);
}

struct Case {
    std::string doc;
    char op;
    const char *section, *key, *value;
    std::string expected;
    uint32_t options = 0;
};

template <size_t N>
void RunCases(const Case (&cases)[N]) {
    FOR_EACH_CASE(c, cases) {
        Doc doc(c.doc, c.options);
        EXPECT_EQ(c.expected, Call(&doc.p, c.op, c.section, c.key, c.value));
    }
}

TEST(ProfileLookup, DocumentShapes) {
    const std::string lang = "[Language 1]\nVersion = 12\nBuild=3 # comment\n",
                      abc = "[A]\nk=abc\n";
    const std::string long510(510, 'x'), long511(511, 'x');
    const Case cases[] = {
        {lang, 'g', "LANGUAGE 1", "BUILD", "", "1:3"},
        {"[ Main ]\nk=1\n", 'g', " Main ", "k", "", "1:1"},
        {"[ Main ]\nk=1\n", 'g', "Main", "k", "", "0:"},
        {"\t[A]\nk=1\n", 'g', "A", "k", "", "0:"},
        {"   [A] trailing\nk=1\n", 'g', "A", "k", "", "1:1"},
        {"[A]\nk=1\n  [B]\nj=2\n", 'g', "A", "j", "", "0:"},
        {"[A]\nk=1\r[B]\rj=2\r", 'g', "B", "j", "", "1:2"},
        {"] [B]\nj=2\n", 'g', "B", "j", "", "1:2"},
        {"[A]\nk=1\n[A]\nk=2\nj=3\n", 'g', "A", "j", "", "0:"}, // the first section wins
        {"[A\n]\nk=1\n", 'g', "A\n", "k", "", "0:"},            // a header closes on its own line
        {"[A]\nk=1\nk=2\n", 'g', "A", "k", "", "1:1"},
        {"[A]\npath=C:\\dir##1\n", 'g', "A", "path", "", "1:C:\\dir#1"},
        {"[A]\n;k=1\n", 'g', "A", ";k", "", "1:1"},
        {"[A]\nmy key = 1\n", 'g', "A", "mykey", "", "1:1"},
        {"[A]\n\tk\tey\t=\tv\ta l\t\n", 'g', "A", "key", "", "1:va l"},
        {"[A]\nk= \"a b \" tail\n", 'g', "A", "k", "", "1:a b ", PROFILE_OPT_QUOTES},
        {"[A]\nk=\"abc\n", 'g', "A", "k", "", "1:", PROFILE_OPT_QUOTES},
        {"[A]\nk=\"a#b\" # c\n", 'g', "A", "k", "", "1:a#b", PROFILE_OPT_QUOTES},
        {"[A]\nk=a#b ## c\n", 'g', "A", "k", "", "1:a#b ## c", PROFILE_OPT_HASH_LITERAL},
        {"[A]\nk=v  ", 'g', "A", "k", "", "1:v  "}, // no line end: trailing blanks stay
        {"[A]\nk=" + long511 + "\nk=second\n", 'g', "A", "k", "", "1:second"},
        {"[A]\nk=" + long510 + "\nk=second\n", 'g', "A", "k", "", "1:" + long510},
        // Nothing of a skipped line (here: an opened quote) carries over to the next.
        {"[A]\nk=\"" + long511 + "\nk=q\n", 'g', "A", "k", "", "1:q", PROFILE_OPT_QUOTES},
        // Defaults: a missing key or section gives it; a null one refuses the call.
        {abc, 'g', nullptr, "k", "d2", "0:d2"},
        {abc, 'g', "A", "k", nullptr, "0:untouched"},
    };
    RunCases(cases);
}

// Ranges inside the text are the fuzz harness's; these lie partly or wholly outside it.
TEST(ProfileLookup, OddRangesBuffersAndOptions) {
    Doc doc("[A]\nk=v\nj=w");
    const char *start = doc.p.text, *end = doc.p.text + doc.p.text_length, *valueStart = nullptr;
    char out[16];
    const char elsewhere[4] = "k=x"; // an end outside is cut back to the terminator
    EXPECT_EQ("1:w", Got(ProfileFindEntry(&doc.p, "j", 0, start, elsewhere, &valueStart, out,
                                          sizeof out, 0),
                         out));
    EXPECT_EQ(doc.p.text + 10, valueStart);
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, end, start, nullptr, out, sizeof out, 0) +
                     ProfileFindEntry(&doc.p, "k", 0, elsewhere, end, nullptr, out, sizeof out, 0));
    EXPECT_EQ("1:w", Got(ProfileFindEntry(&doc.p, "jx", 1, start, end, nullptr, out, sizeof out, 0),
                         out)); // prefix comparison
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, nullptr, 5));
    EXPECT_STREQ("", ProfileGetText(&doc.p));
    EXPECT_EQ("0 1", std::to_string(ProfileSetOptions(&doc.p, 4)) + " " +
                         std::to_string(ProfileSetOptions(&doc.p, 3)));
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
    Doc quoted("[Q]\nk = \"a \" b\nj=\"open\n", PROFILE_OPT_QUOTES);
    EXPECT_EQ("Q: k=a ; j=;", Enumerate(&quoted.p, "Q"));
    // A line of 256 or more collected bytes ends the enumeration, and so does the end of
    // the text before a last line has its line end.
    Doc longLine("[A]\na=1\nb=" + std::string(256, 'x') + "\nc=3\n"), lastLine("[A]\na=1\nb=2");
    Doc longest("[A]\nb=" + std::string(255, 'x') + "\n"); // a value of 255 bytes
    EXPECT_EQ("A: b=" + std::string(255, 'x') + ";", Enumerate(&longest.p, "A"));
    EXPECT_EQ("A: a=1;|A: a=1;", Enumerate(&longLine.p, "A") + "|" + Enumerate(&lastLine.p, "A"));
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

// Bools keep their default (7) on other words; flags OR into the default and fail on an
// unknown name; an enum takes one name; HasValue sees later lines, a key prefix and case.
TEST(ProfileTyped, GettersOfEveryKind) {
    const std::string t = "[T]\ny=yes\non=ON\nplus=+1\noff=off\nzero=0\nmaybe=maybe\nf1=a; b|A\n"
                          "f2=a,x\nf3=\nf4=long name,b\nk=1\nk=2\nkx=3\ncase=On\ne=b\n"
                          "long=LONG NAME\nc=abc\nq=\" -3\"\n";
    const Case cases[] = {
        {t, 'b', "T", "y", "7", "1:1"},       {t, 'b', "T", "on", "7", "1:1"},
        {t, 'b', "T", "plus", "7", "1:1"},    {t, 'b', "T", "off", "7", "1:0"},
        {t, 'b', "T", "zero", "7", "1:0"},    {t, 'b', "T", "maybe", "7", "1:7"},
        {t, 'b', "T", "missing", "7", "0:7"}, {t, 'f', "T", "f1", "0", "1:3"},
        {t, 'f', "T", "f2", "0", "0:1"},      {t, 'f', "T", "f1", "4", "1:7"},
        {t, 'f', "T", "f3", "4", "1:4"},      {t, 'f', "T", "f4", "0", "0:2"},
        {t, 'f', "T", "missing", "4", "0:4"}, {t, 'e', "T", "f1", "4", "0:4"},
        {t, 's', "T", "f1", "", "1:a; b|A"},  {t, 'e', "T", "e", "5", "1:2"},
        {t, 'e', "T", "long", "5", "1:8"},    {t, 'i', "T", "c", "", "1:0"},
        {t, 'i', "T", "missing", "", "0:42"}, {t, 'i', "T", "q", "", "1:-3", PROFILE_OPT_QUOTES},
        {t, 'h', "T", "k", "2", "1:"},        {t, 'p', "T", "K", "3", "1:"},
        {t, 'h', "T", "k", "3", "0:"},        {t, 'h', "T", "case", "on", "0:"},
    };
    RunCases(cases);
}

TEST(ProfileTyped, IntegerConversionSaturates) {
    std::string numbers;
    for (const char* text :
         {"12abc", " \t-7", "\r\n\v\f9", "abc", "+5", "0x10", "2147483647", "2147483648",
          "18446744073709551621", "-18446744073709551621", "-2147483648", "-2147483649"})
        numbers += std::to_string(ProfileTextToInt(text)) + " ";
    EXPECT_EQ("12 -7 9 0 5 0 2147483647 2147483647 2147483647 -2147483648 -2147483648 "
              "-2147483648 ",
              numbers);
}

TEST(ProfileTyped, NameTables) {
    const ProfileNameEntry table[] = {{0, "None"}, {1, "A"}, {2, "B"}, {3, "AB"}, {0, ""}};
    char out[32], small[5];
    EXPECT_STREQ("A, B, AB", FlagsToText(3, table, out, sizeof out));
    EXPECT_STREQ("B", FlagsToText(6, table, out, sizeof out));
    EXPECT_STREQ("None", FlagsToText(4, table, out, sizeof out));
    EXPECT_STREQ("A, B", FlagsToText(3, table, small, sizeof small));
    EXPECT_STREQ("", FlagsToText(0, kFlags, out, sizeof out));
    EXPECT_EQ("B None  ", std::string(NameOfValue(2, table)) + " " + NameOfValue(0, table) + " " +
                              NameOfValue(7, table) + " " + NameOfValue(1, nullptr));
}

TEST(ProfileEdit, SetAddAndDeletePositions) {
    const std::string three = "[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\n", x600(600, 'x'),
                      hashes(300, '#');
    const Case cases[] = {
        {three, 'S', "b", "B", "x", "1:[A]\na=1\n[B]\nb=x # keep\n[C]\nc=3\n"},
        {three, 'S', "B", "new", "v", "1:[A]\na=1\n[B]\nb=2 # keep\nnew=v\n[C]\nc=3\n"},
        {three, 'S', "C", "new", "v", "1:[A]\na=1\n[B]\nb=2 # keep\n[C]\nc=3\nnew=v\n"},
        {three, 'S', "D", "k", "v", "1:" + three + "\n\n[D]\nk=v\n"},
        {three, 'S', "B", "b", "a#b\r\nc\td", "1:[A]\na=1\n[B]\nb=a##b  c d # keep\n[C]\nc=3\n"},
        {three, 'A', "B", "b", "9 # x", "1:[A]\na=1\n[B]\nb=2 # keep\n\nb=9 # x\n[C]\nc=3\n"},
        {three, 'A', "D", "k", "v", "1:" + three + "\n\n[D]\nk=v\n"},
        {three, 'D', "B", "", "", "1:[A]\na=1\n\n[C]\nc=3\n"},
        {three, 'D', "C", "", "", "1:[A]\na=1\n[B]\nb=2 # keep\n"},
        {three, 'E', "B", "B", "", "1:[A]\na=1\n[B]\n[C]\nc=3\n"},
        {three, 'E', "A", "x", "", "0:" + three}, // a key the section lacks
        {"[A]\nk = 1\nk=2\r\n\r\nj=3\n", 'E', "A", "k", "", "1:[A]\nk = 1\nj=3\n"},
        {"[A]\nk=1", 'E', "A", "k", "", "0:[A]\nk=1"},
        // Only the bytes of the old value go: its quotes, tabs inside it and doubled '#'.
        {"[A]\nk= \"old\" # c\n", 'S', "A", "k", "new", "1:[A]\nk= \"new\" # c\n",
         PROFILE_OPT_QUOTES},
        {"[A]\nk=a\tb ##c\t# c\n", 'S', "A", "k", "x", "1:[A]\nk=x\t# c\n"},
        {"[A]\nk=", 'S', "A", "k", "v", "1:[A]\nk=v"},
        // An empty value with a comment behind it: the new value goes before the comment.
        {"[A]\nk= # c\n", 'S', "A", "k", "v", "1:[A]\nk= v # c\n"},
        // A skipped over-long line leaves no value start behind for the next one.
        {"[A]\nk=" + x600 + "\nk=old\n", 'S', "A", "k", "v", "1:[A]\nk=" + x600 + "\nk=v\n"},
        // A new entry behind an unterminated last line gets a line of its own.
        {"[A]\nk=1", 'S', "A", "j", "2", "1:[A]\nk=1\nj=2\n"},
        {"[A]\n", 'I', "A", "i", "-2147483648", "1:[A]\ni=-2147483648\n"},
        {"[A]\n", 'B', "A", "on", "5", "1:[A]\non=On\n"},
        {"[A]\n", 'F', "A", "f", "5", "1:[A]\nf=X,Z\n"},
        // Values read back as set; an escaped one that would overflow stops short of a lone '#'.
        {three, 'v', "B", "b", "C:\\dir#1 ## x", "2:C:\\dir#1 ## x"},
        {three, 'v', "B", "b", "  lead", "2:lead"},
        {three, 'v', "B", "b", "a=b", "2:a=b"},
        {three, 'v', "B", "b", "#", "2:#"},
        {three, 'v', "A", "a", hashes.c_str(), "2:" + hashes.substr(45)},
        // The two edit primitives at odd offsets.
        {"[A]\nk=1\n", 'R', "", "7", "2", "0:[A]\nk=1\n"}, // one byte short
        {"[A]\nk=1\n", 'R', "", "1", "2", "1:[\nk=1\n"},
        {"[A]\n", 'T', "", "99", "x", "1:[A]\nx"},
    };
    RunCases(cases);
}

std::string OnDisk(std::string text) {
#ifdef _WIN32
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
#endif
    return text;
}

std::string Xor(std::string bytes) {
    for (char& c : bytes)
        c = static_cast<char>(c ^ 0x5A);
    return bytes;
}

// Test transform: XOR with 0x5A, and the result that g_transformResult says.
int g_transformResult = 1;
int XorTransform(char* buffer, uint32_t, uint32_t* length) {
    memcpy(buffer, Xor(std::string(buffer, *length)).data(), *length);
    return g_transformResult;
}

// A file is loaded, plainly (text mode) or through the transform (bytes), has A.k set and
// is closed or saved; without a value it is overwritten after the load, to be left alone. A
// file that cannot be written fails the close, which releases the document all the same.
TEST(ProfileFile, LoadEditAndClose) {
    const std::string x1200(1200, 'x'), crypted = Xor("[A]\r\nk=v\r\n");
    const std::string eol = OnDisk("\n") == "\n" ? "\r\n" : "\n"; // as loaded in text mode
    struct {
        std::string before;
        bool transformed;
        int loadAnswer, saveAnswer; // the transform's
        const char* value;
        std::string loaded, closed; // "result:text" and "result:file"
    } const cases[] = {
        {"[A]\r\nk=v\r\nlong=" + x1200 + "\r\nlast=1", false, 1, 1, nullptr,
         "1:[A]" + eol + "k=v" + eol + "long=" + x1200 + eol + "last=1\n", "1:untouched"},
        {"[A]\nk=v\n", false, 1, 1, "w", "1:[A]\nk=v\n", "1:" + OnDisk("[A]\nk=w\n")},
        {"", false, 1, 1, nullptr, "1:", "1:untouched"}, // no line end invented
        {"(no file)", false, 1, 1, "7", "0:", "1:" + OnDisk("\n\n[A]\nk=7\n")},
        {crypted, true, 1, 1, "w", "1:[A]\r\nk=v\r\n", "1:" + Xor("[A]\r\nk=w\r\n")},
        {crypted, true, 1, 0, "z", "1:[A]\r\nk=v\r\n", "0:" + crypted},
        {crypted, true, 1, 1, nullptr, "1:[A]\r\nk=v\r\n", "1:untouched"},
        // Only exactly 1 counts on load; a failed load keeps no file name.
        {crypted, true, 2, 1, "clear", "0:", "1:" + crypted},
        {"(no file)", true, 1, 1, nullptr, "0:", "1:untouched"},
        {"(no folder)", false, 1, 1, "v", "0:", "0:(no file)"},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile file("kiv_profile");
        const std::string path = c.before == "(no folder)" ? file.path + ".d/x.ini" : file.path;
        if (c.before[0] != '(')
            file.Write(c.before);
        Profile p;
        ProfileInit(&p);
        g_transformResult = c.loadAnswer;
        const int loaded = c.transformed
                               ? ProfileLoadFileTransformed(&p, path.c_str(), XorTransform)
                               : ProfileLoadFile(&p, path.c_str());
        EXPECT_EQ(c.loaded, Got(loaded, p.text));
        EXPECT_EQ(strlen(p.text), p.text_length);
        if (c.value != nullptr)
            ProfileSetString(&p, "A", "k", c.value);
        else
            file.Write("untouched");
        g_transformResult = c.saveAnswer;
        const int closed = c.transformed && loaded == 1 ? ProfileSaveTransformed(&p, XorTransform)
                                                        : ProfileClose(&p);
        EXPECT_EQ(nullptr, p.text);
        EXPECT_EQ(c.closed, Got(closed, file.Read().c_str()));
    }
    g_transformResult = 1;
}

TEST(ProfileFile, RefusedAndUnwritableFilesBuffersAndOneShots) {
    TempFile file("kiv_profile"), missing("kiv_profile");
    Profile p;
    ProfileInit(&p);
    // Buffer documents are never written, and reloading a buffer closes the file first.
    file.Write("[A]\nk=1\n");
    ASSERT_EQ(1, ProfileLoadFile(&p, file.c_str()));
    ProfileSetString(&p, "A", "k", "2");
    ASSERT_EQ(1, ProfileLoadBuffer(&p, "[A]\nk=3\n", -1));
    ProfileSetString(&p, "A", "k", "4");
    EXPECT_EQ(1, ProfileClose(&p));
    EXPECT_EQ(OnDisk("[A]\nk=2\n"), file.Read());
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, file.c_str(), nullptr) +
                     ProfileLoadFileTransformed(&p, nullptr, XorTransform) +
                     ProfileSaveTransformed(&p, nullptr));
    ProfileClose(&p);
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
#ifdef __linux__
    // Files that never end: a device measuring 0 gives what its size promised, a FIFO
    // without a writer is refused instead of waited for.
    EXPECT_EQ(1, ProfileLoadFile(&p, "/dev/zero"));
    EXPECT_STREQ("", p.text);
    ProfileClose(&p);
    const std::string fifo = file.path + ".fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(0, ProfileLoadFile(&p, fifo.c_str()));
    EXPECT_EQ(0, ProfileLoadFileTransformed(&p, fifo.c_str(), XorTransform));
    ProfileSetString(&p, "A", "k", "v");
    EXPECT_EQ(0, ProfileClose(&p));
    remove(fifo.c_str());
#endif
}

// XOR with the context's byte; counts calls, fails on g_cipherResult 0, and a g_cipherLength
// not 0 forces the protected length.
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
    // "result:clear text|whether it was protected", from 7 on.
    auto read = [&](const char* name) {
        char out[64] = "";
        uint32_t was = 7;
        const int result = ProfileGetProtected(&doc.p, "S", name, out, sizeof out, &was, &key);
        return Got(result, result ? out : "") + "|" + std::to_string(was);
    };
    auto stored = [&](const char* name) { return Call(&doc.p, 'g', "S", name, ""); };
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "p", "x", &key)) << "no callbacks";
    EXPECT_EQ("0:|7", read("clear"));
    ProfileSetDecryptCallback(&doc.p, XorDecrypt);
    ProfileSetEncryptCallback(&doc.p, XorEncrypt);
    ASSERT_EQ(1, ProfileSetProtected(&doc.p, "S", "p", "Secret #1", &key));
    EXPECT_EQ("1:crypt:5c6a6c7d6a7b2f2c3e", stored("p"));
    const std::pair<const char*, const char*> reads[] = {
        {"p", "1:Secret #1|1"}, {"clear", "1:plain text|0"},
        {"upper", "1:45|1"},    {"odd", "1:>\x0C|1"}, // a last odd digit is a byte of its own
        {"bad", "0:|7"},        {"missing", "0:|0"},
    };
    FOR_EACH_CASE(c, reads) {
        EXPECT_EQ(c.second, read(c.first));
    }
    // Empty clear text: the bare prefix, and no callback either way.
    g_cipherCalls = 0;
    ASSERT_EQ(1, ProfileSetProtected(&doc.p, "S", "e", "", &key));
    EXPECT_EQ("1:crypt: 1:|1 0",
              stored("e") + " " + read("e") + " " + std::to_string(g_cipherCalls));
    // Failing callbacks fail the calls and store nothing.
    g_cipherResult = 0;
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "f", "x", &key));
    EXPECT_EQ("0: 0:", stored("f") + " " + read("p").substr(0, 2));
    g_cipherResult = 1;
    // 252 protected bytes still read back; 253 would not, and are refused.
    g_cipherLength = 252;
    EXPECT_EQ(1, ProfileSetProtected(&doc.p, "S", "big", "ab", &key));
    EXPECT_EQ("1:ab|1", read("big"));
    g_cipherLength = 253;
    EXPECT_EQ(0, ProfileSetProtected(&doc.p, "S", "big", "cd", &key));
    g_cipherLength = 0;
}

} // namespace

// Reading profile documents: the lookups, enumeration, typed getters and name tables.
#include "profile/Profile.h"
#include "TestHelpers.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
};

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
        {lang, 0, "Language", "Version", 0, ""},
        {"[ Main ]\nk=1\n", 0, " Main ", "k", 1, "1"},
        {"[ Main ]\nk=1\n", 0, "Main", "k", 0, ""},
        {"\t[A]\nk=1\n", 0, "A", "k", 0, ""},
        {"   [A] trailing\nk=1\n", 0, "A", "k", 1, "1"},
        {"[A]\nk=1\n  [B]\nj=2\n", 0, "A", "j", 0, ""},
        {"[A]\nk=1\n[A]\nk=2\nj=3\n", 0, "A", "j", 0, ""}, // the first section wins
        {"[A\n]\nk=1\n", 0, "A\n", "k", 0, ""},            // a header closes on its own line
        {"[A]\nk=1\nk=2\n", 0, "A", "k", 1, "1"},
        {"[A]\npath=C:\\dir##1\n", 0, "A", "path", 1, "C:\\dir#1"},
        {"[A]\n#k=1\nk=2\n", 0, "A", "k", 1, "2"},
        {"[A]\n;k=1\n", 0, "A", ";k", 1, "1"},
        {"[A]\nk=a=b\n", 0, "A", "k", 1, "a=b"},
        {"[A]\nk=\nj=1\n", 0, "A", "k", 1, ""},
        {"[A]\nmy key = 1\n", 0, "A", "mykey", 1, "1"},
        {"[A]\n\"q\"=1\n", 0, "A", "q", 1, "1"},
        {"[A]\n\tk\tey\t=\tv\ta l\t\n", 0, "A", "key", 1, "va l"},
        {"[A]\nk= \"a b \" tail\n", PROFILE_OPT_QUOTES, "A", "k", 1, "a b "},
        {"[A]\nk=\"abc\n", PROFILE_OPT_QUOTES, "A", "k", 1, ""},
        {"[A]\nk=\"abc\n", 0, "A", "k", 1, "\"abc"},
        {"[A]\nk=\"a#b\" # c\n", PROFILE_OPT_QUOTES, "A", "k", 1, "a#b"},
        {"[A]\nk=a\"b\"\n", PROFILE_OPT_QUOTES, "A", "k", 1, "a\"b\""},
        {"[A]\nk=a#b ## c\n", PROFILE_OPT_HASH_LITERAL, "A", "k", 1, "a#b ## c"},
        {"[A]\r\nk=v \r\n[B]\r\nk=w\r\n", 0, "b", "K", 1, "w"},
        {"[A]\rk=v \r", 0, "A", "k", 1, "v"},
        {"[A]\nk=v  ", 0, "A", "k", 1, "v  "}, // no line end: trailing blanks stay
        {"[A]\nk=" + long511 + "\nk=second\n", 0, "A", "k", 1, "second"},
        {"[A]\n" + long511 + "=1\nk=2\n", 0, "A", "k", 1, "2"},
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

TEST(ProfileLookup, BufferLoadingAndOutput) {
    const char data[] = "[A]\nk=abcdef\n[B]\nk=w\n";
    Doc doc("");
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, data, -1));
    EXPECT_EQ(strlen(data), doc.p.text_length);
    EXPECT_EQ(1, ProfileSectionExists(&doc.p, "B"));
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, data, 13)); // "[A]\nk=abcdef\n" only
    EXPECT_STREQ("[A]\nk=abcdef\n", ProfileGetText(&doc.p));
    EXPECT_EQ(0, ProfileSectionExists(&doc.p, "B"));
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, "[A]\nk=v\n\0[B]\nk=w\n", 17)); // a NUL ends it
    EXPECT_EQ(8u, doc.p.text_length);
    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, nullptr, 5));
    EXPECT_STREQ("", ProfileGetText(&doc.p));
    EXPECT_EQ(0, ProfileSectionExists(&doc.p, ""));

    ASSERT_EQ(1, ProfileLoadBuffer(&doc.p, data, -1));
    char small[4], out[8];
    EXPECT_EQ(1, ProfileGetString(&doc.p, "A", "k", small, sizeof small));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(0, ProfileGetString(&doc.p, "A", "missing", out, sizeof out, "dflt"));
    EXPECT_STREQ("dflt", out);
    EXPECT_EQ(0, ProfileGetString(&doc.p, nullptr, "k", out, sizeof out, "d2"));
    EXPECT_STREQ("d2", out);
    EXPECT_EQ(0, ProfileSetOptions(&doc.p, 4));
    EXPECT_EQ(1, ProfileSetOptions(&doc.p, 3));
}

TEST(ProfileLookup, OddRangesStayInsideTheText) {
    Doc doc("[A]\nk=v\nj=w");
    const char *start = nullptr, *end = nullptr, *valueStart = nullptr;
    ASSERT_EQ(1, ProfileFindSection(&doc.p, "A", &start, &end));
    EXPECT_TRUE(start == doc.p.text && end == doc.p.text + doc.p.text_length);
    char out[16];
    // An end outside the text is cut back to its terminator; a start outside finds nothing.
    const char elsewhere[4] = "k=x";
    ASSERT_EQ(1,
              ProfileFindEntry(&doc.p, "j", 0, start, elsewhere, &valueStart, out, sizeof out, 0));
    EXPECT_STREQ("w", out);
    EXPECT_EQ(doc.p.text + 10, valueStart);
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, end, start, nullptr, out, sizeof out, 0));
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, elsewhere, end, nullptr, out, sizeof out, 0));
    EXPECT_EQ(0, ProfileFindEntry(&doc.p, "k", 0, end + 1, end + 1, nullptr, out, sizeof out, 0));
    ASSERT_EQ(1, ProfileFindEntry(&doc.p, "jx", 1, start, end, nullptr, out, sizeof out, 0));
    EXPECT_STREQ("w", out); // prefix comparison
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
    // A line of 256 or more collected bytes ends the enumeration; an unterminated last
    // line still counts.
    Doc longLine("[A]\na=1\nb=" + std::string(256, 'x') + "\nc=3\n"), lastLine("[A]\na=1\nb=2");
    Doc longest("[A]\nb=" + std::string(255, 'x') + "\n"); // a value of 255 bytes
    EXPECT_EQ("A: a=1;", Enumerate(&longLine.p, "A"));
    EXPECT_EQ("A: b=" + std::string(255, 'x') + ";", Enumerate(&longest.p, "A"));
    EXPECT_EQ("A: a=1; b=2;", Enumerate(&lastLine.p, "A"));
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
    const std::pair<const char*, int32_t> cases[] = {
        {"12abc", 12},
        {" \t-7", -7},
        {"abc", 0},
        {"+5", 5},
        {"0x10", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"18446744073709551621", 2147483647},
        {"-18446744073709551621", -2147483647 - 1},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", -2147483647 - 1},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.second, ProfileTextToInt(c.first));
    }
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
    EXPECT_EQ(0, ProfileGetStdString(&doc.p, "T", "missing", text));
    EXPECT_EQ("", text);
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

} // namespace

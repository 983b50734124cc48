// kiv::RegistryKey and kiv::RegistryValue natively on the stand-in of compat/, under Wine on
// the real registry: any difference between the two runs is a fault of the stand-in.
#include <algorithm>
#include <functional>
#include <iomanip>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

#include "TestHelpers.h"
#include "os/win32/Registry.h"
#include "src/os/win32/RegistryCalls.h"

using kiv::RegistryKey;
using kiv::RegistryValue;
using V = kiv::RegistryValue;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;
using namespace std::string_literals;

namespace {

RegistryValue Make(RegistryValue::Type type, std::uint64_t number = 0, Strings strings = {}) {
    RegistryValue value;
    value.type = type, value.number = number, value.strings = std::move(strings);
    return value;
}

std::atomic<int> opens, closes; // keys the library opened and closed

// A key of the test's own below HKEY_CURRENT_USER\Software, made new for each test and
// deleted with its tree: runs never meet nor leave residue.
class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        static unsigned counter = 0;
        path = "Software\\kivupdate-test-" + std::to_string(std::random_device()()) + "-" +
               std::to_string(++counter);
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &root, &disposition),
                  ERROR_SUCCESS);
        ASSERT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
        key = std::make_unique<RegistryKey>(root, "", RegistryKey::READ | RegistryKey::WRITE);
    }
    void TearDown() override {
        key.reset();
        kiv::registryCalls = kiv::kSystemRegistryCalls;
        RegCloseKey(root);
        EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    }
    LSTATUS SetRaw(const char* name, DWORD type, const std::string& bytes) {
        return RegSetKeyValueA(root, nullptr, name, type, bytes.data(), DWORD(bytes.size()));
    }

    HKEY root = nullptr;
    std::string path; // below HKEY_CURRENT_USER
    std::unique_ptr<RegistryKey> key;
};

using RegistryProperty = RegistryKeyTest;

std::string Entry(const std::string& name, const RegistryValue& value) {
    std::ostringstream text;
    text << name << "=" << value;
    return text.str();
}

// What a call gave, or what it raised: the status, the function and the last line of the
// report without the system's text for the status, which must end it.
std::string Outcome(const std::function<std::string()>& call) {
    try {
        return call();
    } catch (const kiv::RegistryOsError& e) {
        EXPECT_STREQ(e.file, "src/os/win32/registry");
        std::string report = e.what(), function = e.function;
        const std::string os = ": " + kiv::OsError(e.osError.code).text();
        EXPECT_EQ(report.substr(report.size() - std::min(report.size(), os.size())), os);
        report.resize(report.size() - std::min(report.size(), os.size()));
        EXPECT_EQ(function.rfind("kiv::RegistryKey::", 0), 0u) << function;
        return std::to_string(e.osError.code) + " " + function.substr(18) + ": " +
               report.substr(report.rfind('\n') + 1);
    } catch (const kiv::RegistryTypeError& e) {
        EXPECT_STREQ(e.file, "include/os/win32/Registry");
        return "type";
    } catch (const kiv::UsageError& e) {
        return e.message;
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
}

// Each call opens and closes keys in pairs ("opens/closes" ends the result); the shortcuts
// close theirs whatever happens.
TEST_F(RegistryKeyTest, CallsGiveTheirResultOrRaiseWithStatusAndTexts) {
    key->createSubkey("parent")->createSubkey("child");
    key->createSubkey("A")->createSubkey("Deeper");
    auto gone = key->createSubkey("doomed");
    key->deleteSubkey("DOOMED");
    key->writeValue("dword", Make(V::TYPE_DWORD, 42));
    key->writeValue("text", Make(V::TYPE_STRING, 0, {"hello"}));
    key->writeValue("expand", Make(V::TYPE_EXPAND_STRING, 0, {"hello"}));
    ASSERT_EQ(SetRaw("short", REG_DWORD, "zz"), ERROR_SUCCESS);
    RegistryKey readOnly(root, "", RegistryKey::READ), writeOnly(root, "", RegistryKey::WRITE);
    RegistryKey viewed(root, "", RegistryKey::READ | RegistryKey::WRITE, RegistryKey::VIEW_32);
    auto failing = [](auto...) -> LSTATUS { return ERROR_MORE_DATA; };
    const auto& p = path;
    const HKEY user = HKEY_CURRENT_USER;
    const struct {
        std::function<std::string()> call;
        std::string result;
    } cases[] = {
        {[&] { return RegistryKey(root, "a\\\\DEEPER\\", RegistryKey::READ), "opened"; },
         "opened 1/1"},
        {[&] { return RegistryKey(root, "\\parent", RegistryKey::READ), ""; },
         "161 RegistryKey: Unable to open \\parent 0/0"},
        {[&] { return key->createSubkey("\\bad"), ""; },
         "161 createSubkey: Unable to create subkey with name '\\bad' 0/0"},
        {[&] { return key->deleteSubkey("PARENT"), ""; },
         "5 deleteSubkey: Unable to delete subkey with name 'PARENT' 0/0"},
        {[&] { return key->deleteSubkeyRecursively("gone"), ""; },
         "2 deleteSubkeyRecursively: Unable to delete subkey with name 'gone' recursively 0/0"},
        {[&] { return readOnly.writeValue("v", Make(V::TYPE_DWORD, 1)), ""; },
         "5 writeValue: Unable to write value 0/0"},
        {[&] { return readOnly.deleteValue("text"), ""; },
         "5 deleteValue: Unable to delete value 'text' 0/0"},
        {[&] { return writeOnly.readValue("text"), ""; },
         "5 readValue: Unable to read value 'text' 0/0"},
        {[&] { return gone->writeValue("v", Make(V::TYPE_DWORD, 1)), ""; },
         "1018 writeValue: Unable to write value 0/0"},
        {[&] { return writeOnly.listSubkeys(), ""; }, "5 listSubkeys: Unable to list subkeys 0/0"},
        {[&] { return writeOnly.listValues(true), ""; }, "5 listValues: Unable to list values 0/0"},
        // Failures the registry cannot be made to give, half-way through a listing.
        {[&] { return kiv::registryCalls.enumKey = failing, key->listSubkeys(), ""; },
         "234 listSubkeys: Unable to list subkeys 0/0"},
        {[&] { return kiv::registryCalls.enumValue = failing, key->listValueNames(), ""; },
         "234 listValues: Unable to list values 0/0"},
        {[&] { return key->openSubkey("x", RegistryKey::CREATE | RegistryKey::READ), ""; },
         "CREATE cannot be specified in RegistryKey::openSubkey 0/0"},
        // A text value without its one entry reads, stores and prints as the empty text.
        {[&] { return Entry(Make(V::TYPE_STRING).toString(), Make(V::TYPE_EXPAND_STRING)); },
         "= [TYPE_EXPAND_STRING] 0/0"},
        {[&] { return std::to_string(RegistryKey::readDWord(user, p, "dword")); }, "42 1/1"},
        {[&] { return RegistryKey::readString(user, p, "text", 2); }, "hello 1/1"},
        {[&] { return std::to_string(RegistryKey::readDWord(user, p, "text")); }, "type 1/1"},
        {[&] { return RegistryKey::readString(user, p, "dword", 1); }, "type 1/1"},
        {[&] { return RegistryKey::readString(user, p, "expand"); }, "type 1/1"},
        {[&] { return RegistryKey::readValue(user, p, "missing").strings.front(); },
         "2 readValue: Unable to read value 'missing' 1/1"},
        // Short DWORD data fails wherever it is converted; a listing without data never is.
        {[&] { return std::to_string(RegistryKey::readDWord(user, p, "short")); },
         "Buffer too small for a DWORD 1/1"},
        {[&] { return key->listValues(true), ""; }, "Buffer too small for a DWORD 0/0"},
        {[&] { return RegistryValue::fromRaw(Bytes(7), REG_QWORD), ""; },
         "Buffer too small for a QWORD 0/0"},
        {[&] { return std::to_string(key->listValueNames().size()); }, "4 0/0"},
        {[&] { return Entry("", key->listValues(false).front().second); }, "=? [TYPE_NONE] 0/0"},
        // Sub-keys opened through a key keep its view; created ones do not.
        {[&] { return std::to_string(viewed.createSubkey("A")->view); }, "0 0/1"},
        {[&] { return std::to_string(viewed.openSubkey("A", RegistryKey::READ)->view); }, "1 1/1"},
        {[&] {
             RegistryKey once(root, "", RegistryKey::READ);
             const LSTATUS first = once.close();
             return std::to_string(first) + std::to_string(once.close());
         },
         "06 1/2"},
    };
    FOR_EACH_CASE(c, cases) {
        opens = closes = 0;
        kiv::registryCalls.openKeyEx = [](auto... arguments) {
            LSTATUS status = kiv::kSystemRegistryCalls.openKeyEx(arguments...);
            return opens += status == ERROR_SUCCESS, status;
        };
        kiv::registryCalls.closeKey = [](HKEY key) {
            return ++closes, kiv::kSystemRegistryCalls.closeKey(key);
        };
        const std::string result = Outcome(c.call);
        EXPECT_EQ(result + " " + std::to_string(opens) + "/" + std::to_string(closes), c.result);
        kiv::registryCalls = kiv::kSystemRegistryCalls;
    }
    // The key stays usable after a failure; CREATE makes every level of a path.
    EXPECT_EQ(key->listSubkeys(), (std::list<std::string>{"A", "parent"}));
    RegistryKey(root, "no\\such key", RegistryKey::CREATE);
    EXPECT_EQ(key->openSubkey("NO", RegistryKey::READ)->listSubkeys(),
              std::list<std::string>{"such key"});
}

std::string asked; // the call a constructor made and the rights it asked for

// The rights the constructor asks for in the open modes 0 to 7 (READ 1, WRITE 2, CREATE 4),
// with the bit of each view; with CREATE it creates the key, else it opens it.
TEST_F(RegistryKeyTest, AccessRightsPerModeAndView) {
    kiv::registryCalls.openKeyEx = [](auto... arguments) {
        std::ostringstream text;
        text << "open " << std::hex << std::get<3>(std::make_tuple(arguments...));
        asked = text.str();
        return kiv::kSystemRegistryCalls.openKeyEx(arguments...);
    };
    kiv::registryCalls.createKeyEx = [](auto... arguments) {
        std::ostringstream text;
        text << "create " << std::hex << std::get<5>(std::make_tuple(arguments...));
        asked = text.str();
        return kiv::kSystemRegistryCalls.createKeyEx(arguments...);
    };
    const REGSAM rights[8] = {0, 0x20019, 0x20006, 0x2001F, 0x3, 0x2001B, 0x20007, 0x2001F};
    const REGSAM viewBits[] = {0, 0x200, 0x100, 0x200}; // both views: the 32-bit one
    FOR_EACH_CASE(viewBit, viewBits) {
        for (std::uint32_t mode = 0; mode < 8; ++mode) {
            asked.clear();
            const RegistryKey opened(root, "", mode, std::uint32_t(caseIndex));
            std::ostringstream expected;
            expected << (mode & RegistryKey::CREATE ? "create " : "open ") << std::hex
                     << (rights[mode] | viewBit) << " view " << std::dec << caseIndex;
            EXPECT_EQ(asked + " view " + std::to_string(opened.view), expected.str())
                << "mode " << mode;
        }
    }
}

// What a value of each type stores, and what stored bytes read back as, printed, through a
// read and a listing alike. Rows without a value store their bytes as they are.
TEST_F(RegistryKeyTest, StoredBytesAndWhatReadsBack) {
    const struct {
        std::optional<RegistryValue> written;
        DWORD type;
        std::string bytes, read;
    } cases[] = {
        {Make(V::TYPE_NONE), REG_NONE, "", "? [TYPE_NONE]"},
        {Make(V::TYPE_DWORD, 0x11FEDCBA98ull), REG_DWORD, "\x98\xBA\xDC\xFE",
         "4275878552 [TYPE_DWORD]"},
        {Make(V::TYPE_QWORD, 0x0123456789ABCDEFull), REG_QWORD, "\xEF\xCD\xAB\x89\x67\x45\x23\x01",
         "81985529216486895 [TYPE_QWORD]"},
        {RegistryValue(Bytes{0xAB, 0, 0x5c, 0x0A}), REG_BINARY, "\xAB\0\x5c\x0A"s,
         "AB 00 5C 0A [TYPE_BINARY]"},
        {Make(V::TYPE_STRING, 0, {"ab", "lost"}), REG_SZ, "ab\0"s, "ab [TYPE_STRING]"},
        {Make(V::TYPE_STRING), REG_SZ, "\0"s, " [TYPE_STRING]"},
        {Make(V::TYPE_EXPAND_STRING, 0, {"%PATH%"}), REG_EXPAND_SZ, "%PATH%\0"s,
         "%PATH% [TYPE_EXPAND_STRING]"},
        {Make(V::TYPE_MULTI_STRING, 0, {"a", "b c"}), REG_MULTI_SZ, "a\0b c\0\0"s,
         "a, b c [TYPE_MULTI_STRING]"},
        {Make(V::TYPE_MULTI_STRING), REG_MULTI_SZ, "\0"s, " [TYPE_MULTI_STRING]"},
        {{}, REG_MULTI_SZ, "a\0\0b\0\0"s, "a, b [TYPE_MULTI_STRING]"},
        {{}, REG_SZ, "a\0b\0"s, "a\0b [TYPE_STRING]"s},
        {{}, REG_SZ, "", " [TYPE_STRING]"},
    };
    FOR_EACH_CASE(c, cases) {
        if (c.written)
            key->writeValue("v", *c.written);
        else
            ASSERT_EQ(SetRaw("v", c.type, c.bytes), ERROR_SUCCESS);
        char stored[16];
        DWORD length = sizeof stored, type = 99;
        ASSERT_EQ(RegGetValueA(root, nullptr, "v", 0x1000FFFF, &type, stored, &length), 0);
        EXPECT_EQ(std::string(stored, length), c.bytes);
        EXPECT_EQ(type, c.type);
        // The caller's base, adjustment, prefix and fill change nothing in the value and
        // survive to apply to what follows.
        std::ostringstream out;
        out << std::oct << std::left << std::showbase << std::setfill('*') << key->readValue("v")
            << std::setw(4) << 8 << "|" << key->listValues(true).front().second;
        EXPECT_EQ(out.str(), c.read + "010*|" + c.read);
    }
    // Binary data asked for as a number must have the number's size.
    const std::pair<const char*, DWORD> asNumbers[] = {
        {"abc", RRF_RT_DWORD}, {"abc", RRF_RT_QWORD}, {"abcd", RRF_RT_DWORD}};
    std::string statuses;
    for (const auto& [bytes, flags] : asNumbers) {
        ASSERT_EQ(SetRaw("v", REG_BINARY, bytes), ERROR_SUCCESS);
        DWORD size = 16;
        statuses +=
            std::to_string(RegGetValueA(root, nullptr, "v", flags, nullptr, nullptr, &size)) + " ";
    }
    EXPECT_EQ(statuses, "1629 1629 0 ");
    // Registry types without a counterpart keep no data.
    const RegistryValue unknown = RegistryValue::fromRaw(Bytes{1, 2, 3, 4}, 5);
    EXPECT_EQ(Entry(std::to_string(unknown.number + unknown.binary.size() + unknown.strings.size()),
                    unknown),
              "0=? [TYPE_UNKNOWN]");
    EXPECT_EQ(Make(V::TYPE_UNKNOWN, 1, {"x"}).toRaw(), std::make_pair(Bytes{}, 0xFFFFFFFFu));
    // Values of every size come back whole through a buffer that doubles.
    static std::vector<DWORD> offered;
    kiv::registryCalls.getValue = [](auto... arguments) {
        offered.push_back(*std::get<6>(std::make_tuple(arguments...)));
        return kiv::kSystemRegistryCalls.getValue(arguments...);
    };
    const struct { size_t size, reads; } sizes[] = {{0, 1}, {1024, 1}, {1025, 2}, {100000, 8}};
    FOR_EACH_CASE(c, sizes) {
        Bytes bytes(c.size);
        for (size_t i = 0; i < c.size; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + c.size);
        key->writeValue("blob", RegistryValue(bytes));
        offered.clear();
        EXPECT_EQ(key->readValue("blob").binary, bytes);
        ASSERT_EQ(offered.size(), c.reads);
        for (size_t i = 0; i < c.reads; ++i)
            EXPECT_EQ(offered[i], DWORD(1024u << i));
    }
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

// Names from a small pool in random case, so that collisions that differ only in case are
// frequent. No character between 'Z' and 'a': Windows sorts by upper case, Wine by lower.
std::string RandomName(std::mt19937& random) {
    static const char* const pool[] = {"a", "b", "ab", "a b", "x-1", "9", "long name here"};
    std::string name = pool[random() % 7];
    for (char& c : name)
        c = random() % 2 == 0 ? Upper({c})[0] : c;
    return name;
}

RegistryValue RandomValue(std::mt19937& random) {
    RegistryValue value;
    value.type = static_cast<RegistryValue::Type>(1 + random() % 5); // DWORD to MULTI_STRING
    value.number = value.type == V::TYPE_DWORD   ? random()
                   : value.type == V::TYPE_QWORD ? std::uint64_t(random()) << 32 | random()
                                                 : 0;
    if (value.type == V::TYPE_STRING)
        value.strings = {std::string(random() % 40, 's')};
    for (unsigned n = value.type == V::TYPE_MULTI_STRING ? random() % 3 : 0; n > 0; --n)
        value.strings.push_back(std::string(1 + random() % 5, 'm'));
    if (value.type == V::TYPE_BINARY)
        value.binary.assign(random() % 2000, static_cast<std::uint8_t>(random()));
    return value;
}

// Random sequences of creates, writes, deletes and listings, checked after every step against
// a map of maps; fixed seeds, so both runs replay the same sequences.
TEST_F(RegistryProperty, RandomSequencesMatchAMapOfMaps) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        RegistryKey top(root, "seq" + std::to_string(seed),
                        RegistryKey::CREATE | RegistryKey::READ | RegistryKey::WRITE);
        // By upper-case name: the name as first written and "name=value" by upper-case name.
        std::map<std::string, std::pair<std::string, std::map<std::string, std::string>>> model;
        for (int step = 0; step < 80; ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            const std::string name = RandomName(random), upper = Upper(name);
            const bool present = model.count(upper) == 1;
            const unsigned action = random() % 5;
            if (action == 0) { // create (or open) a key
                top.createSubkey(name);
                model.emplace(upper, std::make_pair(name, std::map<std::string, std::string>()));
            } else if (action <= 2 && present) { // write a value
                const std::string valueName = RandomName(random);
                const RegistryValue value = RandomValue(random);
                top.openSubkey(name, RegistryKey::WRITE)->writeValue(valueName, value);
                auto& values = model[upper].second;
                auto found = values.find(Upper(valueName));
                // The name keeps the spelling it was first written with.
                const std::string& kept =
                    found == values.end() ? valueName : found->second.substr(0, valueName.size());
                values[Upper(valueName)] = Entry(kept, value);
            } else if (action == 3 && present) { // delete a value, present or not
                const std::string valueName = RandomName(random);
                auto sub = top.openSubkey(name, RegistryKey::READ | RegistryKey::WRITE);
                if (model[upper].second.erase(Upper(valueName)) == 1)
                    sub->deleteValue(valueName);
                else
                    EXPECT_THROW(sub->deleteValue(valueName), kiv::RegistryOsError);
            } else if (action == 4) { // delete a key, plainly or with its tree
                auto remove = [&, recursive = random() % 2 == 0] {
                    recursive ? top.deleteSubkeyRecursively(name) : top.deleteSubkey(name);
                };
                if (model.erase(upper) == 1)
                    remove();
                else
                    EXPECT_THROW(remove(), kiv::RegistryOsError);
            }
            // Values are compared by upper-case name: Windows lists them in creation order,
            // Wine by name.
            std::list<std::string> expected;
            for (const auto& entry : model)
                expected.push_back(entry.second.first);
            ASSERT_EQ(top.listSubkeys(), expected);
            if (present && model.count(upper) == 1) {
                std::map<std::string, std::string> listed;
                for (const auto& entry : top.openSubkey(name, RegistryKey::READ)->listValues(true))
                    listed[Upper(entry.first)] = Entry(entry.first, entry.second);
                ASSERT_EQ(listed, model[upper].second);
            }
        }
    }
}

} // namespace

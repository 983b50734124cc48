// kiv::RegistryKey and kiv::RegistryValue, natively on the stand-in and under Wine on the
// real registry, below a key of the test's own.
#include <atomic>
#include <cstring>
#include <functional>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "os/win32/Registry.h"
#include "src/os/win32/RegistryCalls.h"
#include "support/RegistryFixture.h"

using kiv::RegistryKey;
using kiv::RegistryValue;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

RegistryValue Make(RegistryValue::Type type, std::uint64_t number = 0,
                   std::vector<std::string> strings = {}, Bytes binary = {}) {
    RegistryValue value;
    value.type = type;
    value.number = number;
    value.strings = std::move(strings);
    value.binary = std::move(binary);
    return value;
}

std::string Printed(const RegistryValue& value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// Counts the calls that open and close keys; restores the system's table when it goes.
class CountingCalls {
public:
    CountingCalls() {
        opens = closes = calls = 0;
        kiv::registryCalls.openKeyEx = [](HKEY k, LPCSTR s, DWORD o, REGSAM a, PHKEY r) {
            LSTATUS status = kiv::kSystemRegistryCalls.openKeyEx(k, s, o, a, r);
            ++calls;
            opens += status == ERROR_SUCCESS;
            return status;
        };
        kiv::registryCalls.createKeyEx = [](auto... arguments) {
            ++calls;
            return kiv::kSystemRegistryCalls.createKeyEx(arguments...);
        };
        kiv::registryCalls.closeKey = [](HKEY k) {
            ++closes;
            return kiv::kSystemRegistryCalls.closeKey(k);
        };
    }
    ~CountingCalls() { kiv::registryCalls = kiv::kSystemRegistryCalls; }
    static std::atomic<int> opens, closes, calls;
};
std::atomic<int> CountingCalls::opens, CountingCalls::closes, CountingCalls::calls;

class RegistryKeyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        key = std::make_unique<RegistryKey>(root, "", RegistryKey::READ | RegistryKey::WRITE);
    }
    void TearDown() override {
        key.reset();
        RegistryTest::TearDown();
    }
    std::unique_ptr<RegistryKey> key;
};

TEST_F(RegistryKeyTest, OpeningAMissingKeyReportsTheOsText) {
    try {
        RegistryKey missing(root, "no\\such key", RegistryKey::READ);
        FAIL() << "opened";
    } catch (const kiv::RegistryOsError& e) {
        const std::string tail = "Unable to open no\\such key: " + kiv::OsError(2).text();
        const std::string report = e.what();
        ASSERT_GE(report.size(), tail.size());
        EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
        EXPECT_STREQ(e.function, "kiv::RegistryKey::RegistryKey");
        EXPECT_STREQ(e.file, "src/os/win32/registry");
        EXPECT_EQ(e.osError.code, 2u);
    }
    // CREATE makes the path, every level of it.
    RegistryKey made(root, "no\\such key", RegistryKey::CREATE);
    EXPECT_EQ(RegistryKey(root, "NO", RegistryKey::READ).listSubkeys(),
              std::list<std::string>{"such key"});
}

TEST_F(RegistryKeyTest, OpenSubkeyRefusesCreateBeforeAnyRegistryCall) {
    CountingCalls counting;
    for (std::uint32_t mode : {4u, 5u, 6u, 7u}) {
        try {
            key->openSubkey("x", mode);
            ADD_FAILURE() << "mode " << mode;
        } catch (const kiv::UsageError& e) {
            EXPECT_STREQ(e.message, "CREATE cannot be specified in RegistryKey::openSubkey");
            EXPECT_STREQ(e.function, "kiv::RegistryKey::openSubkey");
        }
    }
    EXPECT_EQ(CountingCalls::calls, 0);
}

TEST_F(RegistryKeyTest, FailedCallsRaiseWithTheirStatusAndTexts) {
    key->createSubkey("parent")->createSubkey("child");
    RegistryKey readOnly(root, "", RegistryKey::READ);
    RegistryKey writeOnly(root, "", RegistryKey::WRITE);
    const struct {
        std::function<void()> call;
        std::uint32_t status;
        const char* message;
        const char* function;
    } cases[] = {
        {[&] { key->createSubkey("\\bad"); }, 161, "Unable to create subkey with name '\\bad'",
         "createSubkey"},
        {[&] { key->deleteSubkey("gone"); }, 2, "Unable to delete subkey with name 'gone'",
         "deleteSubkey"},
        {[&] { key->deleteSubkey("parent"); }, 5, "Unable to delete subkey with name 'parent'",
         "deleteSubkey"},
        {[&] { key->deleteSubkeyRecursively("gone"); }, 2,
         "Unable to delete subkey with name 'gone' recursively", "deleteSubkeyRecursively"},
        {[&] { key->deleteValue("gone"); }, 2, "Unable to delete value 'gone'", "deleteValue"},
        {[&] { key->readValue("gone"); }, 2, "Unable to read value 'gone'", "readValue"},
        {[&] { readOnly.writeValue("v", Make(RegistryValue::TYPE_DWORD, 1)); }, 5,
         "Unable to write value", "writeValue"},
        {[&] { writeOnly.listSubkeys(); }, 5, "Unable to list subkeys", "listSubkeys"},
        {[&] { writeOnly.listValues(true); }, 5, "Unable to list values", "listValues"},
        {[&] { key->openSubkey("gone", RegistryKey::READ); }, 2, "Unable to open gone",
         "RegistryKey"},
    };
    FOR_EACH_CASE(c, cases) {
        try {
            c.call();
            ADD_FAILURE() << "no exception";
        } catch (const kiv::RegistryOsError& e) {
            EXPECT_EQ(e.osError.code, c.status);
            EXPECT_EQ(e.message, c.message);
            EXPECT_EQ(std::string(e.function), std::string("kiv::RegistryKey::") + c.function);
            const std::string details = "\n" + std::string(c.message) + ": " + e.osError.text();
            const std::string report = e.what();
            EXPECT_EQ(report.substr(report.size() - details.size()), details);
        }
    }
    // The key stays usable after a failure.
    EXPECT_EQ(key->listSubkeys(), std::list<std::string>{"parent"});
}

TEST_F(RegistryKeyTest, ValuesOfEverySizeComeBackWhole) {
    for (size_t size : {0u, 1u, 1023u, 1024u, 1025u, 4096u, 100000u}) {
        Bytes bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + size);
        key->writeValue("blob", RegistryValue(bytes));
        const RegistryValue read = key->readValue("blob");
        EXPECT_EQ(read.type, RegistryValue::TYPE_BINARY) << size;
        EXPECT_EQ(read.binary, bytes) << size;
        const std::string text(size, 't');
        key->writeValue("text", Make(RegistryValue::TYPE_STRING, 0, {text}));
        EXPECT_EQ(key->readString("text"), text) << size;
    }
    EXPECT_EQ(key->listValues(true).back().second.strings.front(), std::string(100000, 't'));
}

TEST_F(RegistryKeyTest, ReadBufferDoublesFrom1024) {
    key->writeValue("blob", RegistryValue(Bytes(5000, 1)));
    static std::vector<DWORD> offered;
    offered.clear();
    kiv::registryCalls.getValue = [](HKEY k, LPCSTR s, LPCSTR v, DWORD f, LPDWORD t, PVOID d,
                                     LPDWORD n) {
        offered.push_back(*n);
        return kiv::kSystemRegistryCalls.getValue(k, s, v, f, t, d, n);
    };
    const RegistryValue read = key->readValue("blob");
    kiv::registryCalls = kiv::kSystemRegistryCalls;
    EXPECT_EQ(offered, (std::vector<DWORD>{1024, 2048, 4096, 8192}));
    EXPECT_EQ(read.binary.size(), 5000u);
}

TEST_F(RegistryKeyTest, RoundTripOfEveryType) {
    const RegistryValue cases[] = {
        Make(RegistryValue::TYPE_NONE),
        Make(RegistryValue::TYPE_DWORD, 0xFEDCBA98),
        Make(RegistryValue::TYPE_QWORD, 0x0123456789ABCDEFull),
        Make(RegistryValue::TYPE_BINARY, 0, {}, {0, 1, 0xFF}),
        Make(RegistryValue::TYPE_STRING, 0, {"text"}),
        Make(RegistryValue::TYPE_STRING, 0, {""}),
        Make(RegistryValue::TYPE_EXPAND_STRING, 0, {"%PATH%;%NOT_SET_ANYWHERE%"}),
        Make(RegistryValue::TYPE_MULTI_STRING, 0, {"a", "bc", "def"}),
        Make(RegistryValue::TYPE_MULTI_STRING),
    };
    FOR_EACH_CASE(c, cases) {
        key->writeValue("v", c);
        const RegistryValue read = key->readValue("v");
        EXPECT_EQ(read.type, c.type);
        EXPECT_EQ(read.number, c.number);
        EXPECT_EQ(read.strings, c.strings);
        EXPECT_EQ(read.binary, c.binary);
    }
    // An empty MULTI_STRING is stored as one zero byte.
    char stored[4] = {1, 1, 1, 1};
    DWORD length = sizeof stored, type = 0;
    ASSERT_EQ(RegGetValueA(root, nullptr, "v", 0x1000FFFF, &type, stored, &length), 0);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(stored[0], 0);
}

TEST_F(RegistryKeyTest, StoredBlocksAsRead) {
    const struct {
        DWORD type;
        std::string bytes;
        RegistryValue::Type expected;
        std::vector<std::string> strings;
    } cases[] = {
        {REG_MULTI_SZ, std::string("a\0b\0\0", 5), RegistryValue::TYPE_MULTI_STRING, {"a", "b"}},
        {REG_MULTI_SZ, std::string("\0", 1), RegistryValue::TYPE_MULTI_STRING, {}},
        {REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), RegistryValue::TYPE_MULTI_STRING, {"a", "b"}},
        {REG_SZ, std::string("ab\0", 3), RegistryValue::TYPE_STRING, {"ab"}},
        {REG_SZ, std::string("a\0b\0", 4), RegistryValue::TYPE_STRING, {std::string("a\0b", 3)}},
        {REG_EXPAND_SZ, std::string("%PATH%\0", 7), RegistryValue::TYPE_EXPAND_STRING, {"%PATH%"}},
    };
    FOR_EACH_CASE(c, cases) {
        ASSERT_EQ(SetRaw("raw", c.type, c.bytes), ERROR_SUCCESS);
        const RegistryValue read = key->readValue("raw");
        EXPECT_EQ(read.type, c.expected);
        EXPECT_EQ(read.strings, c.strings);
        EXPECT_EQ(key->listValues(true).front().second.strings, c.strings);
    }
}

TEST_F(RegistryKeyTest, ShortNumbersRaiseInvalidArgument) {
    ASSERT_EQ(SetRaw("short", REG_DWORD, "zz"), ERROR_SUCCESS);
    const std::function<void()> reads[] = {
        [&] { key->readValue("short"); },
        [&] { key->listValues(true); },
        [&] { RegistryKey::readDWord(HKEY_CURRENT_USER, path, "short"); },
    };
    FOR_EACH_CASE(read, reads) {
        try {
            read();
            ADD_FAILURE() << "no exception";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "Buffer too small for a DWORD");
        }
    }
    // Without data the listing never looks at the bytes.
    EXPECT_EQ(key->listValueNames(), std::list<std::string>{"short"});
}

TEST_F(RegistryKeyTest, EmptyKeysAndListingsWithoutData) {
    auto empty = key->createSubkey("empty");
    EXPECT_TRUE(empty->listSubkeys().empty());
    EXPECT_TRUE(empty->listValues(true).empty());
    EXPECT_TRUE(empty->listValueNames().empty());
    // Values created in name order list in that order on every registry.
    for (const char* name : {"a", "b", "c"})
        empty->writeValue(name, Make(RegistryValue::TYPE_DWORD, 7));
    std::vector<std::string> names;
    for (const auto& entry : empty->listValues(false)) {
        names.push_back(entry.first);
        EXPECT_EQ(entry.second.type, RegistryValue::TYPE_NONE);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
    for (const auto& entry : empty->listValues(true))
        EXPECT_EQ(entry.second.toDWord(), 7u);
}

TEST_F(RegistryKeyTest, DeletingKeysPlainAndRecursive) {
    key->createSubkey("tree")->createSubkey("leaf");
    EXPECT_THROW(key->deleteSubkey("tree"), kiv::RegistryOsError);
    key->deleteSubkeyRecursively("TREE");
    EXPECT_TRUE(key->listSubkeys().empty());
    EXPECT_THROW(key->openSubkey("tree", RegistryKey::READ), kiv::RegistryOsError);
    key->createSubkey("single");
    key->deleteSubkey("single");
    EXPECT_TRUE(key->listSubkeys().empty());
    key->writeValue("v", Make(RegistryValue::TYPE_NONE));
    key->deleteValue("V");
    EXPECT_TRUE(key->listValueNames().empty());
}

TEST_F(RegistryKeyTest, SubkeysShareAndInheritTheView) {
    RegistryKey viewed(root, "", RegistryKey::READ | RegistryKey::WRITE, RegistryKey::VIEW_32);
    auto created = viewed.createSubkey("sub");
    EXPECT_EQ(created->view, 0u);
    auto opened = viewed.openSubkey("SUB", RegistryKey::READ);
    EXPECT_EQ(opened->view, 1u);
    created->writeValue("v", Make(RegistryValue::TYPE_STRING, 0, {"seen"}));
    EXPECT_EQ(opened->readString("v"), "seen");
    EXPECT_EQ(opened->close(), ERROR_SUCCESS);
    EXPECT_EQ(opened->handle, nullptr);
    EXPECT_EQ(opened->close(), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeyTest, ShortcutsCloseTheirKeyWhateverHappens) {
    key->writeValue("dword", Make(RegistryValue::TYPE_DWORD, 42));
    key->writeValue("text", Make(RegistryValue::TYPE_STRING, 0, {"hello"}));
    const struct {
        std::function<void()> call;
        const char* raises; // the class expected, or null
    } cases[] = {
        {[&] { EXPECT_EQ(RegistryKey::readDWord(HKEY_CURRENT_USER, path, "dword"), 42u); },
         nullptr},
        {[&] { EXPECT_EQ(RegistryKey::readString(HKEY_CURRENT_USER, path, "text", 2), "hello"); },
         nullptr},
        {[&] { EXPECT_EQ(RegistryKey::readValue(HKEY_CURRENT_USER, path, "dword").number, 42u); },
         nullptr},
        {[&] { RegistryKey::readDWord(HKEY_CURRENT_USER, path, "text"); }, "type"},
        {[&] { RegistryKey::readString(HKEY_CURRENT_USER, path, "dword", 1); }, "type"},
        {[&] { RegistryKey::readValue(HKEY_CURRENT_USER, path, "missing"); }, "os"},
    };
    FOR_EACH_CASE(c, cases) {
        CountingCalls counting;
        const char* raised = nullptr;
        try {
            c.call();
        } catch (const kiv::RegistryTypeError&) {
            raised = "type";
        } catch (const kiv::RegistryOsError&) {
            raised = "os";
        }
        EXPECT_STREQ(raised, c.raises);
        EXPECT_EQ(CountingCalls::opens, 1);
        EXPECT_EQ(CountingCalls::closes, 1);
    }
}

TEST_F(RegistryKeyTest, UndefinedLongestLengthsFailTheListing) {
    kiv::registryCalls.queryInfoKey = [](auto...) -> LSTATUS { return 1018; };
    static int enumerations = 0;
    kiv::registryCalls.enumKey = [](auto...) -> LSTATUS { return ++enumerations, 259; };
    const std::function<void()> listings[] = {
        [&] { key->listSubkeys(); },
        [&] { key->listValues(true); },
        [&] { key->listValueNames(); },
    };
    FOR_EACH_CASE(list, listings) {
        try {
            list();
            ADD_FAILURE() << "listed";
        } catch (const kiv::RegistryOsError& e) {
            EXPECT_EQ(e.osError.code, 1018u);
        }
    }
    kiv::registryCalls = kiv::kSystemRegistryCalls;
    EXPECT_EQ(enumerations, 0);
}

TEST_F(RegistryKeyTest, MoreDataWhileListingValuesRaises) {
    key->writeValue("v", Make(RegistryValue::TYPE_DWORD, 1));
    kiv::registryCalls.enumValue = [](auto...) -> LSTATUS { return 234; };
    EXPECT_THROW(key->listValues(false), kiv::RegistryOsError);
    kiv::registryCalls = kiv::kSystemRegistryCalls;
}

// ---- values without a registry ----

TEST(RegistryValueTest, FromRawTable) {
    const struct {
        std::string bytes;
        std::uint32_t registryType;
        RegistryValue::Type type;
        std::uint64_t number;
        std::vector<std::string> strings;
        bool keepsBinary;
    } cases[] = {
        {std::string("\x2A\0\0\0\xFF", 5), 4, RegistryValue::TYPE_DWORD, 42, {}, false},
        {"\x01\x02\x03\x04\x05\x06\x07\x08",
         11,
         RegistryValue::TYPE_QWORD,
         0x0807060504030201,
         {},
         false},
        {"xyz", 3, RegistryValue::TYPE_BINARY, 0, {}, true},
        {"", 1, RegistryValue::TYPE_STRING, 0, {""}, false},
        {"abc", 1, RegistryValue::TYPE_STRING, 0, {"ab"}, false},
        {std::string("x\0", 2), 2, RegistryValue::TYPE_EXPAND_STRING, 0, {"x"}, false},
        {"", 7, RegistryValue::TYPE_MULTI_STRING, 0, {}, false},
        {"data", 0, RegistryValue::TYPE_NONE, 0, {}, false},
        {"\x01\x02\x03\x04", 5, RegistryValue::TYPE_UNKNOWN, 0, {}, false},
        {"link", 6, RegistryValue::TYPE_UNKNOWN, 0, {}, false},
        {"list", 8, RegistryValue::TYPE_UNKNOWN, 0, {}, false},
        {"list", 0xFFFFFFFF, RegistryValue::TYPE_UNKNOWN, 0, {}, false},
    };
    FOR_EACH_CASE(c, cases) {
        const RegistryValue value = RegistryValue::fromRaw(B(c.bytes), c.registryType);
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.number, c.number);
        EXPECT_EQ(value.strings, c.strings);
        EXPECT_EQ(value.binary, c.keepsBinary ? B(c.bytes) : Bytes());
    }
    EXPECT_THROW(RegistryValue::fromRaw(B("1234567"), 11), std::invalid_argument);
}

TEST(RegistryValueTest, ToRawTable) {
    const struct {
        RegistryValue value;
        std::string bytes;
        std::uint32_t registryType;
    } cases[] = {
        {Make(RegistryValue::TYPE_DWORD, 0x1122334455667788ull), "\x88\x77\x66\x55", 4},
        {Make(RegistryValue::TYPE_QWORD, 0x0102030405060708ull), "\x08\x07\x06\x05\x04\x03\x02\x01",
         11},
        {RegistryValue(B("raw")), "raw", 3},
        {Make(RegistryValue::TYPE_STRING, 0, {"ab", "ignored"}), std::string("ab\0", 3), 1},
        {Make(RegistryValue::TYPE_EXPAND_STRING, 0, {"%X%"}), std::string("%X%\0", 4), 2},
        {Make(RegistryValue::TYPE_MULTI_STRING, 0, {"a", "b"}), std::string("a\0b\0\0", 5), 7},
        {Make(RegistryValue::TYPE_MULTI_STRING), std::string("\0", 1), 7},
        {Make(RegistryValue::TYPE_NONE, 5, {"x"}), "", 0},
        {Make(RegistryValue::TYPE_UNKNOWN, 5, {"x"}), "", 0xFFFFFFFF},
    };
    FOR_EACH_CASE(c, cases) {
        const auto raw = c.value.toRaw();
        EXPECT_EQ(raw.first, B(c.bytes));
        EXPECT_EQ(raw.second, c.registryType);
    }
}

TEST(RegistryValueTest, ConversionsRaiseTypeErrorsForOtherTypes) {
    for (int t = -1; t <= 6; ++t) {
        const RegistryValue value = Make(static_cast<RegistryValue::Type>(t), 9, {"s"});
        try {
            EXPECT_EQ(value.toDWord(), 9u);
            EXPECT_EQ(t, RegistryValue::TYPE_DWORD);
        } catch (const kiv::RegistryTypeError& e) {
            EXPECT_NE(t, RegistryValue::TYPE_DWORD);
            EXPECT_STREQ(e.function, "kiv::RegistryValue::toDWord");
            EXPECT_STREQ(e.file, "include/os/win32/Registry");
        }
        try {
            EXPECT_EQ(value.toString(), "s");
            EXPECT_EQ(t, RegistryValue::TYPE_STRING);
        } catch (const kiv::RegistryTypeError& e) {
            EXPECT_NE(t, RegistryValue::TYPE_STRING);
            EXPECT_STREQ(e.function, "kiv::RegistryValue::toString");
        }
    }
}

TEST(RegistryValueTest, StreamOutputOfEveryType) {
    const struct {
        RegistryValue value;
        const char* printed;
    } cases[] = {
        {Make(RegistryValue::TYPE_NONE), "? [TYPE_NONE]"},
        {Make(RegistryValue::TYPE_UNKNOWN, 3), "? [TYPE_UNKNOWN]"},
        {Make(RegistryValue::TYPE_DWORD, 42), "42 [TYPE_DWORD]"},
        {Make(RegistryValue::TYPE_QWORD, 18446744073709551615ull),
         "18446744073709551615 [TYPE_QWORD]"},
        {RegistryValue(Bytes{0x00, 0x0A, 0xFF, 0x5c}), "00 0A FF 5C [TYPE_BINARY]"},
        {RegistryValue(Bytes{}), " [TYPE_BINARY]"},
        {Make(RegistryValue::TYPE_STRING, 0, {"text"}), "text [TYPE_STRING]"},
        {Make(RegistryValue::TYPE_EXPAND_STRING, 0, {"%X%"}), "%X% [TYPE_EXPAND_STRING]"},
        {Make(RegistryValue::TYPE_MULTI_STRING, 0, {"a", "b c", "d"}),
         "a, b c, d [TYPE_MULTI_STRING]"},
        {Make(RegistryValue::TYPE_MULTI_STRING), " [TYPE_MULTI_STRING]"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(Printed(c.value), c.printed);
        // Fill and flags the caller set survive, and apply to what follows.
        std::ostringstream out;
        out << std::oct << std::setfill('*');
        out << c.value << std::setw(4) << 8;
        EXPECT_EQ(out.str(), std::string(c.printed) + "**10");
    }
}

} // namespace

// kiv::RegistryKey and kiv::RegistryValue, natively on the stand-in and under Wine on the
// real registry, below a key of the test's own.
#include <atomic>
#include <cstring>
#include <functional>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "TestHelpers.h"
#include "os/win32/Registry.h"
#include "src/os/win32/RegistryCalls.h"
#include "support/RegistryFixture.h"

using kiv::RegistryKey;
using kiv::RegistryValue;
using V = kiv::RegistryValue;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

namespace {

RegistryValue Make(RegistryValue::Type type, std::uint64_t number = 0, Strings strings = {},
                   Bytes binary = {}) {
    RegistryValue value;
    value.type = type;
    value.number = number;
    value.strings = std::move(strings);
    value.binary = std::move(binary);
    return value;
}

// The bytes of a literal, embedded NULs included.
template <size_t N>
std::string B(const char (&bytes)[N]) {
    return std::string(bytes, N - 1);
}

// Counts registry calls and the keys opened and closed; restores the system's table.
struct CountingCalls {
    CountingCalls() {
        opens = closes = calls = 0;
        kiv::registryCalls.openKeyEx = [](auto... arguments) {
            LSTATUS status = kiv::kSystemRegistryCalls.openKeyEx(arguments...);
            ++calls, opens += status == ERROR_SUCCESS;
            return status;
        };
        kiv::registryCalls.createKeyEx = [](auto... arguments) {
            return ++calls, kiv::kSystemRegistryCalls.createKeyEx(arguments...);
        };
        kiv::registryCalls.closeKey = [](HKEY key) {
            return ++closes, kiv::kSystemRegistryCalls.closeKey(key);
        };
    }
    ~CountingCalls() { kiv::registryCalls = kiv::kSystemRegistryCalls; }
    static inline std::atomic<int> opens, closes, calls;
};

class RegistryKeyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        key = std::make_unique<RegistryKey>(root, "", RegistryKey::READ | RegistryKey::WRITE);
    }
    void TearDown() override {
        key.reset();
        kiv::registryCalls = kiv::kSystemRegistryCalls;
        RegistryTest::TearDown();
    }
    std::unique_ptr<RegistryKey> key;
};

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
        {[&] { RegistryKey(root, "no\\such key", RegistryKey::READ); }, 2,
         "Unable to open no\\such key", "RegistryKey"},
        {[&] { key->openSubkey("gone", RegistryKey::READ); }, 2, "Unable to open gone",
         "RegistryKey"},
        {[&] { key->createSubkey("\\bad"); }, 161, "Unable to create subkey with name '\\bad'",
         "createSubkey"},
        {[&] { key->deleteSubkey("gone"); }, 2, "Unable to delete subkey with name 'gone'",
         "deleteSubkey"},
        {[&] { key->deleteSubkey("PARENT"); }, 5, "Unable to delete subkey with name 'PARENT'",
         "deleteSubkey"},
        {[&] { key->deleteSubkeyRecursively("gone"); }, 2,
         "Unable to delete subkey with name 'gone' recursively", "deleteSubkeyRecursively"},
        {[&] { key->deleteValue("gone"); }, 2, "Unable to delete value 'gone'", "deleteValue"},
        {[&] { key->readValue("gone"); }, 2, "Unable to read value 'gone'", "readValue"},
        {[&] { readOnly.writeValue("v", Make(V::TYPE_DWORD, 1)); }, 5, "Unable to write value",
         "writeValue"},
        {[&] { writeOnly.listSubkeys(); }, 5, "Unable to list subkeys", "listSubkeys"},
        {[&] { writeOnly.listValues(true); }, 5, "Unable to list values", "listValues"},
    };
    FOR_EACH_CASE(c, cases) {
        try {
            c.call();
            ADD_FAILURE() << "no exception";
        } catch (const kiv::RegistryOsError& e) {
            EXPECT_EQ(e.osError.code, c.status);
            EXPECT_EQ(std::string(e.function), std::string("kiv::RegistryKey::") + c.function);
            EXPECT_STREQ(e.file, "src/os/win32/registry");
            // The report ends with the message, ": " and the system's text of the status.
            const std::string tail =
                "\n" + std::string(c.message) + ": " + kiv::OsError(c.status).text();
            const std::string report = e.what();
            ASSERT_GE(report.size(), tail.size());
            EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
        }
    }
    // The key stays usable after a failure; CREATE makes every level of a path.
    EXPECT_EQ(key->listSubkeys(), std::list<std::string>{"parent"});
    RegistryKey(root, "no\\such key", RegistryKey::CREATE);
    EXPECT_EQ(key->openSubkey("NO", RegistryKey::READ)->listSubkeys(),
              std::list<std::string>{"such key"});
}

TEST_F(RegistryKeyTest, OpenSubkeyRefusesCreateBeforeAnyRegistryCall) {
    CountingCalls counting;
    for (std::uint32_t mode : {4u, 7u}) {
        try {
            key->openSubkey("x", mode);
            ADD_FAILURE() << "mode " << mode;
        } catch (const kiv::UsageError& e) {
            EXPECT_STREQ(e.message, "CREATE cannot be specified in RegistryKey::openSubkey");
        }
    }
    EXPECT_EQ(CountingCalls::calls, 0);
}

TEST_F(RegistryKeyTest, ValuesOfEverySizeComeBackWholeThroughADoublingBuffer) {
    static std::vector<DWORD> offered;
    kiv::registryCalls.getValue = [](auto... arguments) {
        offered.push_back(*std::get<6>(std::make_tuple(arguments...)));
        return kiv::kSystemRegistryCalls.getValue(arguments...);
    };
    const struct {
        size_t size;
        size_t reads;
    } cases[] = {{0, 1}, {1024, 1}, {1025, 2}, {100000, 8}};
    FOR_EACH_CASE(c, cases) {
        Bytes bytes(c.size);
        for (size_t i = 0; i < c.size; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + c.size);
        key->writeValue("blob", RegistryValue(bytes));
        offered.clear();
        EXPECT_EQ(key->readValue("blob").binary, bytes);
        ASSERT_EQ(offered.size(), c.reads);
        for (size_t i = 0; i < c.reads; ++i)
            EXPECT_EQ(offered[i], DWORD(1024u << i));
        const std::string text(c.size, 't');
        key->writeValue("text", Make(V::TYPE_STRING, 0, {text}));
        EXPECT_EQ(key->readString("text"), text);
        EXPECT_EQ(key->listValues(true).back().second.strings, Strings{text});
    }
}

TEST_F(RegistryKeyTest, StoredBytesAndWhatReadsBackOfEveryType) {
    const struct {
        RegistryValue written;
        std::string stored;
        DWORD storedType;
        Strings readStrings; // what a read gives, where it differs from what was written
    } cases[] = {
        {Make(V::TYPE_NONE), "", REG_NONE, {}},
        {Make(V::TYPE_DWORD, 0x11FEDCBA98ull), "\x98\xBA\xDC\xFE", REG_DWORD, {}},
        {Make(V::TYPE_QWORD, 0x0123456789ABCDEFull),
         "\xEF\xCD\xAB\x89\x67\x45\x23\x01",
         REG_QWORD,
         {}},
        {RegistryValue(Bytes{'r', 0, 'w'}), B("r\0w"), REG_BINARY, {}},
        {Make(V::TYPE_STRING, 0, {"ab", "lost"}), B("ab\0"), REG_SZ, {"ab"}},
        {Make(V::TYPE_STRING, 0, {""}), B("\0"), REG_SZ, {""}},
        {Make(V::TYPE_EXPAND_STRING, 0, {"%PATH%"}), B("%PATH%\0"), REG_EXPAND_SZ, {"%PATH%"}},
        {Make(V::TYPE_MULTI_STRING, 0, {"a", "bc"}), B("a\0bc\0\0"), REG_MULTI_SZ, {"a", "bc"}},
        {Make(V::TYPE_MULTI_STRING), B("\0"), REG_MULTI_SZ, {}},
    };
    FOR_EACH_CASE(c, cases) {
        key->writeValue("v", c.written);
        char stored[16];
        DWORD length = sizeof stored, type = 99;
        ASSERT_EQ(RegGetValueA(root, nullptr, "v", 0x1000FFFF, &type, stored, &length), 0);
        EXPECT_EQ(std::string(stored, length), c.stored);
        EXPECT_EQ(type, c.storedType);
        const RegistryValue read = key->readValue("v");
        EXPECT_EQ(read.type, c.written.type);
        EXPECT_EQ(read.number, c.written.number & (c.storedType == REG_DWORD ? 0xFFFFFFFF : ~0ull));
        EXPECT_EQ(read.binary, c.written.binary);
        EXPECT_EQ(read.strings, c.readStrings);
    }
}

TEST_F(RegistryKeyTest, RawBlocksAsRead) {
    const struct {
        DWORD type;
        std::string bytes;
        RegistryValue::Type expected;
        Strings strings;
    } cases[] = {
        {REG_MULTI_SZ, B("a\0b\0\0"), V::TYPE_MULTI_STRING, {"a", "b"}},
        {REG_MULTI_SZ, B("\0"), V::TYPE_MULTI_STRING, {}},
        {REG_MULTI_SZ, B("a\0\0b\0\0"), V::TYPE_MULTI_STRING, {"a", "b"}},
        {REG_SZ, B("a\0b\0"), V::TYPE_STRING, {B("a\0b")}},
        {REG_SZ, "", V::TYPE_STRING, {""}},
        {REG_BINARY, "", V::TYPE_BINARY, {}},
    };
    FOR_EACH_CASE(c, cases) {
        ASSERT_EQ(SetRaw("raw", c.type, c.bytes), ERROR_SUCCESS);
        EXPECT_EQ(key->readValue("raw").type, c.expected);
        EXPECT_EQ(key->readValue("raw").strings, c.strings);
        EXPECT_EQ(key->listValues(true).front().second.strings, c.strings);
    }
    // Registry types without a counterpart keep no data.
    for (DWORD type : {5u, 0xFFFFu}) {
        const RegistryValue value = RegistryValue::fromRaw(Bytes{1, 2, 3, 4}, type);
        EXPECT_EQ(value.type, V::TYPE_UNKNOWN);
        EXPECT_EQ(value.number + value.binary.size() + value.strings.size(), 0u);
    }
    EXPECT_EQ(Make(V::TYPE_UNKNOWN, 1, {"x"}).toRaw(),
              std::make_pair(Bytes{}, std::uint32_t(0xFFFFFFFF)));
    EXPECT_THROW(RegistryValue::fromRaw(Bytes(7), REG_QWORD), std::invalid_argument);
}

TEST_F(RegistryKeyTest, ShortDwordRaisesInvalidArgumentWhereverItIsRead) {
    ASSERT_EQ(SetRaw("short", REG_DWORD, "zz"), ERROR_SUCCESS);
    EXPECT_THROW(key->listValues(true), std::invalid_argument);
    EXPECT_THROW(RegistryKey::readDWord(HKEY_CURRENT_USER, path, "short"), std::invalid_argument);
    try {
        key->readValue("short");
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Buffer too small for a DWORD");
    }
    // Without data the listing never looks at the bytes.
    EXPECT_EQ(key->listValueNames(), std::list<std::string>{"short"});
}

TEST_F(RegistryKeyTest, ListingsDeletionsAndViews) {
    RegistryKey viewed(root, "", RegistryKey::READ | RegistryKey::WRITE, RegistryKey::VIEW_32);
    auto created = viewed.createSubkey("sub");
    auto opened = viewed.openSubkey("SUB", RegistryKey::READ);
    EXPECT_EQ(created->view, 0u);
    EXPECT_EQ(opened->view, 1u);
    EXPECT_TRUE(opened->listSubkeys().empty());
    EXPECT_TRUE(opened->listValues(true).empty());
    EXPECT_TRUE(opened->listValueNames().empty());
    // Values created in name order list in that order on every registry.
    for (const char* name : {"a", "b", "c"})
        created->writeValue(name, Make(V::TYPE_DWORD, 7));
    Strings names;
    for (const auto& entry : opened->listValues(false)) {
        names.push_back(entry.first);
        EXPECT_EQ(entry.second.type, V::TYPE_NONE);
    }
    EXPECT_EQ(names, (Strings{"a", "b", "c"}));
    for (const auto& entry : opened->listValues(true))
        EXPECT_EQ(entry.second.toDWord(), 7u);
    EXPECT_EQ(opened->close(), ERROR_SUCCESS);
    EXPECT_EQ(opened->handle, nullptr);
    EXPECT_EQ(opened->close(), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeyTest, ShortcutsCloseTheirKeyWhateverHappens) {
    key->writeValue("dword", Make(V::TYPE_DWORD, 42));
    key->writeValue("text", Make(V::TYPE_STRING, 0, {"hello"}));
    key->writeValue("expand", Make(V::TYPE_EXPAND_STRING, 0, {"hello"}));
    const auto& p = path;
    const HKEY user = HKEY_CURRENT_USER;
    const struct {
        std::function<void()> call;
        const char* raises; // the class expected, or null
    } cases[] = {
        {[&] { EXPECT_EQ(RegistryKey::readDWord(user, p, "dword"), 42u); }, nullptr},
        {[&] { EXPECT_EQ(RegistryKey::readString(user, p, "text", 2), "hello"); }, nullptr},
        {[&] { EXPECT_EQ(RegistryKey::readValue(user, p, "dword").number, 42u); }, nullptr},
        {[&] { RegistryKey::readDWord(user, p, "text"); }, "type"},
        {[&] { RegistryKey::readString(user, p, "dword", 1); }, "type"},
        {[&] { RegistryKey::readString(user, p, "expand"); }, "type"},
        {[&] { RegistryKey::readValue(user, p, "missing"); }, "os"},
    };
    FOR_EACH_CASE(c, cases) {
        CountingCalls counting;
        const char* raised = nullptr;
        try {
            c.call();
        } catch (const kiv::RegistryTypeError& e) {
            raised = "type";
            EXPECT_STREQ(e.file, "include/os/win32/Registry");
        } catch (const kiv::RegistryOsError&) {
            raised = "os";
        }
        EXPECT_STREQ(raised, c.raises);
        EXPECT_EQ(CountingCalls::opens, 1);
        EXPECT_EQ(CountingCalls::closes, 1);
    }
}

TEST_F(RegistryKeyTest, ListingsFailWhenLengthsAreUndefinedOrANameDoesNotFit) {
    key->writeValue("v", Make(V::TYPE_DWORD, 1));
    static int enumerations;
    enumerations = 0;
    kiv::registryCalls.queryInfoKey = [](auto...) -> LSTATUS { return 1018; };
    kiv::registryCalls.enumKey = [](auto...) -> LSTATUS { return ++enumerations, 259; };
    kiv::registryCalls.enumValue = [](auto...) -> LSTATUS { return ++enumerations, 259; };
    const std::function<void()> listings[] = {[&] { key->listSubkeys(); },
                                              [&] { key->listValues(true); },
                                              [&] { key->listValueNames(); }};
    FOR_EACH_CASE(list, listings) {
        try {
            list();
            ADD_FAILURE() << "listed";
        } catch (const kiv::RegistryOsError& e) {
            EXPECT_EQ(e.osError.code, 1018u);
        }
    }
    EXPECT_EQ(enumerations, 0);
    kiv::registryCalls = kiv::kSystemRegistryCalls;
    kiv::registryCalls.enumValue = [](auto...) -> LSTATUS { return 234; };
    EXPECT_THROW(key->listValues(false), kiv::RegistryOsError);
}

TEST(RegistryValueTest, StreamOutputOfEveryType) {
    const struct {
        RegistryValue value;
        const char* printed;
    } cases[] = {
        {Make(V::TYPE_NONE), "? [TYPE_NONE]"},
        {Make(V::TYPE_UNKNOWN, 3), "? [TYPE_UNKNOWN]"},
        {Make(V::TYPE_DWORD, 42), "42 [TYPE_DWORD]"},
        {Make(V::TYPE_QWORD, ~0ull), "18446744073709551615 [TYPE_QWORD]"},
        {RegistryValue(Bytes{0x00, 0x0A, 0xFF, 0x5c}), "00 0A FF 5C [TYPE_BINARY]"},
        {RegistryValue(Bytes{}), " [TYPE_BINARY]"},
        {Make(V::TYPE_STRING, 0, {"text", "x"}), "text [TYPE_STRING]"},
        {Make(V::TYPE_EXPAND_STRING, 0, {"%X%"}), "%X% [TYPE_EXPAND_STRING]"},
        {Make(V::TYPE_MULTI_STRING, 0, {"a", "b c", "d"}), "a, b c, d [TYPE_MULTI_STRING]"},
    };
    FOR_EACH_CASE(c, cases) {
        // The caller's base and fill survive and apply to what follows.
        std::ostringstream out;
        out << std::oct << std::setfill('*') << c.value << std::setw(4) << 8;
        EXPECT_EQ(out.str(), std::string(c.printed) + "**10");
    }
}

} // namespace

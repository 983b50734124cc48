// kiv::RegistryKey and kiv::RegistryValue, natively on the stand-in and under Wine on the
// real registry, below a key of the test's own.
#include <atomic>
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

RegistryValue Make(RegistryValue::Type type, std::uint64_t number = 0, Strings strings = {}) {
    RegistryValue value;
    value.type = type, value.number = number, value.strings = std::move(strings);
    return value;
}

// The bytes of a literal, embedded NULs included.
template <size_t N>
std::string B(const char (&bytes)[N]) {
    return std::string(bytes, N - 1);
}

std::atomic<int> opens, closes; // keys the library opened and closed

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
    static void CountOpensAndCloses() {
        opens = closes = 0;
        kiv::registryCalls.openKeyEx = [](auto... arguments) {
            LSTATUS status = kiv::kSystemRegistryCalls.openKeyEx(arguments...);
            return opens += status == ERROR_SUCCESS, status;
        };
        kiv::registryCalls.closeKey = [](HKEY key) {
            return ++closes, kiv::kSystemRegistryCalls.closeKey(key);
        };
    }
    std::unique_ptr<RegistryKey> key;
};

TEST_F(RegistryKeyTest, FailedCallsRaiseWithTheirStatusAndTexts) {
    key->createSubkey("parent")->createSubkey("child");
    RegistryKey readOnly(root, "", RegistryKey::READ);
    RegistryKey writeOnly(root, "", RegistryKey::WRITE);
    auto failing = [](auto...) -> LSTATUS { return ERROR_MORE_DATA; };
    const struct {
        std::function<void()> call;
        std::uint32_t status;
        const char* message;
        const char* function;
    } cases[] = {
        {[&] { RegistryKey(root, "no\\such key", RegistryKey::READ); }, 2,
         "Unable to open no\\such key", "RegistryKey"},
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
        // Failures the registry cannot be made to give, half-way through a listing.
        {[&] { kiv::registryCalls.enumKey = failing, key->listSubkeys(); }, 234,
         "Unable to list subkeys", "listSubkeys"},
        {[&] { kiv::registryCalls.enumValue = failing, key->listValueNames(); }, 234,
         "Unable to list values", "listValues"},
    };
    FOR_EACH_CASE(c, cases) {
        try {
            c.call();
            ADD_FAILURE() << "no exception";
        } catch (const kiv::RegistryOsError& e) {
            EXPECT_EQ(e.osError.code, c.status);
            EXPECT_EQ(std::string(e.function), std::string("kiv::RegistryKey::") + c.function);
            EXPECT_STREQ(e.file, "src/os/win32/registry");
            const std::string tail =
                "\n" + std::string(c.message) + ": " + kiv::OsError(c.status).text();
            const std::string report = e.what();
            ASSERT_GE(report.size(), tail.size());
            EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
        }
        kiv::registryCalls = kiv::kSystemRegistryCalls;
    }
    // The key stays usable after a failure; CREATE makes every level of a path.
    EXPECT_EQ(key->listSubkeys(), std::list<std::string>{"parent"});
    RegistryKey(root, "no\\such key", RegistryKey::CREATE);
    EXPECT_EQ(key->openSubkey("NO", RegistryKey::READ)->listSubkeys(),
              std::list<std::string>{"such key"});
    CountOpensAndCloses();
    try {
        key->openSubkey("x", RegistryKey::CREATE | RegistryKey::READ);
        ADD_FAILURE() << "opened";
    } catch (const kiv::UsageError& e) {
        EXPECT_STREQ(e.message, "CREATE cannot be specified in RegistryKey::openSubkey");
    }
    EXPECT_EQ(opens, 0);
}

TEST_F(RegistryKeyTest, ValuesOfEverySizeComeBackWholeThroughADoublingBuffer) {
    static std::vector<DWORD> offered;
    kiv::registryCalls.getValue = [](auto... arguments) {
        offered.push_back(*std::get<6>(std::make_tuple(arguments...)));
        return kiv::kSystemRegistryCalls.getValue(arguments...);
    };
    const struct { size_t size, reads; } cases[] = {{0, 1}, {1024, 1}, {1025, 2}, {100000, 8}};
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
        const char* read; // as printed
    } cases[] = {
        {Make(V::TYPE_NONE), "", REG_NONE, "? [TYPE_NONE]"},
        {Make(V::TYPE_DWORD, 0x11FEDCBA98ull), "\x98\xBA\xDC\xFE", REG_DWORD,
         "4275878552 [TYPE_DWORD]"},
        {Make(V::TYPE_QWORD, 0x0123456789ABCDEFull), "\xEF\xCD\xAB\x89\x67\x45\x23\x01", REG_QWORD,
         "81985529216486895 [TYPE_QWORD]"},
        {RegistryValue(Bytes{0xAB, 0, 0x5c}), B("\xAB\0\x5c"), REG_BINARY,
         "AB 00 5C [TYPE_BINARY]"},
        {Make(V::TYPE_STRING, 0, {"ab", "lost"}), B("ab\0"), REG_SZ, "ab [TYPE_STRING]"},
        {Make(V::TYPE_EXPAND_STRING, 0, {"%PATH%"}), B("%PATH%\0"), REG_EXPAND_SZ,
         "%PATH% [TYPE_EXPAND_STRING]"},
        {Make(V::TYPE_MULTI_STRING, 0, {"a", "b c"}), B("a\0b c\0\0"), REG_MULTI_SZ,
         "a, b c [TYPE_MULTI_STRING]"},
        {Make(V::TYPE_MULTI_STRING), B("\0"), REG_MULTI_SZ, " [TYPE_MULTI_STRING]"},
    };
    FOR_EACH_CASE(c, cases) {
        key->writeValue("v", c.written);
        char stored[16];
        DWORD length = sizeof stored, type = 99;
        ASSERT_EQ(RegGetValueA(root, nullptr, "v", 0x1000FFFF, &type, stored, &length), 0);
        EXPECT_EQ(std::string(stored, length), c.stored);
        EXPECT_EQ(type, c.storedType);
        // The caller's base and fill survive and apply to what follows.
        std::ostringstream out;
        out << std::oct << std::setfill('*') << key->readValue("v") << std::setw(4) << 8;
        EXPECT_EQ(out.str(), std::string(c.read) + "**10");
    }
}

TEST_F(RegistryKeyTest, RawBlocksAsRead) {
    const struct {
        DWORD type;
        std::string bytes, read; // as printed
    } cases[] = {
        {REG_MULTI_SZ, B("a\0b\0\0"), "a, b [TYPE_MULTI_STRING]"},
        {REG_MULTI_SZ, B("a\0\0b\0\0"), "a, b [TYPE_MULTI_STRING]"},
        {REG_SZ, B("a\0b\0"), B("a\0b [TYPE_STRING]")},
        {REG_SZ, "", " [TYPE_STRING]"},
    };
    FOR_EACH_CASE(c, cases) {
        ASSERT_EQ(SetRaw("raw", c.type, c.bytes), ERROR_SUCCESS);
        std::ostringstream out;
        out << key->readValue("raw") << "|" << key->listValues(true).front().second;
        EXPECT_EQ(out.str(), c.read + "|" + c.read);
    }
    // Registry types without a counterpart keep no data.
    for (DWORD type : {5u, 0xFFFFu}) {
        const RegistryValue value = RegistryValue::fromRaw(Bytes{1, 2, 3, 4}, type);
        std::ostringstream out;
        EXPECT_EQ(value.number + value.binary.size() + value.strings.size(), 0u);
        EXPECT_EQ((out << value).good() ? out.str() : "", "? [TYPE_UNKNOWN]");
    }
    EXPECT_EQ(Make(V::TYPE_UNKNOWN, 1, {"x"}).toRaw(),
              std::make_pair(Bytes{}, std::uint32_t(0xFFFFFFFF)));
    EXPECT_THROW(RegistryValue::fromRaw(Bytes(7), REG_QWORD), std::invalid_argument);
    // Short DWORD data fails wherever it is converted; a listing without data never is.
    ASSERT_EQ(SetRaw("raw", REG_DWORD, "zz"), ERROR_SUCCESS);
    EXPECT_THROW(key->listValues(true), std::invalid_argument);
    EXPECT_EQ(key->listValueNames(), std::list<std::string>{"raw"});
    try {
        RegistryKey::readDWord(HKEY_CURRENT_USER, path, "raw");
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Buffer too small for a DWORD");
    }
}

TEST_F(RegistryKeyTest, ListingsAndViews) {
    RegistryKey viewed(root, "", RegistryKey::READ | RegistryKey::WRITE, RegistryKey::VIEW_32);
    auto created = viewed.createSubkey("sub");
    auto opened = viewed.openSubkey("SUB", RegistryKey::READ);
    EXPECT_EQ(created->view, 0u);
    EXPECT_EQ(opened->view, 1u);
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
        std::function<std::string()> call;
        const char* result; // or the class raised
    } cases[] = {
        {[&] { return std::to_string(RegistryKey::readDWord(user, p, "dword")); }, "42"},
        {[&] { return RegistryKey::readString(user, p, "text", 2); }, "hello"},
        {[&] { return std::to_string(RegistryKey::readValue(user, p, "dword").number); }, "42"},
        {[&] { return std::to_string(RegistryKey::readDWord(user, p, "text")); }, "type"},
        {[&] { return RegistryKey::readString(user, p, "dword", 1); }, "type"},
        {[&] { return RegistryKey::readString(user, p, "expand"); }, "type"},
        {[&] { return RegistryKey::readValue(user, p, "missing").strings.front(); }, "os"},
    };
    FOR_EACH_CASE(c, cases) {
        CountOpensAndCloses();
        std::string result;
        try {
            result = c.call();
        } catch (const kiv::RegistryTypeError& e) {
            result = "type";
            EXPECT_STREQ(e.file, "include/os/win32/Registry");
        } catch (const kiv::RegistryOsError&) {
            result = "os";
        }
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(opens, 1);
        EXPECT_EQ(closes, 1);
    }
}

} // namespace

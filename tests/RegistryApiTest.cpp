// The registry calls themselves: run natively against the stand-in of compat/ and under
// Wine against the real registry. Any difference is a fault of the stand-in.
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "support/RegistryFixture.h"

namespace {

class RegistryApi : public RegistryTest {};

TEST_F(RegistryApi, StatusesOfRefusedCalls) {
    MakeKey("parent\\child");
    MakeKey("A\\Deeper");
    ASSERT_EQ(SetRaw("present", REG_SZ, std::string("x", 2)), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("bin3", REG_BINARY, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("bin4", REG_BINARY, "abcd"), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("dword2", REG_DWORD, "ab"), ERROR_SUCCESS);
    HKEY readOnly = nullptr, writeOnly = nullptr, gone = nullptr, out = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, "", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(root, nullptr, 0, KEY_WRITE, &writeOnly), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(root, "doomed", &gone), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(root, "DOOMED"), ERROR_SUCCESS);
    char buffer[64];
    DWORD size = sizeof buffer, type = 0;
    // Opens `path` below the test key into a handle of its own, closed again.
    auto open = [&](const char* path) {
        LSTATUS status = RegOpenKeyExA(root, path, 0, KEY_READ, &out);
        EXPECT_TRUE(status != ERROR_SUCCESS || out != root);
        return status == ERROR_SUCCESS ? RegCloseKey(out) : status;
    };
    const struct {
        std::function<LSTATUS()> call;
        LSTATUS status;
    } cases[] = {
        {[&] { return open("a\\DEEPER"); }, 0},
        {[&] { return open("a\\\\deeper\\"); }, 0},
        {[&] { return open("missing"); }, 2},
        {[&] { return open("a\\deep"); }, 2},
        {[&] { return open("\\parent"); }, 161},
        {[&] { return RegCreateKeyExA(root, "\\x", 0, 0, 0, KEY_READ, 0, &out, 0); }, 161},
        {[&] { return RegDeleteKeyA(root, nullptr); }, 87},
        {[&] { return RegDeleteKeyA(HKEY_CURRENT_USER, ""); }, 5},
        {[&] { return RegDeleteValueA(readOnly, "present"); }, 5},
        {[&] { return RegSetKeyValueA(root, nullptr, "v", REG_BINARY, nullptr, 3); }, 998},
        {[&] { return RegGetValueA(writeOnly, 0, "present", 0x1000FFFF, &type, buffer, &size); },
         5},
        {[&] { return RegGetValueA(root, "missing", "present", 0x1000FFFF, 0, buffer, &size); }, 2},
        {[&] { return RegGetValueA(root, 0, "present", 0x1000FFFF, &type, buffer, nullptr); }, 87},
        {[&] { return RegGetValueA(root, 0, "present", RRF_RT_REG_DWORD, 0, 0, &size); }, 1630},
        // Binary data asked for as a number must have the number's size; DWORDs are not checked.
        {[&] { return RegGetValueA(root, 0, "bin3", RRF_RT_DWORD, 0, 0, &size); }, 1629},
        {[&] { return RegGetValueA(root, 0, "bin3", RRF_RT_QWORD, 0, 0, &size); }, 1629},
        {[&] { return RegGetValueA(root, 0, "bin4", RRF_RT_DWORD, 0, 0, &size); }, 0},
        {[&] { return RegGetValueA(root, 0, "dword2", RRF_RT_DWORD, 0, 0, &size); }, 0},
        {[&] { return RegEnumKeyA(writeOnly, 0, buffer, sizeof buffer); }, 5},
        {[&] { return RegEnumKeyA(root, 2, buffer, sizeof buffer); }, 259},
        {[&] { return RegEnumValueA(root, 9, buffer, &size, 0, 0, 0, 0); }, 259},
        {[&] { return RegEnumValueA(root, 0, buffer, &size, 0, 0, (LPBYTE)buffer, 0); }, 87},
        {[&] { return RegSetKeyValueA(gone, nullptr, "v", REG_SZ, "a", 2); }, 1018},
        {[&] { return RegCreateKeyA(gone, "below", &out); }, 1018},
        {[&] { return RegEnumKeyA(gone, 0, buffer, sizeof buffer); }, 1018},
        {[&] { return RegCloseKey(nullptr); }, 6},
        {[&] { return RegCloseKey(HKEY_CURRENT_USER); }, 0},
        {[&] { return RegCloseKey(gone); }, 0},
    };
    FOR_EACH_CASE(c, cases) {
        size = sizeof buffer;
        EXPECT_EQ(c.call(), c.status);
    }
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);
}

TEST_F(RegistryApi, GetValueMoreDataProtocol) {
    const std::string stored = std::string(40, 'x') + '\0';
    ASSERT_EQ(SetRaw("text", REG_SZ, stored), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("empty", REG_SZ, ""), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("path", REG_EXPAND_SZ, std::string("%PATH%", 7)), ERROR_SUCCESS);
    const struct {
        const char* name;
        DWORD capacity;
        LSTATUS status;
        DWORD length;
    } cases[] = {{"text", 41, 0, 41}, {"text", 40, 234, 41}, {"text", 0, 234, 41},
                 {"empty", 0, 0, 0},  {"path", 7, 0, 7},     {"path", 6, 234, 7}};
    FOR_EACH_CASE(c, cases) {
        char buffer[80];
        memset(buffer, 0x5A, sizeof buffer);
        DWORD type = 77, length = c.capacity, needed = 0;
        EXPECT_EQ(RegGetValueA(root, nullptr, c.name, 0x1000FFFF, &type, buffer, &length),
                  c.status);
        EXPECT_EQ(type, DWORD(c.name[0] == 'p' ? REG_EXPAND_SZ : REG_SZ));
        EXPECT_EQ(length, c.length);
        // All of it when it fits, unexpanded; not a byte when it does not.
        const std::string expected = c.name[0] == 'p' ? std::string("%PATH%", 7) : stored;
        EXPECT_EQ(std::string(buffer, c.length + 1),
                  c.status ? std::string(c.length + 1, 0x5A) : expected.substr(0, c.length) + 'Z');
        // A size query alone succeeds with the same length.
        EXPECT_EQ(RegGetValueA(root, nullptr, c.name, 0x1000FFFF, nullptr, nullptr, &needed), 0);
        EXPECT_EQ(needed, c.length);
    }
}

TEST_F(RegistryApi, EnumMoreDataProtocol) {
    ASSERT_EQ(SetRaw("name", REG_BINARY, "12345"), ERROR_SUCCESS);
    const struct {
        DWORD nameCapacity, dataCapacity;
        LSTATUS status;
        DWORD nameLength, dataLength; // as returned
    } cases[] = {{5, 5, 0, 4, 5}, {16, 4, 234, 16, 5}, {4, 16, 234, 4, 5}, {0, 16, 234, 0, 5}};
    char name[16];
    FOR_EACH_CASE(c, cases) {
        BYTE data[16];
        DWORD nameLength = c.nameCapacity, dataLength = c.dataCapacity, type = 77;
        EXPECT_EQ(RegEnumValueA(root, 0, name, &nameLength, 0, &type, data, &dataLength), c.status);
        EXPECT_EQ(nameLength, c.nameLength);
        EXPECT_EQ(dataLength, c.dataLength);
        EXPECT_EQ(type, DWORD(REG_BINARY));
        if (c.status == ERROR_SUCCESS) {
            EXPECT_TRUE(!strcmp(name, "name") && !memcmp(data, "12345", 5));
        }
    }
    DWORD nameLength, dataLength;
    // A text stored without terminator gets one only where the buffer has room for it.
    ASSERT_EQ(RegSetKeyValueA(root, nullptr, "text", REG_SZ, "abcd", 3), ERROR_SUCCESS);
    for (DWORD capacity : {3u, 4u}) {
        BYTE data[5] = {9, 9, 9, 9, 9};
        nameLength = sizeof name, dataLength = capacity;
        EXPECT_EQ(RegEnumValueA(root, 1, name, &nameLength, 0, 0, data, &dataLength), 0);
        EXPECT_EQ(dataLength, 3u);
        EXPECT_EQ(data[3], capacity == 3 ? 9 : 0);
    }
    // A sub-key name that does not fit leaves the buffer alone.
    MakeKey("abcdef");
    memcpy(name, "untouched", 10);
    EXPECT_EQ(RegEnumKeyA(root, 0, name, 6), ERROR_MORE_DATA);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(RegEnumKeyA(root, 0, name, 7), ERROR_SUCCESS);
    EXPECT_STREQ(name, "abcdef");
}

TEST_F(RegistryApi, LongestLengthsAndConcurrentWriters) {
    ASSERT_EQ(SetRaw("v", REG_BINARY, std::string(300, 'b')), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("a-long-value-name", REG_SZ, std::string(200, 's') + '\0'), ERROR_SUCCESS);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const std::string key = "longest-key" + std::to_string(t);
            for (int i = 0; i < 50; ++i)
                failures += RegSetKeyValueA(root, key.c_str(), ("v" + std::to_string(i)).c_str(),
                                            REG_SZ, "x", 2) != ERROR_SUCCESS;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    const struct {
        const char* key;
        DWORD lengths[5]; // sub-keys, longest name, values, longest name, longest data
    } cases[] = {
        // Texts are stored as UTF-16: 201 characters take 402 bytes.
        {"", {4, 12, 2, 17, 402}},
        {"longest-key3", {0, 0, 50, 3, 4}},
    };
    FOR_EACH_CASE(c, cases) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(root, c.key, 0, KEY_READ, &key), ERROR_SUCCESS);
        DWORD n[5] = {9, 9, 9, 9, 9};
        EXPECT_EQ(RegQueryInfoKeyA(key, 0, 0, 0, &n[0], &n[1], 0, &n[2], &n[3], &n[4], 0, 0),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::vector<DWORD>(n, n + 5), std::vector<DWORD>(c.lengths, c.lengths + 5));
        RegCloseKey(key);
    }
}

} // namespace

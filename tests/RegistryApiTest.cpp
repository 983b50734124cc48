// The registry calls themselves: run natively against the stand-in of compat/ and under
// Wine against the real registry. Any difference is a fault of the stand-in.
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "support/RegistryFixture.h"

namespace {

std::vector<std::string> SubkeysOf(HKEY key) {
    std::vector<std::string> names;
    char name[300];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    return names;
}

class RegistryApi : public RegistryTest {};

TEST_F(RegistryApi, StatusesOfRefusedCalls) {
    MakeKey("parent\\child");
    ASSERT_EQ(SetRaw("present", REG_SZ, std::string("x", 2)), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("bin3", REG_BINARY, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("bin4", REG_BINARY, "abcd"), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("dword2", REG_DWORD, "ab"), ERROR_SUCCESS);
    HKEY readOnly = nullptr, writeOnly = nullptr, gone = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, "", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(root, nullptr, 0, KEY_WRITE, &writeOnly), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(root, "doomed", &gone), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(root, "DOOMED"), ERROR_SUCCESS);
    HKEY out = nullptr;
    char buffer[64];
    DWORD size = sizeof buffer, type = 0;
    const struct {
        std::function<LSTATUS()> call;
        LSTATUS status;
    } cases[] = {
        {[&] { return RegOpenKeyExA(root, "missing", 0, KEY_READ, &out); }, 2},
        {[&] { return RegOpenKeyExA(root, "parent\\missing", 0, KEY_READ, &out); }, 2},
        {[&] { return RegOpenKeyExA(root, "\\parent", 0, KEY_READ, &out); }, 161},
        {[&] { return RegCreateKeyExA(root, "\\x", 0, 0, 0, KEY_READ, 0, &out, 0); }, 161},
        {[&] { return RegDeleteKeyA(root, "parent"); }, 5},
        {[&] { return RegDeleteKeyA(root, "missing"); }, 2},
        {[&] { return RegDeleteKeyA(root, nullptr); }, 87},
        {[&] { return RegDeleteKeyA(HKEY_CURRENT_USER, ""); }, 5},
        {[&] { return RegDeleteTreeA(root, "missing"); }, 2},
        {[&] { return RegDeleteValueA(root, "missing"); }, 2},
        {[&] { return RegDeleteValueA(readOnly, "present"); }, 5},
        {[&] { return RegSetKeyValueA(readOnly, nullptr, "v", REG_SZ, "a", 2); }, 5},
        {[&] { return RegSetKeyValueA(root, nullptr, "v", REG_BINARY, nullptr, 3); }, 998},
        {[&] { return RegGetValueA(writeOnly, 0, "present", 0x1000FFFF, &type, buffer, &size); },
         5},
        {[&] { return RegGetValueA(root, 0, "missing", 0x1000FFFF, &type, buffer, &size); }, 2},
        {[&] { return RegGetValueA(root, "missing", "present", 0x1000FFFF, 0, buffer, &size); }, 2},
        {[&] { return RegGetValueA(root, 0, "present", 0x1000FFFF, &type, buffer, nullptr); }, 87},
        {[&] { return RegGetValueA(root, 0, "present", RRF_RT_REG_DWORD, 0, 0, &size); }, 1630},
        // Binary data asked for as a number must have the number's size; DWORDs are not checked.
        {[&] { return RegGetValueA(root, 0, "bin3", RRF_RT_DWORD, 0, 0, &size); }, 1629},
        {[&] { return RegGetValueA(root, 0, "bin3", RRF_RT_QWORD, 0, 0, &size); }, 1629},
        {[&] { return RegGetValueA(root, 0, "bin4", RRF_RT_DWORD, 0, 0, &size); }, 0},
        {[&] { return RegGetValueA(root, 0, "dword2", RRF_RT_DWORD, 0, 0, &size); }, 0},
        {[&] { return RegEnumKeyA(writeOnly, 0, buffer, sizeof buffer); }, 5},
        {[&] { return RegEnumKeyA(root, 1, buffer, sizeof buffer); }, 259},
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

TEST_F(RegistryApi, PathForms) {
    MakeKey("A\\Deeper");
    const struct {
        const char* path;
        LSTATUS status;
    } cases[] = {{"a\\DEEPER", 0}, {"a\\\\deeper\\", 0}, {"\\a", 161}, {"a\\deep", 2}, {"", 0}};
    FOR_EACH_CASE(c, cases) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(root, c.path, 0, KEY_READ, &key), c.status);
        EXPECT_TRUE(key == nullptr || key != root) << "a handle of its own";
        RegCloseKey(key);
    }
    EXPECT_EQ(SubkeysOf(root), std::vector<std::string>{"A"});
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
        DWORD type;
        DWORD length;
    } cases[] = {
        {"text", 64, 0, REG_SZ, 41},        {"text", 41, 0, REG_SZ, 41},
        {"text", 40, 234, REG_SZ, 41},      {"text", 0, 234, REG_SZ, 41},
        {"empty", 0, 0, REG_SZ, 0},         {"path", 7, 0, REG_EXPAND_SZ, 7},
        {"path", 6, 234, REG_EXPAND_SZ, 7},
    };
    FOR_EACH_CASE(c, cases) {
        char buffer[80];
        memset(buffer, 0x5A, sizeof buffer);
        DWORD type = 77, length = c.capacity;
        EXPECT_EQ(RegGetValueA(root, nullptr, c.name, 0x1000FFFF, &type, buffer, &length),
                  c.status);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(length, c.length);
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(memcmp(buffer, c.name[0] == 'p' ? "%PATH%" : stored.data(), c.length), 0);
        }
        // Nothing is written past what fits, and nothing at all when it does not fit.
        const size_t untouched = c.status == ERROR_SUCCESS ? c.length : 0;
        EXPECT_EQ(buffer[untouched], 0x5A);
        // A size query alone succeeds with the same length.
        DWORD needed = 0;
        EXPECT_EQ(RegGetValueA(root, nullptr, c.name, 0x1000FFFF, nullptr, nullptr, &needed), 0);
        EXPECT_EQ(needed, c.length);
    }
}

TEST_F(RegistryApi, EnumValueMoreDataProtocol) {
    ASSERT_EQ(SetRaw("name", REG_BINARY, "12345"), ERROR_SUCCESS);
    const struct {
        DWORD nameCapacity;
        DWORD dataCapacity;
        LSTATUS status;
        DWORD nameLength; // as returned
        DWORD dataLength;
    } cases[] = {
        {16, 16, 0, 4, 5},  {5, 5, 0, 4, 5},    {16, 4, 234, 16, 5},
        {4, 16, 234, 4, 5}, {0, 16, 234, 0, 5},
    };
    FOR_EACH_CASE(c, cases) {
        char name[16];
        BYTE data[16];
        DWORD nameLength = c.nameCapacity, dataLength = c.dataCapacity, type = 77;
        EXPECT_EQ(RegEnumValueA(root, 0, name, &nameLength, 0, &type, data, &dataLength), c.status);
        EXPECT_EQ(nameLength, c.nameLength);
        EXPECT_EQ(dataLength, c.dataLength);
        EXPECT_EQ(type, DWORD(REG_BINARY));
        if (c.status == ERROR_SUCCESS) {
            EXPECT_STREQ(name, "name");
            EXPECT_EQ(memcmp(data, "12345", 5), 0);
        }
    }
    // Without a data buffer the length alone is reported.
    char name[16];
    DWORD nameLength = sizeof name, dataLength = 0;
    EXPECT_EQ(RegEnumValueA(root, 0, name, &nameLength, 0, 0, 0, &dataLength), ERROR_SUCCESS);
    EXPECT_EQ(dataLength, 5u);
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

TEST_F(RegistryApi, LongestLengthsOfAFreshKey) {
    MakeKey("k");
    MakeKey("longest-key");
    ASSERT_EQ(SetRaw("v", REG_BINARY, std::string(300, 'b')), ERROR_SUCCESS);
    ASSERT_EQ(SetRaw("a-long-value-name", REG_SZ, std::string(200, 's') + '\0'), ERROR_SUCCESS);
    DWORD subkeys = 0, longestKey = 0, values = 0, longestName = 0, longestData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(root, 0, 0, 0, &subkeys, &longestKey, 0, &values, &longestName,
                               &longestData, 0, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(longestKey, 11u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestName, 17u);
    // Texts are stored as UTF-16: 201 characters take 402 bytes.
    EXPECT_EQ(longestData, 402u);
    HKEY empty = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, "k", 0, KEY_READ, &empty), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyA(empty, 0, 0, 0, &subkeys, &longestKey, 0, &values, &longestName,
                               &longestData, 0, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys + longestKey + values + longestName + longestData, 0u);
    RegCloseKey(empty);
}

TEST_F(RegistryApi, ConcurrentWritersEachSeeTheirOwnKey) {
    constexpr int kThreads = 4, kRounds = 50;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string key = "worker" + std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                const std::string value = "v" + std::to_string(i);
                if (RegSetKeyValueA(root, key.c_str(), value.c_str(), REG_SZ, "x", 2) != 0)
                    ++failures[t];
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    for (int t = 0; t < kThreads; ++t) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(root, ("worker" + std::to_string(t)).c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        DWORD values = 0;
        EXPECT_EQ(RegQueryInfoKeyA(key, 0, 0, 0, 0, 0, 0, &values, 0, 0, 0, 0), ERROR_SUCCESS);
        EXPECT_EQ(values, DWORD(kRounds));
        RegCloseKey(key);
    }
}

} // namespace

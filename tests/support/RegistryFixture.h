// A key of the test's own below HKEY_CURRENT_USER\Software (natively in the stand-in's
// registry), made new for each test and deleted with its tree: runs never meet nor leave residue.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compat/win32.h"

class RegistryTest : public ::testing::Test {
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
    }
    void TearDown() override {
        RegCloseKey(root);
        EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
    }
    void MakeKey(const char* sub) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(root, sub, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    LSTATUS SetRaw(const char* name, DWORD type, const std::string& bytes) {
        return RegSetKeyValueA(root, nullptr, name, type, bytes.data(), DWORD(bytes.size()));
    }

    HKEY root = nullptr;
    std::string path; // below HKEY_CURRENT_USER
};

// A fresh directory of the test's own under the temporary directory, with helpers to put
// files and directories into it; removed with everything in it at the end.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "osutil/OsFiles.h"

class OsTestDir {
public:
    OsTestDir() {
        char buffer[MAX_PATH];
        EXPECT_EQ(1, MakeTempDir(buffer, sizeof(buffer)));
        path = buffer;
    }
    ~OsTestDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    OsTestDir(const OsTestDir&) = delete;
    OsTestDir& operator=(const OsTestDir&) = delete;

    // `relative` joined with the platform's separator.
    std::string operator/(const std::string& relative) const {
        return path + KIV_PATH_SEPARATOR + relative;
    }
    std::string File(const std::string& relative, const std::string& bytes = "") const {
        std::ofstream(*this / relative, std::ios::binary) << bytes;
        return *this / relative;
    }
    std::string Dir(const std::string& relative) const {
        std::filesystem::create_directories(*this / relative);
        return *this / relative;
    }

    std::string path;
};

// Named shared memory: open-before-create, the created flag, backing files and their
// errors, and the bytes another process writes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "TestHelpers.h"
#include "osutil/OsProcess.h"
#include "osutil/OsSharedMemory.h"
#include "support/ChildProcess.h"

namespace {

constexpr DWORD kSize = 4096;

std::string Bytes(const SharedMemory& memory, size_t length) {
    return std::string(static_cast<const char*>(memory.address), length);
}

TEST(OsSharedMemory, SecondCreateOpensTheFirstOnesMapping) {
    std::string name = UniqueObjectName("shm");
    SharedMemory first, second;
    ASSERT_EQ(1, CreateSharedMemory(&first, kSize, nullptr, name.c_str(), 0));
    EXPECT_EQ(1u, first.created);
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), first.lastError) << "the failed open first";
    EXPECT_EQ(INVALID_HANDLE_VALUE, first.file) << "in the paging file";
    EXPECT_EQ(kSize, first.size);
    ASSERT_NE(nullptr, first.address);
    std::memcpy(first.address, "first", 5);

    ASSERT_EQ(
        1, CreateSharedMemory(&second, kSize, nullptr, name.c_str(), kSharedMemoryOpenToEveryone));
    EXPECT_EQ(0u, second.created);
    EXPECT_EQ(0u, second.lastError);
    ASSERT_NE(nullptr, second.address);
    EXPECT_EQ("first", Bytes(second, 5));
    std::memcpy(static_cast<char*>(second.address) + kSize - 6, "second", 6);
    EXPECT_EQ(1, FlushSharedMemory(&second, second.address, kSize));
    EXPECT_EQ(0, std::memcmp(static_cast<char*>(first.address) + kSize - 6, "second", 6));

    EXPECT_EQ(1, CloseSharedMemory(&first));
    EXPECT_EQ(nullptr, first.address);
    EXPECT_EQ(1, CloseSharedMemory(&second));
    SharedMemory gone;
    EXPECT_EQ(0, OpenSharedMemory(&gone, kSize, name.c_str())) << "gone with its last handle";
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), gone.lastError);
    EXPECT_EQ(nullptr, gone.mapping);
    EXPECT_EQ(0, CloseSharedMemory(nullptr));
}

TEST(OsSharedMemory, BackingFileNewOrExisting) {
    struct Case {
        bool fileExists;
        DWORD created;
        DWORD lastError;
    };
    const Case cases[] = {{false, 1, ERROR_FILE_NOT_FOUND}, {true, 0, ERROR_FILE_NOT_FOUND}};
    FOR_EACH_CASE(c, cases) {
        TempFile backing("kiv_shm");
        if (c.fileExists)
            backing.Write("kept");
        SharedMemory memory;
        std::string name = UniqueObjectName("shmfile");
        ASSERT_EQ(1, CreateSharedMemory(&memory, kSize, backing.c_str(), name.c_str(), 0));
        EXPECT_EQ(c.created, memory.created);
        EXPECT_EQ(c.lastError, memory.lastError) << "the open of the mapping failed first";
        EXPECT_NE(INVALID_HANDLE_VALUE, memory.file);
        ASSERT_NE(nullptr, memory.address);
        if (c.fileExists) {
            EXPECT_EQ("kept", Bytes(memory, 4));
        }
        std::memcpy(static_cast<char*>(memory.address) + 4, "+new", 4);
        EXPECT_EQ(1, FlushSharedMemory(&memory, nullptr, 0));

        SharedMemory opened;
        ASSERT_EQ(1, OpenSharedMemory(&opened, kSize, name.c_str()));
        EXPECT_EQ(0, std::memcmp(static_cast<char*>(opened.address) + 4, "+new", 4));
        EXPECT_EQ(1, CloseSharedMemory(&opened));
        EXPECT_EQ(1, CloseSharedMemory(&memory));
        std::string content = backing.Read();
        EXPECT_EQ(size_t(kSize), content.size()) << "the file grows to the mapping";
        EXPECT_EQ(c.fileExists ? std::string("kept") : std::string(4, '\0'), content.substr(0, 4));
        EXPECT_EQ("+new", content.substr(4, 4));
    }
}

TEST(OsSharedMemory, UnopenableBackingFileReportsItsError) {
    auto directory = std::filesystem::temp_directory_path();
    std::string missingDirectory = (directory / "kiv-no-such-dir-4711" / "file").string();
    std::string aDirectory = directory.string();
    struct Case {
        const char* path;
        DWORD error;
    };
    const Case cases[] = {{missingDirectory.c_str(), ERROR_PATH_NOT_FOUND},
                          {aDirectory.c_str(), ERROR_ACCESS_DENIED}};
    FOR_EACH_CASE(c, cases) {
        SharedMemory memory;
        EXPECT_EQ(
            0, CreateSharedMemory(&memory, kSize, c.path, UniqueObjectName("shmbad").c_str(), 0));
        EXPECT_EQ(c.error, memory.lastError);
        EXPECT_EQ(INVALID_HANDLE_VALUE, memory.file);
        EXPECT_EQ(nullptr, memory.mapping);
        EXPECT_EQ(nullptr, memory.address);
    }
}

TEST(OsSharedMemory, ViewLargerThanTheMappingFailsToOpen) {
    std::string name = UniqueObjectName("shm");
    SharedMemory memory, larger;
    ASSERT_EQ(1, CreateSharedMemory(&memory, kSize, nullptr, name.c_str(), 0));
    EXPECT_EQ(0, OpenSharedMemory(&larger, 4 * kSize, name.c_str()));
    EXPECT_NE(0u, larger.lastError);
    EXPECT_EQ(nullptr, larger.mapping);
    EXPECT_EQ(1, CloseSharedMemory(&memory));
}

TEST(OsSharedMemory, AnotherProcessWritesWhatTheCreatorReads) {
    std::string name = UniqueObjectName("shm");
    SharedMemory memory;
    ASSERT_EQ(1, CreateSharedMemory(&memory, kSize, nullptr, name.c_str(), 0));
    std::memset(memory.address, 0, kSize);
    std::string command =
        ChildCommand("write-shm " + name + " " + std::to_string(kSize) + " from-the-child");
    DWORD exitCode = 0xDEADBEEF;
    ASSERT_EQ(1, RunProcess(command.c_str(), SW_HIDE, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(std::string("from-the-child"), std::string(static_cast<char*>(memory.address)));
    EXPECT_EQ(1, CloseSharedMemory(&memory));
}

} // namespace

// The DLL says what it is: its version resource carries the project's version and name.
#ifdef _WIN32
#include "compat/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Loaded at run time, not imported: the OS identification runs switch the library off for
// the program to reach their last step.
template <typename F>
F VersionCall(const char* name) {
    static HMODULE library = LoadLibraryA("version.dll");
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

BOOL QueryValue(std::vector<char>& data, const char* path, void** value, UINT* size) {
    auto query = VersionCall<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>("VerQueryValueA");
    return query != nullptr && query(data.data(), path, value, size);
}

std::string StringValue(std::vector<char>& data, const char* name) {
    char* value = nullptr;
    UINT size = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    return QueryValue(data, path.c_str(), reinterpret_cast<void**>(&value), &size)
               ? std::string(value, size > 0 ? size - 1 : 0)
               : "<none>";
}

TEST(DllVersion, ResourceNamesTheProjectVersion) {
    auto sizeOf = VersionCall<DWORD(WINAPI*)(LPCSTR, LPDWORD)>("GetFileVersionInfoSizeA");
    auto read = VersionCall<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>("GetFileVersionInfoA");
    ASSERT_TRUE(sizeOf != nullptr && read != nullptr) << GetLastError();
    DWORD ignored = 0;
    DWORD size = sizeOf(KIV_SHARED_LIBRARY_PATH, &ignored);
    ASSERT_GT(size, 0u) << GetLastError();
    std::vector<char> data(size);
    ASSERT_TRUE(read(KIV_SHARED_LIBRARY_PATH, 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(QueryValue(data, "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(sscanf(KIV_PROJECT_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed->dwFileVersionLS, patch << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const std::pair<const char*, std::string> strings[] = {
        {"FileVersion", KIV_PROJECT_VERSION},
        {"ProductVersion", KIV_PROJECT_VERSION},
        {"OriginalFilename", "kivupdate.dll"},
        {"ProductName", "kivupdate"},
        {"FileDescription", "Kiv VPN client update service"},
    };
    for (const auto& [name, want] : strings)
        EXPECT_EQ(StringValue(data, name), want) << name;
}

} // namespace
#endif

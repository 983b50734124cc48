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

TEST(DllVersion, ResourceNamesTheProjectVersion) {
    auto sizeOf = VersionCall<DWORD(WINAPI*)(LPCSTR, LPDWORD)>("GetFileVersionInfoSizeA");
    auto read = VersionCall<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>("GetFileVersionInfoA");
    auto query = VersionCall<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>("VerQueryValueA");
    ASSERT_TRUE(sizeOf && read && query) << GetLastError();
    DWORD ignored = 0;
    std::vector<char> data(sizeOf(KIV_SHARED_LIBRARY_PATH, &ignored) + 1);
    ASSERT_TRUE(read(KIV_SHARED_LIBRARY_PATH, 0, DWORD(data.size()), data.data()));
    // The fixed record's versions and type, then the texts.
    std::string seen, version = KIV_PROJECT_VERSION;
    void* value = nullptr;
    UINT size = 0;
    ASSERT_TRUE(query(data.data(), "\\", &value, &size));
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    for (DWORD word : {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS})
        seen += std::to_string(word >> 16) + "." + std::to_string(word & 0xFFFF) + " ";
    seen += std::to_string(fixed->dwFileType);
    for (const char* name :
         {"FileVersion", "ProductVersion", "OriginalFilename", "ProductName", "FileDescription"}) {
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        seen += query(data.data(), path.c_str(), &value, &size) && size > 0
                    ? "|" + std::string(static_cast<char*>(value), size - 1)
                    : "|<none>";
    }
    const std::string::size_type patch = version.rfind('.'); // VFT_DLL is 2
    const std::string majorMinor = version.substr(0, patch);
    EXPECT_EQ(majorMinor + " " + version.substr(patch + 1) + ".0 " + majorMinor + " 2|" + version +
                  "|" + version + "|kivupdate.dll|kivupdate|Kiv VPN client update service",
              seen);
}

} // namespace
#endif

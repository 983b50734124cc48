// Loads the built library the way a host does and checks its export table.
#include "update/kivupdate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "compat/win32.h"
#else
#include <dlfcn.h>
#include <elf.h>
#endif

#ifdef KIV_SHARED_LIBRARY_PATH
namespace {

#ifdef _WIN32
std::vector<std::string> ExportedNames(HMODULE module) {
    auto base = reinterpret_cast<const uint8_t*>(module);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    std::vector<std::string> names;
    auto nameRvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    if (directory->NumberOfFunctions != directory->NumberOfNames)
        names.emplace_back("<exports by ordinal only>");
    return names;
}
#else
// Defined, globally visible symbols of the shared object's dynamic symbol table.
std::vector<std::string> ExportedNames(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::string> names;
    auto header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    auto sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        auto symbol = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        for (size_t s = 0; s < sections[i].sh_size / sizeof(Elf64_Sym); ++s, ++symbol) {
            const int binding = ELF64_ST_BIND(symbol->st_info);
            if (symbol->st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK) &&
                ELF64_ST_VISIBILITY(symbol->st_other) == STV_DEFAULT)
                names.emplace_back(image.data() + sections[sections[i].sh_link].sh_offset +
                                   symbol->st_name);
        }
    }
    return names;
}
#endif

TEST(Exports, ExactlyTheTwoEntryPoints) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(KIV_SHARED_LIBRARY_PATH);
    ASSERT_NE(nullptr, module) << KIV_SHARED_LIBRARY_PATH;
    auto check = reinterpret_cast<decltype(&CheckForUpdate)>(
        reinterpret_cast<void*>(GetProcAddress(module, "CheckForUpdate")));
    auto download = reinterpret_cast<decltype(&DownloadUpdate)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DownloadUpdate")));
    std::vector<std::string> names = ExportedNames(module);
#else
    void* module = dlopen(KIV_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, module) << dlerror();
    auto check = reinterpret_cast<decltype(&CheckForUpdate)>(dlsym(module, "CheckForUpdate"));
    auto download = reinterpret_cast<decltype(&DownloadUpdate)>(dlsym(module, "DownloadUpdate"));
    std::vector<std::string> names = ExportedNames(KIV_SHARED_LIBRARY_PATH);
#endif
    ASSERT_NE(nullptr, check);
    ASSERT_NE(nullptr, download);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"CheckForUpdate", "DownloadUpdate"}), names);

    // Calls that must not touch the network answer at once through the export.
    uint8_t buffer[16];
    memset(buffer, 0xAB, sizeof buffer);
    EXPECT_EQ(0u, check(1, nullptr, nullptr, 0, buffer, sizeof buffer));
    EXPECT_EQ(0u, check(1, "", nullptr, 0, buffer, sizeof buffer));
    EXPECT_EQ(0xAB, buffer[0]);
    EXPECT_EQ(0, download("http://127.0.0.1:9/x", nullptr, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(0, download(nullptr, "unused", nullptr, 0, nullptr, nullptr));
#ifdef _WIN32
    FreeLibrary(module);
#else
    dlclose(module);
#endif
}

} // namespace
#endif

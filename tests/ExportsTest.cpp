// Loads the built library the way a host does and checks its export table.
#include "update/kivupdate.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Both entry points are found by name, as a host finds them, and nothing else is exported.
TEST(Exports, ExactlyTheTwoEntryPoints) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(KIV_SHARED_LIBRARY_PATH);
    ASSERT_NE(nullptr, module) << KIV_SHARED_LIBRARY_PATH;
    const bool found = GetProcAddress(module, "CheckForUpdate") != nullptr &&
                       GetProcAddress(module, "DownloadUpdate") != nullptr;
    std::vector<std::string> names = ExportedNames(module);
    FreeLibrary(module);
#else
    void* module = dlopen(KIV_SHARED_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, module) << dlerror();
    const bool found = dlsym(module, "CheckForUpdate") && dlsym(module, "DownloadUpdate");
    std::vector<std::string> names = ExportedNames(KIV_SHARED_LIBRARY_PATH);
    dlclose(module);
#endif
    EXPECT_TRUE(found);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"CheckForUpdate", "DownloadUpdate"}), names);
}

} // namespace
#endif

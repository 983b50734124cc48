#include "os/win32/SharedLib.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"
#include "src/os/win32/SharedLibCalls.h"

#include <iostream>

namespace kiv {

const SharedLibCalls kSystemSharedLibCalls = {::LoadLibraryA, ::GetProcAddress, ::FreeLibrary};
SharedLibCalls sharedLibCalls = kSystemSharedLibCalls;

namespace {

const char kFile[] = "src/os/win32/SharedLib";

} // namespace

SharedLib::~SharedLib() {
    try {
        close();
    } catch (const Exception& e) {
        std::cerr << "Error closing shared library:\n" << chainText(e) << "\n";
    }
}

void SharedLib::open(const char* path) {
    if (module != nullptr)
        raiseAt(UsageError("There is already a shared-library loaded."), kFile, __LINE__,
                "kiv::SharedLib::open");
    module = sharedLibCalls.loadLibrary(path);
    if (module == nullptr)
        raiseAt(SharedLibError(), kFile, __LINE__, "kiv::SharedLib::open");
}

void* SharedLib::symbol(const char* name) {
    if (module == nullptr)
        raiseAt(UsageError("Tried to resolve symbol but no library is loaded."), kFile, __LINE__,
                "kiv::SharedLib::symbol");
    FARPROC address = sharedLibCalls.getProcAddress(static_cast<HMODULE>(module), name);
    if (address == nullptr)
        raiseAt(SharedLibError(name), kFile, __LINE__, "kiv::SharedLib::symbol");
    return reinterpret_cast<void*>(address);
}

void SharedLib::close() {
    if (module == nullptr)
        return;
    HMODULE unloading = static_cast<HMODULE>(module);
    module = nullptr;
    if (!sharedLibCalls.freeLibrary(unloading))
        raiseAt(SharedLibError(), kFile, __LINE__, "kiv::SharedLib::close");
}

} // namespace kiv

// One dynamic library, loaded by path, with its exported symbols.
#pragma once

namespace kiv {

class SharedLib {
public:
    SharedLib() = default;
    SharedLib(const SharedLib&) = delete;
    SharedLib& operator=(const SharedLib&) = delete;
    // Unloads the library; a failure goes to standard error instead of being thrown.
    ~SharedLib();

    // Loads the library; the path goes to the system loader as it is, so a bare name is
    // searched in the loader's standard order. Throws UsageError when one is already
    // loaded, SharedLibError when the loader fails.
    void open(const char* path);
    // The address of an exported symbol. Throws UsageError when nothing is loaded,
    // SharedLibError (naming the symbol) when the library does not export it.
    void* symbol(const char* name);
    // Unloads the library, if one is loaded. The object is empty afterwards even when
    // unloading fails (SharedLibError).
    void close();

private:
    void* module = nullptr; // the loaded library, or null
};

} // namespace kiv

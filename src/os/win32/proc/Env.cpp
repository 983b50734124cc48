#include "os/win32/proc/Env.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"

#include <iostream>
#include <memory>

namespace kiv {

namespace {

const char kFile[] = "src/os/win32/proc/Env";

// The entry every end iterator refers to.
const char kEndEntry[] = "";

// How often `get` follows a value that grows between the size query and the read.
const int kGrowthRetries = 8;

} // namespace

void readBacktraceSetting() {
    std::string value;
    if (proc::Env::get("KIV_BACKTRACE", value))
        backtraceEnabled = true;
}

namespace proc {

Env::const_iterator::const_iterator(const char* entry)
    : entry(entry == nullptr || entry[0] == '\0' ? kEndEntry : entry) {}

Env::const_iterator& Env::const_iterator::operator++() {
    if (entry != kEndEntry) {
        while (*entry != '\0')
            ++entry;
        ++entry;
        if (*entry == '\0')
            entry = kEndEntry;
    }
    return *this;
}

Env::Env() : block(GetEnvironmentStringsA()) {
    if (block == nullptr)
        raiseAt(OsError(GetLastError()), kFile, __LINE__, "kiv::proc::Env::Env");
}

Env::~Env() {
    if (!FreeEnvironmentStringsA(block)) {
        try {
            raiseAt(OsError(GetLastError()), kFile, __LINE__, "kiv::proc::Env::~Env");
        } catch (const Exception& e) {
            std::cerr << "Error freeing environment block:\n" << chainText(e) << std::endl;
        }
    }
}

Env::const_iterator Env::begin() const {
    return const_iterator(block);
}

Env::const_iterator Env::end() const {
    return const_iterator(kEndEntry);
}

// When the value grows between the size query and the read, the read reports the larger
// size instead of the text; the read is then repeated with a buffer of that size, a few
// times at most, and a value that keeps growing is refused with OsError 234 (more data)
// rather than read past the buffer or waited on forever.
bool Env::get(const char* name, std::string& value) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) {
        DWORD error = GetLastError();
        if (error == ERROR_ENVVAR_NOT_FOUND) {
            value.clear();
            return false;
        }
        raiseAt(OsError(error), kFile, __LINE__, "kiv::proc::Env::get");
    }
    for (int attempt = 0; attempt < kGrowthRetries; ++attempt) {
        std::unique_ptr<char[]> buffer(new char[size]);
        // An empty value reads as 0 characters like a failure does; only the error number
        // tells them apart.
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableA(name, buffer.get(), size);
        if (length == 0 && GetLastError() != ERROR_SUCCESS)
            raiseAt(OsError(GetLastError()), kFile, __LINE__, "kiv::proc::Env::get");
        if (length < size) {
            value.assign(buffer.get(), length);
            return true;
        }
        size = length;
    }
    raiseAt(OsError(ERROR_MORE_DATA), kFile, __LINE__, "kiv::proc::Env::get");
}

void Env::set(const char* name, const char* value) {
    if (!SetEnvironmentVariableA(name, value))
        raiseAt(OsError(GetLastError()), kFile, __LINE__, "kiv::proc::Env::set");
}

void Env::del(const char* name) {
    if (!SetEnvironmentVariableA(name, nullptr))
        raiseAt(OsError(GetLastError()), kFile, __LINE__, "kiv::proc::Env::del");
}

} // namespace proc
} // namespace kiv

// Registry keys and typed registry values of the platform layer. Every failure is thrown:
// a failed registry call as kiv::RegistryOsError carrying its status, a value read as the
// wrong type as kiv::RegistryTypeError, a forbidden open mode as kiv::UsageError. Short
// DWORD or QWORD data met while reading raise std::invalid_argument.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "compat/win32.h"
#include "os/win32/Exception.h"

namespace kiv {

// One typed registry value, plain data with no link to the key it came from.
class RegistryValue {
public:
    enum Type : std::int32_t {
        TYPE_UNKNOWN = -1, // a registry type without a counterpart here; no data kept
        TYPE_NONE = 0,
        TYPE_DWORD = 1,
        TYPE_QWORD = 2,
        TYPE_BINARY = 3,
        TYPE_STRING = 4,
        TYPE_MULTI_STRING = 5,
        TYPE_EXPAND_STRING = 6,
    };

    // TYPE_NONE with empty fields.
    RegistryValue();
    // TYPE_BINARY holding a copy of `bytes`.
    explicit RegistryValue(const std::vector<std::uint8_t>& bytes);

    // Builds a value from the registry's bytes and type number. STRING and EXPAND_STRING
    // lose their last byte (the terminator); MULTI_STRING keeps its non-empty pieces.
    // DWORD data under 4 bytes and QWORD data under 8 raise std::invalid_argument.
    static RegistryValue fromRaw(const std::vector<std::uint8_t>& bytes,
                                 std::uint32_t registryType);
    // The registry's bytes and type number for this value; texts end in a zero byte.
    // Departure: a STRING or EXPAND_STRING value whose `strings` is empty has no first entry
    // to store; it stores the empty text (one zero byte) rather than read past the list.
    std::pair<std::vector<std::uint8_t>, std::uint32_t> toRaw() const;

    // The number of a TYPE_DWORD value; any other type raises kiv::RegistryTypeError.
    std::uint32_t toDWord() const;
    // The text of a TYPE_STRING value; any other type (EXPAND_STRING too) raises
    // kiv::RegistryTypeError.
    // Departure: with an empty `strings` there is no first entry to give; the result is the
    // empty text rather than a read past the list.
    std::string toString() const;

    Type type;                        // what the value holds
    std::uint64_t number;             // DWORD (low 32 bits) and QWORD values
    std::vector<std::uint8_t> binary; // BINARY values
    std::vector<std::string> strings; // one entry for STRING and EXPAND_STRING, one per element
                                      // for MULTI_STRING
};

// The data, then " [", the type's name and "]": "?" for NONE and UNKNOWN, numbers in
// decimal, bytes as blank-separated upper-case hex pairs, texts as they are, MULTI_STRING
// entries joined by ", ". Byte pairs are printed the same whatever adjustment, base prefix
// or fill the caller set; the stream's fill and flags are left as they were.
// Departure: a STRING or EXPAND_STRING value whose `strings` is empty prints no data (as
// the empty text would) rather than read past the list.
std::ostream& operator<<(std::ostream& out, const RegistryValue& value);

// One open registry key; closes its handle when destroyed. Keys handed out by openSubkey
// and createSubkey are shared; the last owner closes them. Not synchronised: one thread at
// a time per object.
class RegistryKey {
public:
    // Open modes, combinable.
    enum Mode : std::uint32_t { READ = 1, WRITE = 2, CREATE = 4 };
    // Registry views: the default one, the 32-bit and the 64-bit view.
    enum View : std::uint32_t { VIEW_DEFAULT = 0, VIEW_32 = 1, VIEW_64 = 2 };

    // Opens the key at `path` below `parent` (an open key or a predefined root such as
    // HKEY_LOCAL_MACHINE), creating it when `mode` has CREATE.
    RegistryKey(HKEY parent, const std::string& path, std::uint32_t mode,
                std::uint32_t view = VIEW_DEFAULT);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // A key below this one, in this key's view. CREATE in `mode` is a usage error.
    std::shared_ptr<RegistryKey> openSubkey(const std::string& name, std::uint32_t mode);
    // Creates or opens a key below this one with the system's default rights and view.
    std::shared_ptr<RegistryKey> createSubkey(const std::string& name);
    // Deletes a sub-key that has no sub-keys of its own (the system refuses others).
    void deleteSubkey(const std::string& name);
    // Deletes a sub-key with everything below it.
    void deleteSubkeyRecursively(const std::string& name);
    void deleteValue(const std::string& name);

    std::list<std::string> listSubkeys() const;
    // Names and values in the registry's order; without data every value is TYPE_NONE.
    std::list<std::pair<std::string, RegistryValue>> listValues(bool withData) const;
    std::list<std::string> listValueNames() const;

    // The named value of this key, whole, with EXPAND_STRING texts left unexpanded.
    RegistryValue readValue(const std::string& name) const;
    // readValue(name).toString().
    std::string readString(const std::string& name) const;
    void writeValue(const std::string& name, const RegistryValue& value);

    // Closes the handle and clears it; returns the system's status.
    LSTATUS close();

    // One read below `root` through a key opened for reading and closed again, also when
    // the read or the conversion raises.
    static std::uint32_t readDWord(HKEY root, const std::string& path, const std::string& name,
                                   std::uint32_t view = VIEW_DEFAULT);
    static std::string readString(HKEY root, const std::string& path, const std::string& name,
                                  std::uint32_t view = VIEW_DEFAULT);
    static RegistryValue readValue(HKEY root, const std::string& path, const std::string& name,
                                   std::uint32_t view = VIEW_DEFAULT);

    HKEY handle;        // the open key; null once closed
    std::uint32_t view; // VIEW_32, VIEW_64 or 0; sub-keys from openSubkey inherit it

private:
    // Takes over an open handle.
    RegistryKey(HKEY adopted, std::uint32_t view);
};

} // namespace kiv

// kiv::RegistryKey and kiv::RegistryValue: see include/os/win32/Registry.h.
#include "os/win32/Registry.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <stdexcept>

#include "src/os/win32/RegistryCalls.h"

namespace kiv {

const RegistryCalls kSystemRegistryCalls = {
    ::RegOpenKeyExA, ::RegCreateKeyExA, ::RegCreateKeyA,   ::RegCloseKey,
    ::RegDeleteKeyA, ::RegDeleteTreeA,  ::RegDeleteValueA, ::RegQueryInfoKeyA,
    ::RegEnumKeyA,   ::RegEnumValueA,   ::RegGetValueA,    ::RegSetKeyValueA,
};
RegistryCalls registryCalls = kSystemRegistryCalls;

namespace {

// The texts raise sites record as their file.
const char kKeyFile[] = "src/os/win32/registry";
const char kValueFile[] = "include/os/win32/Registry";

// Any value type, EXPAND_SZ left as stored (RRF_RT_ANY | RRF_NOEXPAND).
constexpr DWORD kReadAnyUnexpanded = 0x1000FFFF;
constexpr DWORD kUnknownRegistryType = 0xFFFFFFFF;

// A failed call's status as the error carries it. The raise sites call raiseAt themselves:
// a helper that raised for them would be one more frame in every report's backtrace.
RegistryOsError osFailure(const std::string& message, LSTATUS status) {
    return RegistryOsError(message, static_cast<std::uint32_t>(status));
}

REGSAM accessFor(std::uint32_t mode, std::uint32_t view) {
    REGSAM access = 0;
    if (mode & RegistryKey::CREATE)
        access |= KEY_QUERY_VALUE | KEY_SET_VALUE;
    if (mode & RegistryKey::READ)
        access |= KEY_READ;
    if (mode & RegistryKey::WRITE)
        access |= KEY_WRITE;
    if (view & RegistryKey::VIEW_32)
        access |= KEY_WOW64_32KEY;
    else if (view & RegistryKey::VIEW_64)
        access |= KEY_WOW64_64KEY;
    return access;
}

RegistryValue::Type typeOf(std::uint32_t registryType) {
    switch (registryType) {
    case REG_NONE:
        return RegistryValue::TYPE_NONE;
    case REG_DWORD:
        return RegistryValue::TYPE_DWORD;
    case REG_QWORD:
        return RegistryValue::TYPE_QWORD;
    case REG_BINARY:
        return RegistryValue::TYPE_BINARY;
    case REG_SZ:
        return RegistryValue::TYPE_STRING;
    case REG_MULTI_SZ:
        return RegistryValue::TYPE_MULTI_STRING;
    case REG_EXPAND_SZ:
        return RegistryValue::TYPE_EXPAND_STRING;
    default:
        return RegistryValue::TYPE_UNKNOWN;
    }
}

const char* nameOf(RegistryValue::Type type) {
    switch (type) {
    case RegistryValue::TYPE_NONE:
        return "TYPE_NONE";
    case RegistryValue::TYPE_DWORD:
        return "TYPE_DWORD";
    case RegistryValue::TYPE_QWORD:
        return "TYPE_QWORD";
    case RegistryValue::TYPE_BINARY:
        return "TYPE_BINARY";
    case RegistryValue::TYPE_STRING:
        return "TYPE_STRING";
    case RegistryValue::TYPE_MULTI_STRING:
        return "TYPE_MULTI_STRING";
    case RegistryValue::TYPE_EXPAND_STRING:
        return "TYPE_EXPAND_STRING";
    default:
        return "TYPE_UNKNOWN";
    }
}

std::uint64_t littleEndian(const std::vector<std::uint8_t>& bytes, size_t count) {
    std::uint64_t number = 0;
    for (size_t i = count; i > 0; --i)
        number = (number << 8) | bytes[i - 1];
    return number;
}

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint64_t number, size_t count) {
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
}

} // namespace

// ---- RegistryValue ----

RegistryValue::RegistryValue() : type(TYPE_NONE), number(0) {}

RegistryValue::RegistryValue(const std::vector<std::uint8_t>& bytes)
    : type(TYPE_BINARY), number(0), binary(bytes) {}

RegistryValue RegistryValue::fromRaw(const std::vector<std::uint8_t>& bytes,
                                     std::uint32_t registryType) {
    RegistryValue value;
    value.type = typeOf(registryType);
    switch (value.type) {
    case TYPE_DWORD:
        if (bytes.size() < 4)
            throw std::invalid_argument("Buffer too small for a DWORD");
        value.number = littleEndian(bytes, 4);
        break;
    case TYPE_QWORD:
        if (bytes.size() < 8)
            throw std::invalid_argument("Buffer too small for a QWORD");
        value.number = littleEndian(bytes, 8);
        break;
    case TYPE_BINARY:
        value.binary = bytes;
        break;
    case TYPE_STRING:
    case TYPE_EXPAND_STRING:
        value.strings.emplace_back(bytes.begin(), bytes.empty() ? bytes.end() : bytes.end() - 1);
        break;
    case TYPE_MULTI_STRING: {
        auto start = bytes.begin();
        for (auto at = bytes.begin(); at != bytes.end(); ++at) {
            if (*at == 0) {
                if (at != start)
                    value.strings.emplace_back(start, at);
                start = at + 1;
            }
        }
        // A last piece without terminator is still a piece.
        if (start != bytes.end())
            value.strings.emplace_back(start, bytes.end());
        break;
    }
    default:
        break;
    }
    return value;
}

std::pair<std::vector<std::uint8_t>, std::uint32_t> RegistryValue::toRaw() const {
    std::vector<std::uint8_t> bytes;
    const std::string first = strings.empty() ? std::string() : strings.front();
    switch (type) {
    case TYPE_DWORD:
        appendLittleEndian(bytes, number, 4);
        return {bytes, REG_DWORD};
    case TYPE_QWORD:
        appendLittleEndian(bytes, number, 8);
        return {bytes, REG_QWORD};
    case TYPE_BINARY:
        return {binary, REG_BINARY};
    case TYPE_STRING:
    case TYPE_EXPAND_STRING:
        bytes.assign(first.begin(), first.end());
        bytes.push_back(0);
        return {bytes, type == TYPE_STRING ? DWORD(REG_SZ) : DWORD(REG_EXPAND_SZ)};
    case TYPE_MULTI_STRING:
        for (const auto& entry : strings) {
            bytes.insert(bytes.end(), entry.begin(), entry.end());
            bytes.push_back(0);
        }
        bytes.push_back(0);
        return {bytes, REG_MULTI_SZ};
    case TYPE_NONE:
        return {bytes, REG_NONE};
    default:
        return {bytes, kUnknownRegistryType};
    }
}

std::uint32_t RegistryValue::toDWord() const {
    if (type != TYPE_DWORD)
        raiseAt(RegistryTypeError(), kValueFile, __LINE__, "kiv::RegistryValue::toDWord");
    return static_cast<std::uint32_t>(number);
}

std::string RegistryValue::toString() const {
    if (type != TYPE_STRING)
        raiseAt(RegistryTypeError(), kValueFile, __LINE__, "kiv::RegistryValue::toString");
    return strings.empty() ? std::string() : strings.front();
}

std::ostream& operator<<(std::ostream& out, const RegistryValue& value) {
    switch (value.type) {
    case RegistryValue::TYPE_DWORD:
    case RegistryValue::TYPE_QWORD:
        // Decimal whatever base the stream is set to.
        out << std::to_string(value.number);
        break;
    case RegistryValue::TYPE_BINARY: {
        // Every flag the pairs depend on is set, whatever the caller left: a left-adjusted
        // stream would print 0x0A as "A0", one with showbase as "0XA".
        const std::ios::fmtflags flags = out.flags();
        const char fill = out.fill();
        out.setf(std::ios::hex, std::ios::basefield);
        out.setf(std::ios::right, std::ios::adjustfield);
        out.setf(std::ios::uppercase);
        out.unsetf(std::ios::showbase | std::ios::showpos);
        out.fill('0');
        for (size_t i = 0; i < value.binary.size(); ++i) {
            if (i > 0)
                out << ' ';
            out << std::setw(2) << static_cast<unsigned>(value.binary[i]);
        }
        out.flags(flags);
        out.fill(fill);
        break;
    }
    case RegistryValue::TYPE_STRING:
    case RegistryValue::TYPE_EXPAND_STRING:
        if (!value.strings.empty())
            out << value.strings.front();
        break;
    case RegistryValue::TYPE_MULTI_STRING:
        for (size_t i = 0; i < value.strings.size(); ++i)
            out << (i > 0 ? ", " : "") << value.strings[i];
        break;
    default:
        out << '?';
        break;
    }
    return out << " [" << nameOf(value.type) << "]";
}

// ---- RegistryKey ----

RegistryKey::RegistryKey(HKEY parent, const std::string& path, std::uint32_t mode,
                         std::uint32_t view)
    : handle(nullptr), view(view) {
    const REGSAM access = accessFor(mode, view);
    LSTATUS status;
    if (mode & CREATE)
        status =
            registryCalls.createKeyEx(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      access, nullptr, &handle, nullptr);
    else
        status = registryCalls.openKeyEx(parent, path.c_str(), 0, access, &handle);
    if (status != ERROR_SUCCESS) {
        handle = nullptr;
        raiseAt(osFailure("Unable to open " + path, status), kKeyFile, __LINE__,
                "kiv::RegistryKey::RegistryKey");
    }
}

RegistryKey::RegistryKey(HKEY adopted, std::uint32_t view) : handle(adopted), view(view) {}

RegistryKey::~RegistryKey() {
    if (handle != nullptr)
        registryCalls.closeKey(handle);
}

std::shared_ptr<RegistryKey> RegistryKey::openSubkey(const std::string& name, std::uint32_t mode) {
    if (mode & CREATE)
        raiseAt(UsageError("CREATE cannot be specified in RegistryKey::openSubkey"), kKeyFile,
                __LINE__, "kiv::RegistryKey::openSubkey");
    return std::make_shared<RegistryKey>(handle, name, mode, view);
}

std::shared_ptr<RegistryKey> RegistryKey::createSubkey(const std::string& name) {
    HKEY created = nullptr;
    LSTATUS status = registryCalls.createKey(handle, name.c_str(), &created);
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to create subkey with name '" + name + "'", status), kKeyFile,
                __LINE__, "kiv::RegistryKey::createSubkey");
    return std::shared_ptr<RegistryKey>(new RegistryKey(created, 0));
}

void RegistryKey::deleteSubkey(const std::string& name) {
    LSTATUS status = registryCalls.deleteKey(handle, name.c_str());
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to delete subkey with name '" + name + "'", status), kKeyFile,
                __LINE__, "kiv::RegistryKey::deleteSubkey");
}

void RegistryKey::deleteSubkeyRecursively(const std::string& name) {
    LSTATUS status = registryCalls.deleteTree(handle, name.c_str());
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to delete subkey with name '" + name + "' recursively", status),
                kKeyFile, __LINE__, "kiv::RegistryKey::deleteSubkeyRecursively");
}

void RegistryKey::deleteValue(const std::string& name) {
    LSTATUS status = registryCalls.deleteValue(handle, name.c_str());
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to delete value '" + name + "'", status), kKeyFile, __LINE__,
                "kiv::RegistryKey::deleteValue");
}

// When the system cannot say how long the longest name is, there is no size to make the
// buffer from: the listing fails with the status of that query.
std::list<std::string> RegistryKey::listSubkeys() const {
    DWORD longest = 0;
    LSTATUS status =
        registryCalls.queryInfoKey(handle, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to list subkeys", status), kKeyFile, __LINE__,
                "kiv::RegistryKey::listSubkeys");
    std::vector<char> name(size_t(longest) + 1);
    std::list<std::string> result;
    for (DWORD index = 0;; ++index) {
        status = registryCalls.enumKey(handle, index, name.data(), static_cast<DWORD>(name.size()));
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            raiseAt(osFailure("Unable to list subkeys", status), kKeyFile, __LINE__,
                    "kiv::RegistryKey::listSubkeys");
        result.emplace_back(name.data(), strnlen(name.data(), name.size()));
    }
    return result;
}

// As listSubkeys, a key whose longest lengths cannot be read fails with the status of that
// query instead of guessing a buffer size.
std::list<std::pair<std::string, RegistryValue>> RegistryKey::listValues(bool withData) const {
    DWORD longestName = 0;
    DWORD longestData = 0;
    LSTATUS status =
        registryCalls.queryInfoKey(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to list values", status), kKeyFile, __LINE__,
                "kiv::RegistryKey::listValues");
    std::vector<char> name(size_t(longestName) + 1);
    std::vector<std::uint8_t> data(withData ? size_t(longestData) + 1 : 0);
    std::list<std::pair<std::string, RegistryValue>> result;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        status = registryCalls.enumValue(handle, index, name.data(), &nameLength, nullptr, &type,
                                         withData ? data.data() : nullptr,
                                         withData ? &dataLength : nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            raiseAt(osFailure("Unable to list values", status), kKeyFile, __LINE__,
                    "kiv::RegistryKey::listValues");
        std::string valueName(name.data(), std::min<size_t>(nameLength, name.size()));
        RegistryValue value;
        if (withData) {
            std::vector<std::uint8_t> bytes(
                data.begin(), data.begin() + std::min<size_t>(dataLength, data.size()));
            value = RegistryValue::fromRaw(bytes, type);
        }
        result.emplace_back(std::move(valueName), std::move(value));
    }
    return result;
}

std::list<std::string> RegistryKey::listValueNames() const {
    std::list<std::string> names;
    for (auto& entry : listValues(false))
        names.push_back(std::move(entry.first));
    return names;
}

// The buffer doubles while the system reports more data; once a doubling would no longer
// fit the system's 32-bit length, the read fails with that more-data status instead.
RegistryValue RegistryKey::readValue(const std::string& name) const {
    std::vector<std::uint8_t> buffer(1024, 0);
    DWORD type = REG_NONE;
    DWORD length = static_cast<DWORD>(buffer.size());
    LSTATUS status = registryCalls.getValue(handle, nullptr, name.c_str(), kReadAnyUnexpanded,
                                            &type, buffer.data(), &length);
    while (status == ERROR_MORE_DATA && buffer.size() <= 0x7FFFFFFFu) {
        buffer.resize(buffer.size() * 2, 0);
        length = static_cast<DWORD>(buffer.size());
        status = registryCalls.getValue(handle, nullptr, name.c_str(), kReadAnyUnexpanded, &type,
                                        buffer.data(), &length);
    }
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to read value '" + name + "'", status), kKeyFile, __LINE__,
                "kiv::RegistryKey::readValue");
    buffer.resize(std::min<size_t>(length, buffer.size()));
    return RegistryValue::fromRaw(buffer, type);
}

std::string RegistryKey::readString(const std::string& name) const {
    return readValue(name).toString();
}

void RegistryKey::writeValue(const std::string& name, const RegistryValue& value) {
    const auto raw = value.toRaw();
    LSTATUS status = registryCalls.setKeyValue(handle, nullptr, name.c_str(), raw.second,
                                               raw.first.empty() ? nullptr : raw.first.data(),
                                               static_cast<DWORD>(raw.first.size()));
    if (status != ERROR_SUCCESS)
        raiseAt(osFailure("Unable to write value", status), kKeyFile, __LINE__,
                "kiv::RegistryKey::writeValue");
}

LSTATUS RegistryKey::close() {
    LSTATUS status = registryCalls.closeKey(handle);
    handle = nullptr;
    return status;
}

std::uint32_t RegistryKey::readDWord(HKEY root, const std::string& path, const std::string& name,
                                     std::uint32_t view) {
    RegistryKey key(root, path, READ, view);
    return key.readValue(name).toDWord();
}

std::string RegistryKey::readString(HKEY root, const std::string& path, const std::string& name,
                                    std::uint32_t view) {
    RegistryKey key(root, path, READ, view);
    return key.readValue(name).toString();
}

RegistryValue RegistryKey::readValue(HKEY root, const std::string& path, const std::string& name,
                                     std::uint32_t view) {
    RegistryKey key(root, path, READ, view);
    return key.readValue(name);
}

} // namespace kiv

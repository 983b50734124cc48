#include "compat/winreg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Value {
    std::string name; // as first written
    DWORD type;
    std::vector<BYTE> data;
};

struct Node {
    std::string name;                            // as first written
    Node* parent = nullptr;                      // none for a root
    std::vector<std::shared_ptr<Node>> children; // sorted by upper-case name
    std::vector<Value> values;                   // creation order
    bool deleted = false;                        // open handles outlive their key
};

struct Handle {
    std::shared_ptr<Node> node;
    REGSAM access; // generic rights already mapped
};

constexpr std::uintptr_t kFirstRoot = 0xFFFFFFFF80000000u;
// Roots that hold keys: classes, current user, local machine, users, (performance data is
// none), current config.
constexpr bool kRootHoldsKeys[] = {true, true, true, true, false, true};
constexpr size_t kRootCount = sizeof(kRootHoldsKeys) / sizeof(kRootHoldsKeys[0]);

std::mutex registryLock;
std::shared_ptr<Node> roots[kRootCount];
std::map<std::uintptr_t, Handle> handles;
// Handle numbers are never reused, so that a stale handle is refused instead of reaching
// another key.
std::uintptr_t nextHandle = 0x1000;

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i)
        if (b[i] == '\0' || upper(a[i]) != upper(b[i]))
            return false;
    return b[i] == '\0';
}

// The hive's order: names compared as upper-case bytes.
bool sortsBefore(const std::string& a, const std::string& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(upper(a[i]));
        unsigned char y = static_cast<unsigned char>(upper(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

bool isRoot(HKEY key) {
    std::uintptr_t n = reinterpret_cast<std::uintptr_t>(key);
    return n >= kFirstRoot && n < kFirstRoot + 7;
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

REGSAM mapAccess(REGSAM access) {
    REGSAM mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                               MAXIMUM_ALLOWED | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (access & (GENERIC_READ | GENERIC_EXECUTE))
        mapped |= KEY_READ;
    if (access & GENERIC_WRITE)
        mapped |= KEY_WRITE;
    if (access & (GENERIC_ALL | MAXIMUM_ALLOWED))
        mapped |= KEY_ALL_ACCESS;
    return mapped;
}

// The key behind a handle and the access it grants; every caller holds the lock.
LSTATUS resolve(HKEY key, std::shared_ptr<Node>& node, REGSAM& access) {
    std::uintptr_t n = reinterpret_cast<std::uintptr_t>(key);
    if (isRoot(key)) {
        size_t index = n - kFirstRoot;
        if (index >= kRootCount || !kRootHoldsKeys[index])
            return ERROR_INVALID_HANDLE;
        if (!roots[index])
            roots[index] = std::make_shared<Node>();
        node = roots[index];
        access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto found = handles.find(n);
    if (found == handles.end())
        return ERROR_INVALID_HANDLE;
    node = found->second.node;
    access = found->second.access;
    return node->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

std::shared_ptr<Node> findChild(const Node& node, const char* name) {
    for (const auto& child : node.children)
        if (sameName(child->name, name))
            return child;
    return nullptr;
}

// Follows `path` below `node`, creating missing keys when `create` is set. Empty
// components are skipped, as Windows does between and after backslashes.
LSTATUS walk(std::shared_ptr<Node> node, const char* path, bool create,
             std::shared_ptr<Node>& result, bool* created = nullptr) {
    if (path != nullptr && path[0] == '\\')
        return ERROR_BAD_PATHNAME;
    std::string rest = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        std::shared_ptr<Node> child = findChild(*node, part.c_str());
        if (!child) {
            if (!create)
                return ERROR_FILE_NOT_FOUND;
            child = std::make_shared<Node>();
            child->name = part;
            child->parent = node.get();
            auto& list = node->children;
            auto at = list.begin();
            while (at != list.end() && sortsBefore((*at)->name, part))
                ++at;
            list.insert(at, child);
            if (created != nullptr)
                *created = true;
        }
        node = child;
    }
    result = node;
    return ERROR_SUCCESS;
}

HKEY newHandle(const std::shared_ptr<Node>& node, REGSAM access) {
    std::uintptr_t n = nextHandle;
    nextHandle += 4;
    handles[n] = Handle{node, mapAccess(access)};
    return reinterpret_cast<HKEY>(n);
}

void markDeleted(Node& node) {
    node.deleted = true;
    for (auto& child : node.children)
        markDeleted(*child);
    node.children.clear();
    node.values.clear();
}

void unlink(Node& node) {
    auto& siblings = node.parent->children;
    for (auto at = siblings.begin(); at != siblings.end(); ++at)
        if (at->get() == &node) {
            siblings.erase(at);
            break;
        }
}

std::vector<Value>::iterator findValue(Node& node, const char* name) {
    const char* wanted = name != nullptr ? name : "";
    auto at = node.values.begin();
    while (at != node.values.end() && !sameName(at->name, wanted))
        ++at;
    return at;
}

// %NAME% replaced by the variable's value; unknown names and a lone % stay as written.
std::string expandEnvironment(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            out += text[i++];
            continue;
        }
        std::string name = text.substr(i + 1, close - i - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value != nullptr) {
            out += value;
            i = close + 1;
        } else {
            out += text.substr(i, close - i);
            i = close;
        }
    }
    return out;
}

DWORD typeFlag(DWORD type) {
    switch (type) {
    case REG_NONE:
        return RRF_RT_REG_NONE;
    case REG_SZ:
        return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
        return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
        return RRF_RT_REG_BINARY;
    case REG_DWORD:
        return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
        return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD:
        return RRF_RT_REG_QWORD;
    default:
        return 0;
    }
}

// RegGetValueA's type restriction. Every type passes RRF_RT_ANY; narrower flags pass only
// their types, and binary data asked for as a DWORD or QWORD must have that size.
LSTATUS restrictType(DWORD flags, DWORD type, size_t size) {
    DWORD wanted = flags & RRF_RT_ANY;
    if (wanted == RRF_RT_ANY)
        return ERROR_SUCCESS;
    if ((wanted & typeFlag(type)) == 0)
        return ERROR_UNSUPPORTED_TYPE;
    if (type == REG_BINARY &&
        ((wanted == RRF_RT_DWORD && size != 4) || (wanted == RRF_RT_QWORD && size != 8)))
        return ERROR_DATATYPE_MISMATCH;
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (isRoot(key) && (subKey == nullptr || subKey[0] == '\0')) {
        *result = key;
        return ERROR_SUCCESS;
    }
    *result = nullptr;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status == ERROR_SUCCESS)
        status = walk(node, subKey, false, node);
    if (status == ERROR_SUCCESS)
        *result = newHandle(node, access);
    return status;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                        const _SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
    if (result == nullptr)
        return ERROR_BADKEY;
    if (isRoot(key) && subKey == nullptr) {
        *result = key;
        return ERROR_SUCCESS;
    }
    *result = nullptr;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    bool created = false;
    LSTATUS status = resolve(key, node, granted);
    if (status == ERROR_SUCCESS)
        status = walk(node, subKey, true, node, &created);
    if (status == ERROR_SUCCESS) {
        *result = newHandle(node, access);
        if (disposition != nullptr)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return status;
}

LSTATUS RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                           nullptr, result, nullptr);
}

LSTATUS RegCloseKey(HKEY key) {
    if (isRoot(key))
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> guard(registryLock);
    return handles.erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? ERROR_SUCCESS
                                                                     : ERROR_INVALID_HANDLE;
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status == ERROR_SUCCESS)
        status = walk(node, subKey, false, node);
    if (status != ERROR_SUCCESS)
        return status;
    // Roots cannot go, and a key with sub-keys is refused rather than deleted with them.
    if (node->parent == nullptr || !node->children.empty())
        return ERROR_ACCESS_DENIED;
    unlink(*node);
    markDeleted(*node);
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if (subKey == nullptr) {
        // Empties the key itself, which then needs the rights to list and to delete values.
        REGSAM needed = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_SET_VALUE;
        if ((granted & needed) != needed)
            return ERROR_ACCESS_DENIED;
        for (auto& child : node->children)
            markDeleted(*child);
        node->children.clear();
        node->values.clear();
        return ERROR_SUCCESS;
    }
    status = walk(node, subKey, false, node);
    if (status != ERROR_SUCCESS)
        return status;
    for (auto& child : node->children)
        markDeleted(*child);
    node->children.clear();
    if (node->parent == nullptr) {
        // What is below a root goes; the root itself stays, refusing its own deletion.
        node->values.clear();
        return ERROR_ACCESS_DENIED;
    }
    unlink(*node);
    markDeleted(*node);
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if ((granted & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    auto at = findValue(*node, valueName);
    if (at == node->values.end())
        return ERROR_FILE_NOT_FOUND;
    node->values.erase(at);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD, LPDWORD subKeys,
                         LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                         LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                         LPDWORD securityDescriptorLength, _FILETIME*) {
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if ((granted & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    size_t longestKey = 0, longestName = 0, longestData = 0;
    for (const auto& child : node->children)
        longestKey = std::max(longestKey, child->name.size());
    for (const auto& value : node->values) {
        longestName = std::max(longestName, value.name.size());
        // The registry keeps texts in UTF-16: two bytes for each byte written here.
        size_t stored = value.data.size() * (isStringType(value.type) ? 2 : 1);
        longestData = std::max(longestData, stored);
    }
    if (keyClass != nullptr && classLength != nullptr && *classLength > 0)
        keyClass[0] = '\0';
    if (classLength != nullptr)
        *classLength = 0;
    if (subKeys != nullptr)
        *subKeys = static_cast<DWORD>(node->children.size());
    if (maxSubKeyLength != nullptr)
        *maxSubKeyLength = static_cast<DWORD>(longestKey);
    if (maxClassLength != nullptr)
        *maxClassLength = 0;
    if (values != nullptr)
        *values = static_cast<DWORD>(node->values.size());
    if (maxValueNameLength != nullptr)
        *maxValueNameLength = static_cast<DWORD>(longestName);
    if (maxValueLength != nullptr)
        *maxValueLength = static_cast<DWORD>(longestData);
    if (securityDescriptorLength != nullptr)
        *securityDescriptorLength = 0;
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameLength) {
    if (name == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if ((granted & KEY_ENUMERATE_SUB_KEYS) == 0)
        return ERROR_ACCESS_DENIED;
    if (index >= node->children.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& found = node->children[index]->name;
    // Too small a buffer is left untouched.
    if (found.size() >= nameLength)
        return ERROR_MORE_DATA;
    memcpy(name, found.c_str(), found.size() + 1);
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLength) {
    if (reserved != nullptr || (data != nullptr && dataLength == nullptr) || valueName == nullptr ||
        valueNameLength == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if ((granted & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    if (index >= node->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = node->values[index];
    const size_t size = value.data.size();
    // Data first: when it does not fit, the name is not written either and the length
    // reports what the data needs.
    if (data != nullptr) {
        if (size > *dataLength) {
            status = ERROR_MORE_DATA;
        } else {
            if (size > 0)
                memcpy(data, value.data.data(), size);
            // A text stored without terminator gets one when there is room for it.
            if (isStringType(value.type) && size > 0 && size < *dataLength &&
                value.data[size - 1] != 0)
                data[size] = 0;
        }
    }
    if (status == ERROR_SUCCESS) {
        // A name that does not fit is cut to the buffer; its length stays as passed.
        if (value.name.size() >= *valueNameLength) {
            status = ERROR_MORE_DATA;
            if (*valueNameLength > 0) {
                memcpy(valueName, value.name.data(), *valueNameLength - 1);
                valueName[*valueNameLength - 1] = '\0';
            }
        } else {
            memcpy(valueName, value.name.c_str(), value.name.size() + 1);
            *valueNameLength = static_cast<DWORD>(value.name.size());
        }
    }
    if (type != nullptr)
        *type = value.type;
    if (dataLength != nullptr)
        *dataLength = static_cast<DWORD>(size);
    return status;
}

LSTATUS RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD flags, LPDWORD type,
                     PVOID data, LPDWORD dataLength) {
    if (data != nullptr && dataLength == nullptr)
        return ERROR_INVALID_PARAMETER;
    // Expansion of values that must stay EXPAND_SZ cannot be honoured.
    if ((flags & RRF_RT_REG_EXPAND_SZ) && !(flags & RRF_NOEXPAND) &&
        (flags & RRF_RT_ANY) != RRF_RT_ANY)
        return ERROR_INVALID_PARAMETER;
    const DWORD capacity = dataLength != nullptr ? *dataLength : 0;
    std::vector<BYTE> bytes;
    DWORD foundType = REG_NONE;
    LSTATUS status;
    {
        std::lock_guard<std::mutex> guard(registryLock);
        std::shared_ptr<Node> node;
        REGSAM granted;
        status = resolve(key, node, granted);
        if (status == ERROR_SUCCESS && subKey != nullptr && subKey[0] != '\0')
            status = walk(node, subKey, false, node);
        else if (status == ERROR_SUCCESS && (granted & KEY_QUERY_VALUE) == 0)
            status = ERROR_ACCESS_DENIED;
        if (status == ERROR_SUCCESS) {
            auto at = findValue(*node, valueName);
            if (at == node->values.end()) {
                status = ERROR_FILE_NOT_FOUND;
            } else {
                bytes = at->data;
                foundType = at->type;
            }
        }
    }
    if (status == ERROR_SUCCESS) {
        if (foundType == REG_EXPAND_SZ && !(flags & RRF_NOEXPAND)) {
            std::string text(bytes.begin(), bytes.end());
            text = expandEnvironment(text.substr(0, text.find('\0')));
            bytes.assign(text.begin(), text.end());
            bytes.push_back(0);
            foundType = REG_SZ;
        }
        // Texts come back terminated even when stored without terminator.
        if (isStringType(foundType) && !bytes.empty() && bytes.back() != 0)
            bytes.push_back(0);
        status = restrictType(flags, foundType, bytes.size());
    }
    if (status == ERROR_SUCCESS && data != nullptr) {
        if (bytes.size() > capacity)
            status = ERROR_MORE_DATA;
        else if (!bytes.empty())
            memcpy(data, bytes.data(), bytes.size());
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        if (data != nullptr && (flags & RRF_ZEROONFAILURE))
            memset(data, 0, capacity);
        return status;
    }
    if (status == ERROR_MORE_DATA && data != nullptr && (flags & RRF_ZEROONFAILURE))
        memset(data, 0, capacity);
    if (type != nullptr)
        *type = foundType;
    if (dataLength != nullptr)
        *dataLength = static_cast<DWORD>(bytes.size());
    return status;
}

LSTATUS RegSetKeyValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, const void* data,
                        DWORD dataLength) {
    if (data == nullptr && dataLength > 0)
        return ERROR_NOACCESS;
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<Node> node;
    REGSAM granted;
    LSTATUS status = resolve(key, node, granted);
    if (status != ERROR_SUCCESS)
        return status;
    if (subKey != nullptr && subKey[0] != '\0')
        status = walk(node, subKey, true, node);
    else if ((granted & KEY_SET_VALUE) == 0)
        status = ERROR_ACCESS_DENIED;
    if (status != ERROR_SUCCESS)
        return status;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    std::vector<BYTE> stored(bytes, bytes + dataLength);
    auto at = findValue(*node, valueName);
    if (at != node->values.end()) {
        // An existing value keeps its place and the spelling of its name.
        at->type = type;
        at->data = std::move(stored);
    } else {
        node->values.push_back(
            Value{valueName != nullptr ? valueName : "", type, std::move(stored)});
    }
    return ERROR_SUCCESS;
}

// Typed reading side of MifList: address adders, checking getters and throwing getters.
#include "attrlist/MifError.h"
#include "attrlist/MifList.h"
#include "attrlist/WireBytes.h"
#include "net/KivIpAddr.h"
#include "text/BoundedText.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Builds the exception text: the getter's message, then " [OID:<tag>]".
[[noreturn]] void ThrowMifError(const char* message, uint16_t tag) {
    char text[96];
    StrFormat(text, sizeof text, "%s [OID:%u]", message, static_cast<unsigned>(tag));
    throw MifError(text);
}

} // namespace

int MifList::AddIpAddr(uint16_t tag, const KivIpAddr& address) {
    if (address.Length() == KivIpAddr::kV4Length)
        return AddInt(tag, address.V4HostValue());
    if (address.Length() == KivIpAddr::kV6Length)
        return AddBin(tag, address.Bytes(), KivIpAddr::kV6Length);
    return AddBin(tag, nullptr, 0);
}

int MifList::AddIpAddrV4(uint16_t tag, const KivIpAddr& address) {
    return AddInt(tag, address.V4HostValue());
}

int MifList::Exists(uint16_t tag, uint32_t occurrence) const noexcept {
    return FindValue(tag, nullptr, nullptr, occurrence);
}

int MifList::GetLen(uint16_t tag, uint32_t* length, uint32_t occurrence) const noexcept {
    return FindValue(tag, nullptr, length, occurrence);
}

int MifList::GetBinCopy(uint16_t tag, void* destination, uint32_t* length,
                        uint32_t occurrence) const noexcept {
    if (length == nullptr || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t valueLength;
    if (!FindValue(tag, &offset, &valueLength, occurrence))
        return 0;
    if (destination == nullptr) {
        *length = valueLength;
        return 1;
    }
    if (valueLength > *length)
        return 0;
    *length = valueLength;
    if (valueLength != 0)
        memcpy(destination, data_ + offset, valueLength);
    return 1;
}

int MifList::GetBinPtr(uint16_t tag, const uint8_t** pointer, uint32_t* length,
                       uint32_t occurrence) const noexcept {
    if (length == nullptr || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t valueLength;
    if (!FindValue(tag, &offset, &valueLength, occurrence))
        return 0;
    *length = valueLength;
    if (pointer != nullptr)
        *pointer = data_ + offset;
    return 1;
}

int MifList::TryGetInt(uint16_t tag, uint32_t* out, uint32_t occurrence) const noexcept {
    if (out == nullptr || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence) || length != 4)
        return 0;
    *out = LoadU32(data_ + offset);
    return 1;
}

int MifList::TryGetBool(uint16_t tag, bool* out, uint32_t occurrence) const noexcept {
    if (out == nullptr)
        return 0;
    uint32_t value;
    if (!TryGetInt(tag, &value, occurrence))
        return 0;
    *out = value != 0;
    return 1;
}

int MifList::TryGetInt64(uint16_t tag, uint64_t* out, uint32_t occurrence) const noexcept {
    if (out == nullptr || occurrence == 0)
        return 0;
    *out = 0;
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence))
        return 0;
    if (length == 4)
        *out = LoadU32(data_ + offset);
    else if (length == 8)
        *out = LoadU64(data_ + offset);
    else
        return 0;
    return 1;
}

// The 4-byte form is the host-order number stored little-endian, as AddIpAddr writes it.
int MifList::TryGetIpAddr(uint16_t tag, KivIpAddr* out, uint32_t occurrence) const noexcept {
    if (out == nullptr || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence))
        return 0;
    out->Clear();
    if (length == KivIpAddr::kV4Length) {
        *out = LoadU32(data_ + offset);
        return 1;
    }
    if (length == KivIpAddr::kV6Length)
        return out->SetBytes(data_ + offset, length);
    return 0;
}

int MifList::TryGetIpAddrV4(uint16_t tag, KivIpAddr* out, uint32_t occurrence) const noexcept {
    if (out == nullptr || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence) || length != KivIpAddr::kV4Length)
        return 0;
    *out = LoadU32(data_ + offset);
    return 1;
}

int MifList::TryGetIpAddrV6(uint16_t tag, KivIpAddr* out, uint32_t occurrence) const noexcept {
    return TryGetIpAddr(tag, out, occurrence);
}

int MifList::GetStrBuf(uint16_t tag, char* buffer, uint16_t size,
                       uint32_t occurrence) const noexcept {
    if (buffer == nullptr || size == 0 || occurrence == 0)
        return 0;
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence) || length >= size)
        return 0;
    if (length != 0)
        memcpy(buffer, data_ + offset, length);
    buffer[length] = '\0';
    return 1;
}

int MifList::TryGetStr(uint16_t tag, std::string* out, uint32_t occurrence) const noexcept {
    if (out == nullptr)
        return 0;
    uint32_t length;
    if (!FindValue(tag, nullptr, &length, occurrence))
        return 0;
    // The size is a 16-bit count: a value of 65535 bytes gives 0 and is refused.
    uint16_t size = static_cast<uint16_t>(length + 1);
    char* text = static_cast<char*>(malloc(length + 1));
    if (text == nullptr)
        return 0;
    int result = GetStrBuf(tag, text, size, occurrence);
    if (result) {
        try {
            out->assign(text);
        } catch (const std::bad_alloc&) {
            result = 0; // no room for the copy: report it like any other failure
        }
    }
    free(text);
    return result;
}

bool MifList::GetBool(uint16_t tag, uint32_t occurrence) const {
    bool value;
    if (!TryGetBool(tag, &value, occurrence))
        ThrowMifError("GetBool: Missing OID", tag);
    return value;
}

uint32_t MifList::GetInt(uint16_t tag, uint32_t occurrence) const {
    uint32_t value;
    if (!TryGetInt(tag, &value, occurrence))
        ThrowMifError("GetInt: Missing OID", tag);
    return value;
}

uint64_t MifList::GetInt64(uint16_t tag, uint32_t occurrence) const {
    uint64_t value;
    if (!TryGetInt64(tag, &value, occurrence))
        ThrowMifError("GetInt64: Missing OID", tag);
    return value;
}

std::string MifList::GetStr(uint16_t tag, uint32_t occurrence) const {
    std::string value;
    if (!TryGetStr(tag, &value, occurrence))
        ThrowMifError("GetStr: Missing OID", tag);
    return value;
}

std::vector<uint8_t> MifList::GetBin(uint16_t tag, uint32_t occurrence) const {
    uint32_t length;
    if (!GetLen(tag, &length, occurrence))
        ThrowMifError("GetBin: Missing OID", tag);
    std::vector<uint8_t> value(length);
    GetBinCopy(tag, value.data(), &length, occurrence);
    return value;
}

KivIpAddr MifList::GetIpAddr(uint16_t tag, uint32_t occurrence) const {
    KivIpAddr value;
    if (!TryGetIpAddr(tag, &value, occurrence))
        ThrowMifError("GetIpAddr: Invalid OID", tag);
    return value;
}

KivIpAddr MifList::GetIpAddrV4(uint16_t tag, uint32_t occurrence) const {
    KivIpAddr value;
    if (!TryGetIpAddrV4(tag, &value, occurrence))
        ThrowMifError("GetIpAddrV4: Missing OID", tag);
    return value;
}

KivIpAddr MifList::GetIpAddrV6(uint16_t tag, uint32_t occurrence) const {
    KivIpAddr value;
    if (!TryGetIpAddrV6(tag, &value, occurrence))
        ThrowMifError("GetIpAddrV6: Invalid OID", tag);
    return value;
}

MifList MifList::GetGroup(uint16_t tag, uint32_t occurrence) const {
    uint32_t offset;
    uint32_t length;
    if (!FindValue(tag, &offset, &length, occurrence))
        ThrowMifError("Unable to get group", tag);
    MifList group;
    group.Assign(data_ + offset, length);
    // A copy that could not be allocated is no group either; an empty list in its place
    // would read as a group without records.
    if (length != 0 && group.GetData() == nullptr)
        ThrowMifError("Unable to get group", tag);
    return group;
}

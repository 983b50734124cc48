// Readers over a serialized attribute list given only as (bytes, length). Each attaches a
// temporary list that borrows the caller's bytes, so nothing is copied; the getters it
// runs never write, which is why the const bytes may be lent to it.
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

namespace {

// Lends the bytes to `list`; false for null bytes or length 0.
bool Borrow(MifList* list, const uint8_t* bytes, uint32_t length) noexcept {
    if (bytes == nullptr || length == 0)
        return false;
    return list->Attach(const_cast<uint8_t*>(bytes), length, length) == 1;
}

} // namespace

int MifFlatGetBinCopy(const uint8_t* bytes, uint32_t length, uint16_t tag, void* destination,
                      uint32_t* valueLength, uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.GetBinCopy(tag, destination, valueLength, occurrence)
                                        : 0;
}

int MifFlatGetBinPtr(const uint8_t* bytes, uint32_t length, uint16_t tag, const uint8_t** pointer,
                     uint32_t* valueLength, uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.GetBinPtr(tag, pointer, valueLength, occurrence) : 0;
}

int MifFlatGetInt(const uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t* out,
                  uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetInt(tag, out, occurrence) : 0;
}

int MifFlatGetInt64(const uint8_t* bytes, uint32_t length, uint16_t tag, uint64_t* out,
                    uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetInt64(tag, out, occurrence) : 0;
}

int MifFlatGetIpAddr(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                     uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetIpAddr(tag, out, occurrence) : 0;
}

int MifFlatGetIpAddrV4(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                       uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetIpAddrV4(tag, out, occurrence) : 0;
}

int MifFlatGetIpAddrV6(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                       uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetIpAddrV6(tag, out, occurrence) : 0;
}

int MifFlatGetStr(const uint8_t* bytes, uint32_t length, uint16_t tag, std::string* out,
                  uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.TryGetStr(tag, out, occurrence) : 0;
}

int MifFlatGetStrBuf(const uint8_t* bytes, uint32_t length, uint16_t tag, char* buffer,
                     uint16_t size, uint32_t occurrence) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.GetStrBuf(tag, buffer, size, occurrence) : 0;
}

int MifFlatFormatValues(const uint8_t* bytes, uint32_t length, uint16_t tag, char* out, size_t size,
                        int asAddress) {
    MifList list;
    return Borrow(&list, bytes, length) ? list.FormatValues(tag, out, size, asAddress) : 0;
}

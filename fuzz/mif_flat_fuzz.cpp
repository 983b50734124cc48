// The MifFlat readers, the throwing getters and FormatValues over arbitrary bytes taken
// as a serialized attribute list (as a caller receives it from CheckForUpdate).
//
// Input: byte 0 is the text buffer size for MifFlatGetStrBuf (and picks the lookup that
// the throwing getters repeat), byte 1 the text size for MifFlatFormatValues; the rest is
// the list, in a block of exactly its length.
//
// Properties: every reader finds exactly the records of the plain walk and accepts exactly
// the widths it should; outputs stay inside their buffers and are terminated; the throwing
// getters throw exactly when the checking ones fail; the caller's bytes never change, and
// MifFlatSetInt only overwrites a value in place.
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/MifReference.h"

#include <set>
#include <string>
#include <vector>

namespace {

uint32_t Load32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

template <typename Getter>
bool Throws(Getter getter) {
    try {
        getter();
    } catch (const MifError& error) {
        FUZZ_CHECK(strstr(error.what(), " [OID:") != nullptr);
        return true;
    }
    return false;
}

void CheckOccurrence(const uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t occurrence,
                     const MifRecord* record, uint16_t strSize) {
    const bool found = record != nullptr && occurrence != 0;
    const uint32_t size = found ? record->length : 0;
    const uint8_t* value = found ? bytes + record->offset : nullptr;
    const uint8_t* pointer = nullptr;
    uint32_t got = 0;
    FUZZ_CHECK(MifFlatGetBinPtr(bytes, length, tag, &pointer, &got, occurrence) == found);
    FUZZ_CHECK(!found || (pointer == value && got == size));
    if (found) {
        ExactBuffer copy(size), small(size == 0 ? 0 : size - 1);
        uint32_t room = size, shortRoom = size - 1;
        FUZZ_CHECK(MifFlatGetBinCopy(bytes, length, tag, copy.Get(), &room, occurrence) == 1);
        FUZZ_CHECK(room == size && memcmp(copy.Get(), value, size) == 0);
        FUZZ_CHECK(size == 0 ||
                   MifFlatGetBinCopy(bytes, length, tag, small.Get(), &shortRoom, occurrence) == 0);
    }

    uint32_t number = 0x5EED;
    const bool isInt = found && size == 4;
    FUZZ_CHECK(MifFlatGetInt(bytes, length, tag, &number, occurrence) == isInt);
    FUZZ_CHECK(number == (isInt ? Load32(value) : 0x5EED));
    uint64_t wide = 0x5EED;
    const bool isInt64 = found && (size == 4 || size == 8);
    FUZZ_CHECK(MifFlatGetInt64(bytes, length, tag, &wide, occurrence) == isInt64);
    if (isInt64)
        FUZZ_CHECK(wide ==
                   (size == 4 ? Load32(value) : Load32(value) | uint64_t{Load32(value + 4)} << 32));
    else if (occurrence != 0 && length > 0) // the getter ran: 0 after any failure
        FUZZ_CHECK(wide == 0);

    const KivIpAddr marker(0x01020304u);
    const bool isAddress = found && (size == 4 || size == 16);
    KivIpAddr address(marker), v6(marker), v4(marker);
    FUZZ_CHECK(MifFlatGetIpAddr(bytes, length, tag, &address, occurrence) == isAddress);
    FUZZ_CHECK(isAddress ? address.Length() == size
                         : (found ? address.Length() == 0 : address == marker));
    FUZZ_CHECK(!isAddress || (size == 4 ? address.V4HostValue() == Load32(value)
                                        : memcmp(address.Bytes(), value, 16) == 0));
    FUZZ_CHECK(MifFlatGetIpAddrV6(bytes, length, tag, &v6, occurrence) == isAddress);
    FUZZ_CHECK(v6.Length() == address.Length() && memcmp(v6.Bytes(), address.Bytes(), 16) == 0);
    FUZZ_CHECK(MifFlatGetIpAddrV4(bytes, length, tag, &v4, occurrence) == isInt);
    FUZZ_CHECK(v4.Length() == 4 && v4.V4HostValue() == (isInt ? Load32(value) : 0x01020304u));

    std::string text = "unchanged";
    const bool isText = found && size < 65535;
    FUZZ_CHECK(MifFlatGetStr(bytes, length, tag, &text, occurrence) == isText);
    FUZZ_CHECK(text == (isText ? std::string(reinterpret_cast<const char*>(value), size).c_str()
                               : "unchanged"));
    ExactBuffer buffer(strSize);
    const bool fits = found && size < strSize;
    FUZZ_CHECK(MifFlatGetStrBuf(bytes, length, tag, buffer.Get(), strSize, occurrence) == fits);
    if (fits)
        FUZZ_CHECK(memcmp(buffer.Get(), value, size) == 0 && buffer.Get()[size] == '\0');
    else if (strSize > 0) // untouched
        FUZZ_CHECK(static_cast<unsigned char>(buffer.Get()[0]) == 0xA5);
}

// Through a borrowed MifList: each throwing getter throws exactly when its checking
// getter fails, and a group is an owned copy of the value.
void CheckThrowing(const MifList& list, uint16_t tag, uint32_t n) {
    uint32_t number, length = 0;
    uint64_t wide;
    bool flag;
    std::string text;
    KivIpAddr ip;
#define KIV_SAME(get, tryGet, out)                                                                 \
    FUZZ_CHECK(Throws([&] { list.get(tag, n); }) != (list.tryGet(tag, &out, n) == 1))
    KIV_SAME(GetInt, TryGetInt, number);
    KIV_SAME(GetBool, TryGetBool, flag);
    KIV_SAME(GetInt64, TryGetInt64, wide);
    KIV_SAME(GetStr, TryGetStr, text);
    KIV_SAME(GetIpAddr, TryGetIpAddr, ip);
    KIV_SAME(GetIpAddrV4, TryGetIpAddrV4, ip);
    KIV_SAME(GetIpAddrV6, TryGetIpAddrV6, ip);
    KIV_SAME(GetBin, GetLen, length);
#undef KIV_SAME
    const uint8_t* value = nullptr;
    FUZZ_CHECK(Throws([&] {
                   MifList group = list.GetGroup(tag, n);
                   FUZZ_CHECK(group.GetSize() == length && !group.IsBorrowed());
                   list.GetBinPtr(tag, &value, &length, n);
                   FUZZ_CHECK(length == 0 || memcmp(group.GetData(), value, length) == 0);
               }) != (list.Exists(tag, n) == 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t strSize = input.Byte();
    const size_t formatSize = input.Byte();
    const std::string rest = input.Rest();
    const uint32_t length = static_cast<uint32_t>(rest.size());
    ExactBuffer exact(length);
    memcpy(exact.Get(), rest.data(), length);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(exact.Get());
    uint32_t number = 0;
    FUZZ_CHECK(MifFlatGetInt(nullptr, length, 1, &number, 1) == 0);

    const std::vector<MifRecord> records = MifWalk(bytes, length);
    std::set<uint16_t> tags = {0, 1, 0xFFFF};
    for (size_t i = 0; i < records.size() && tags.size() < 24; ++i)
        tags.insert(records[i].tag);
    MifList list;
    FUZZ_CHECK(length == 0 || list.Attach(const_cast<uint8_t*>(bytes), length, length) == 1);
    // Exceptions are slow under the sanitizers: the throwing getters see the one lookup
    // the input picks.
    size_t pick = strSize;
    for (uint16_t tag : tags) {
        uint32_t count = 0;
        bool anyRange = false;
        MifFind(records, tag, 0, &count);
        for (uint32_t occurrence = 0; occurrence <= count + 1; ++occurrence) {
            const MifRecord* record = MifFind(records, tag, occurrence);
            anyRange |= record != nullptr &&
                        (record->length == 2 || record->length == 4 || record->length == 8);
            if (occurrence > 6 && occurrence + 1 < count)
                continue; // the middle of a long run adds nothing
            CheckOccurrence(bytes, length, tag, occurrence, record, strSize);
            if (length > 0 && pick-- == 0)
                CheckThrowing(list, tag, occurrence);
            // MifFlatSetInt on a copy: only the first 4 bytes of a value of 4 or more change.
            std::vector<uint8_t> copy(bytes, bytes + length);
            const bool inPlace = record != nullptr && occurrence != 0 && record->length >= 4;
            if (length == 0)
                continue;
            FUZZ_CHECK(MifFlatSetInt(copy.data(), length, tag, 0xA1B2C3D4u, occurrence) == inPlace);
            if (inPlace) {
                FUZZ_CHECK(Load32(copy.data() + record->offset) == 0xA1B2C3D4u);
                memcpy(copy.data() + record->offset, bytes + record->offset, 4);
            }
            FUZZ_CHECK(memcmp(copy.data(), bytes, length) == 0);
        }
        for (int asAddress = 0; asAddress <= 1; ++asAddress) {
            ExactBuffer out(formatSize);
            const int result =
                MifFlatFormatValues(bytes, length, tag, out.Get(), formatSize, asAddress);
            FUZZ_CHECK(result == anyRange);
            FUZZ_CHECK(
                formatSize == 0 ||
                (result ? out.Terminated() : static_cast<unsigned char>(out.Get()[0]) == 0xA5));
        }
    }
    FUZZ_CHECK(memcmp(exact.Get(), rest.data(), length) == 0);
    return 0;
}

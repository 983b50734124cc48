// The MifFlat readers, the throwing getters and FormatValues over arbitrary bytes taken
// as a serialized attribute list (as a caller receives it from CheckForUpdate).
//
// Input: byte 0 is the text buffer size for MifFlatGetStrBuf (and picks the lookup that
// the throwing getters repeat), byte 1 the text size for MifFlatFormatValues; the rest is
// the list, in a block of exactly its length.
//
// Properties: every reader finds exactly the records of the plain walk (the n-th record
// of a tag, nothing behind an end marker or a truncated record) and accepts exactly the
// widths it is documented to accept; pointers stay inside the bytes; outputs stay
// inside their buffers and are terminated; the throwing getters throw exactly when the
// checking getters fail; the caller's bytes are never changed, and MifFlatSetInt can
// only overwrite a value in place.
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/MifReference.h"

#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxTags = 24;
constexpr uint32_t kMaxOccurrences = 6;

uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
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
    const uint32_t valueLength = found ? record->length : 0;
    const uint8_t* value = found ? bytes + record->offset : nullptr;

    const uint8_t* pointer = nullptr;
    uint32_t got = 0xDEAD;
    FUZZ_CHECK(MifFlatGetBinPtr(bytes, length, tag, &pointer, &got, occurrence) == (found ? 1 : 0));
    if (found)
        FUZZ_CHECK(pointer == value && got == valueLength);

    got = 0;
    FUZZ_CHECK(MifFlatGetBinCopy(bytes, length, tag, nullptr, &got, occurrence) == (found ? 1 : 0));
    if (found) {
        FUZZ_CHECK(got == valueLength);
        ExactBuffer copy(valueLength);
        uint32_t room = valueLength;
        FUZZ_CHECK(MifFlatGetBinCopy(bytes, length, tag, copy.Get(), &room, occurrence) == 1);
        FUZZ_CHECK(room == valueLength && memcmp(copy.Get(), value, valueLength) == 0);
        if (valueLength > 0) {
            ExactBuffer small(valueLength - 1);
            room = valueLength - 1;
            FUZZ_CHECK(MifFlatGetBinCopy(bytes, length, tag, small.Get(), &room, occurrence) == 0);
            FUZZ_CHECK(room == valueLength - 1);
        }
    }

    uint32_t number = 0x5EED;
    const bool isInt = found && valueLength == 4;
    FUZZ_CHECK(MifFlatGetInt(bytes, length, tag, &number, occurrence) == (isInt ? 1 : 0));
    FUZZ_CHECK(number == (isInt ? Load32(value) : 0x5EED));

    uint64_t wide = 0x5EED;
    const bool isInt64 = found && (valueLength == 4 || valueLength == 8);
    FUZZ_CHECK(MifFlatGetInt64(bytes, length, tag, &wide, occurrence) == (isInt64 ? 1 : 0));
    if (isInt64)
        FUZZ_CHECK(wide ==
                   (valueLength == 4
                        ? Load32(value)
                        : Load32(value) | (static_cast<uint64_t>(Load32(value + 4)) << 32)));
    else if (occurrence != 0 && length > 0) // the getter ran: out is 0 after any failure
        FUZZ_CHECK(wide == 0);

    const KivIpAddr marker(0x01020304u);
    const bool isAddress = found && (valueLength == 4 || valueLength == 16);
    KivIpAddr address(marker);
    FUZZ_CHECK(MifFlatGetIpAddr(bytes, length, tag, &address, occurrence) == (isAddress ? 1 : 0));
    if (isAddress)
        FUZZ_CHECK(address.Length() == valueLength);
    else
        FUZZ_CHECK(found ? address.Length() == 0 : address == marker);
    if (valueLength == 4 && found)
        FUZZ_CHECK(address.V4HostValue() == Load32(value));
    if (valueLength == 16 && found)
        FUZZ_CHECK(memcmp(address.Bytes(), value, 16) == 0);

    KivIpAddr v6(marker);
    FUZZ_CHECK(MifFlatGetIpAddrV6(bytes, length, tag, &v6, occurrence) == (isAddress ? 1 : 0));
    FUZZ_CHECK(v6.Length() == address.Length() && memcmp(v6.Bytes(), address.Bytes(), 16) == 0);

    KivIpAddr v4(marker);
    FUZZ_CHECK(MifFlatGetIpAddrV4(bytes, length, tag, &v4, occurrence) == (isInt ? 1 : 0));
    if (isInt)
        FUZZ_CHECK(v4.Length() == 4 && v4.V4HostValue() == Load32(value));
    else
        FUZZ_CHECK(v4.Length() == 4 && v4 == marker);

    std::string text = "unchanged";
    const bool isText = found && valueLength < 65535;
    FUZZ_CHECK(MifFlatGetStr(bytes, length, tag, &text, occurrence) == (isText ? 1 : 0));
    if (isText)
        FUZZ_CHECK(text == std::string(reinterpret_cast<const char*>(value), valueLength).c_str());
    else
        FUZZ_CHECK(text == "unchanged");

    ExactBuffer buffer(strSize);
    const bool fits = found && valueLength < strSize;
    FUZZ_CHECK(MifFlatGetStrBuf(bytes, length, tag, buffer.Get(), strSize, occurrence) ==
               (fits ? 1 : 0));
    if (fits) {
        FUZZ_CHECK(memcmp(buffer.Get(), value, valueLength) == 0);
        FUZZ_CHECK(buffer.Get()[valueLength] == '\0');
    } else if (strSize > 0) {
        FUZZ_CHECK(static_cast<unsigned char>(buffer.Get()[0]) == 0xA5); // untouched
    }
}

// The same list through a borrowed MifList: the throwing getters throw exactly when the
// checking ones fail, and a group is a copy of the value.
void CheckThrowing(const MifList& list, uint16_t tag, uint32_t occurrence) {
    uint32_t number;
    uint64_t wide;
    bool flag;
    std::string text;
    KivIpAddr address;
    uint32_t length = 0;
    FUZZ_CHECK(Throws([&] { list.GetInt(tag, occurrence); }) !=
               (list.TryGetInt(tag, &number, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetBool(tag, occurrence); }) !=
               (list.TryGetBool(tag, &flag, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetInt64(tag, occurrence); }) !=
               (list.TryGetInt64(tag, &wide, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetStr(tag, occurrence); }) !=
               (list.TryGetStr(tag, &text, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetIpAddr(tag, occurrence); }) !=
               (list.TryGetIpAddr(tag, &address, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetIpAddrV4(tag, occurrence); }) !=
               (list.TryGetIpAddrV4(tag, &address, occurrence) == 1));
    FUZZ_CHECK(Throws([&] { list.GetIpAddrV6(tag, occurrence); }) !=
               (list.TryGetIpAddrV6(tag, &address, occurrence) == 1));
    const bool exists = list.GetLen(tag, &length, occurrence) == 1;
    FUZZ_CHECK(Throws([&] {
                   std::vector<uint8_t> bytes = list.GetBin(tag, occurrence);
                   FUZZ_CHECK(bytes.size() == length);
               }) != exists);
    FUZZ_CHECK(Throws([&] {
                   MifList group = list.GetGroup(tag, occurrence);
                   FUZZ_CHECK(group.GetSize() == length && !group.IsBorrowed());
                   const uint8_t* value = nullptr;
                   uint32_t valueLength = 0;
                   list.GetBinPtr(tag, &value, &valueLength, occurrence);
                   FUZZ_CHECK(length == 0 || memcmp(group.GetData(), value, length) == 0);
               }) != exists);
}

void CheckFormat(const uint8_t* bytes, uint32_t length, uint16_t tag,
                 const std::vector<MifRecord>& records, size_t size) {
    bool anyRange = false;
    for (const MifRecord& record : records)
        if (record.tag == tag && (record.length == 2 || record.length == 4 || record.length == 8))
            anyRange = true;
    for (int asAddress = 0; asAddress <= 1; ++asAddress) {
        ExactBuffer out(size);
        const int result = MifFlatFormatValues(bytes, length, tag, out.Get(), size, asAddress);
        FUZZ_CHECK(result == (anyRange ? 1 : 0));
        if (size > 0 && result == 1)
            FUZZ_CHECK(out.Terminated());
        if (result == 0) // nothing formatted: out is not touched
            FUZZ_CHECK(static_cast<unsigned char>(out.Get()[0]) == 0xA5);
    }
}

// MifFlatSetInt on a copy: an existing value of at least 4 bytes gets its first 4 bytes
// replaced; anything else leaves the bytes as they were.
void CheckSetInt(const uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t occurrence,
                 const MifRecord* record) {
    std::vector<uint8_t> copy(bytes, bytes + length);
    const uint32_t value = 0xA1B2C3D4u;
    const bool inPlace = record != nullptr && occurrence != 0 && record->length >= 4;
    FUZZ_CHECK(MifFlatSetInt(copy.data(), length, tag, value, occurrence) == (inPlace ? 1 : 0));
    if (inPlace) {
        FUZZ_CHECK(Load32(copy.data() + record->offset) == value);
        memcpy(copy.data() + record->offset, bytes + record->offset, 4);
    }
    FUZZ_CHECK(memcmp(copy.data(), bytes, length) == 0);
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

    // Nothing is read from no bytes.
    uint32_t number = 0;
    FUZZ_CHECK(MifFlatGetInt(nullptr, length, 1, &number, 1) == 0);
    FUZZ_CHECK(MifFlatGetInt(bytes, 0, 1, &number, 1) == 0);

    const std::vector<MifRecord> records = MifWalk(bytes, length);
    std::set<uint16_t> tags = {0, 1, 0xFFFF};
    for (const MifRecord& record : records) {
        if (tags.size() >= kMaxTags)
            break;
        tags.insert(record.tag);
    }

    MifList list;
    FUZZ_CHECK(length == 0 || list.Attach(const_cast<uint8_t*>(bytes), length, length) == 1);
    // Exceptions are slow under the sanitizers: the throwing getters see one lookup only,
    // the one the input picks.
    size_t pick = strSize;
    for (uint16_t tag : tags) {
        const uint32_t count = MifCount(records, tag);
        for (uint32_t occurrence = 0; occurrence <= count + 1; ++occurrence) {
            if (occurrence > kMaxOccurrences && occurrence + 1 < count)
                continue; // the middle of a long run adds nothing
            const MifRecord* record = MifFind(records, tag, occurrence);
            CheckOccurrence(bytes, length, tag, occurrence, record, strSize);
            if (length > 0 && pick-- == 0)
                CheckThrowing(list, tag, occurrence);
            if (length > 0)
                CheckSetInt(bytes, length, tag, occurrence, record);
        }
        CheckFormat(bytes, length, tag, records, formatSize);
    }
    FUZZ_CHECK(memcmp(exact.Get(), rest.data(), length) == 0);
    return 0;
}

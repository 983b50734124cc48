// MifList built and edited by random operations (an operation byte, a tag byte, arguments);
// byte 0 is the text size for MifFlatGetStrBuf. After each one, every reader finds in a copy of
// exactly the used bytes what a plain walk finds, accepts exactly the widths it should and stays
// in its output; setters keep a list strictly finalized; Finalize and Unfinalize add and take
// exactly the marker; an added record is found where it was put.
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct MifRecord {
    uint16_t tag;
    uint32_t offset; // of the value
    uint32_t length;
};

// Groups and appends of the list's own bytes double it: a sequence stops past this size.
constexpr uint32_t kMaxListSize = 32 * 1024;

// A few small tags repeat often; the high ones reach the end-marker tag.
uint16_t TakeTag(FuzzInput& input) {
    const uint8_t b = input.Byte();
    return static_cast<uint16_t>((b & 0x80) != 0 ? 0xFFF0 | (b & 15) : b % 6);
}

// Mostly short values; now and then one near the 16-bit length limit.
std::string TakeValue(FuzzInput& input) {
    const uint8_t b = input.Byte();
    size_t length =
        b < 0xF0 ? b % 40 : (b == 0xFF ? 65535 + (input.Byte() % 3) - 1 : 300u * (b & 15));
    std::string value = input.Bytes(length);
    value.resize(length, 'v');
    return value;
}

// A copy of exactly the used bytes, walked without the class: the records before an end
// marker, a record running past the end or a tail under 4 bytes. Every reader must agree.
struct Walk {
    std::vector<uint8_t> bytes;
    std::vector<MifRecord> records;
    bool clean = false;     // whole records, nothing else
    bool finalized = false; // where the walk ended, not at a marker: FF FF
    bool strict = false;    // and nothing behind it

    explicit Walk(const MifList& list)
        : bytes(list.GetData(), list.GetData() + (list.GetData() != nullptr ? list.GetSize() : 0)) {
        const uint8_t* data = bytes.data();
        const uint64_t used = bytes.size();
        uint64_t p = 0;
        bool marker = false;
        while (p + 4 <= used && !(marker = data[p] == 0xFF && data[p + 1] == 0xFF)) {
            const uint32_t length = data[p + 2] | (data[p + 3] << 8);
            if (p + 4 + length > used)
                break;
            records.push_back({static_cast<uint16_t>(data[p] | (data[p + 1] << 8)),
                               static_cast<uint32_t>(p + 4), length});
            p += 4 + length;
        }
        clean = !marker && p == used;
        finalized = !marker && p + 2 <= used && data[p] == 0xFF && data[p + 1] == 0xFF;
        strict = finalized && p + 2 == used;
    }

    // The record of occurrence n (from 1) of a tag, or null; *count: how many there are.
    const MifRecord* Find(uint16_t tag, uint32_t occurrence, uint32_t* count = nullptr) const {
        uint32_t n = 0;
        const MifRecord* found = nullptr;
        for (const MifRecord& record : records)
            if (record.tag == tag && ++n == occurrence)
                found = &record;
        if (count != nullptr)
            *count = n;
        return found;
    }
};

template <typename Setter>
void Set(MifList& list, Setter setter) {
    const bool strict = Walk(list).strict;
    setter();
    FUZZ_CHECK(!strict || Walk(list).strict);
}

void Add(MifList& list, uint16_t tag, const void* bytes, uint32_t length) {
    const Walk before(list);
    uint32_t count = 0, offset = 0, found = 0;
    before.Find(tag, 0, &count);
    if (!list.AddBin(tag, bytes, length)) {
        // Refused: a full borrowed buffer, or the end-marker tag with a value.
        FUZZ_CHECK(Walk(list).bytes == before.bytes || list.GetError() != 0);
        return;
    }
    FUZZ_CHECK(list.GetSize() == before.bytes.size() + (tag == 0xFFFF ? 2 : 4 + length));
    if (before.clean && tag != 0xFFFF)
        FUZZ_CHECK(list.FindValue(tag, &offset, &found, count + 1) == 1 &&
                   offset == before.bytes.size() + 4 && found == length);
}

uint32_t Load32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Every flat reader on one occurrence; `record` is the walk's answer.
void CheckOccurrence(const uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t occurrence,
                     const MifRecord* record, uint16_t strSize) {
    const bool found = record != nullptr && occurrence != 0;
    const uint32_t size = found ? record->length : 0;
    const uint8_t* value = found ? bytes + record->offset : nullptr;
    const uint8_t* pointer = nullptr;
    uint32_t got = 0, room = size, shortRoom = size - 1;
    ExactBuffer copy(size), small(size == 0 ? 0 : size - 1);
    FUZZ_CHECK(MifFlatGetBinPtr(bytes, length, tag, &pointer, &got, occurrence) == found);
    FUZZ_CHECK(MifFlatGetBinCopy(bytes, length, tag, copy.Get(), &room, occurrence) == found);
    FUZZ_CHECK(!found || (pointer == value && got == size && room == size &&
                          memcmp(copy.Get(), value, size) == 0));
    FUZZ_CHECK(!found || size == 0 ||
               MifFlatGetBinCopy(bytes, length, tag, small.Get(), &shortRoom, occurrence) == 0);

    uint32_t number = 0x5EED;
    const bool isInt = found && size == 4;
    FUZZ_CHECK(MifFlatGetInt(bytes, length, tag, &number, occurrence) == isInt);
    FUZZ_CHECK(number == (isInt ? Load32(value) : 0x5EED));
    uint64_t wide = 0x5EED;
    const bool isInt64 = found && (size == 4 || size == 8), ran = occurrence != 0 && length > 0;
    const uint64_t high = size == 8 ? Load32(value + 4) : 0;
    FUZZ_CHECK(MifFlatGetInt64(bytes, length, tag, &wide, occurrence) == isInt64);
    // Once the getter runs, it leaves 0 after any failure.
    FUZZ_CHECK(wide == (isInt64 ? Load32(value) | high << 32 : ran ? 0 : 0x5EED));

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
    FUZZ_CHECK(fits ? memcmp(buffer.Get(), value, size) == 0 && buffer.Get()[size] == '\0'
                    : strSize == 0 || static_cast<unsigned char>(buffer.Get()[0]) == 0xA5);
}

void CheckList(const MifList& list, uint16_t strSize) {
    uint32_t room = 0;
    FUZZ_CHECK(list.GetSize() <= list.GetCapacity() &&
               list.GetFreeSpace(&room) == list.IsBorrowed());
    FUZZ_CHECK(!list.IsBorrowed() || room == list.GetCapacity() - list.GetSize());
    const Walk walk(list);
    FUZZ_CHECK(list.IsFinalized() == walk.finalized);
    const uint32_t length = static_cast<uint32_t>(walk.bytes.size());
    ExactBuffer exact(length);
    if (length != 0)
        memcpy(exact.Get(), walk.bytes.data(), length);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(exact.Get());
    std::set<uint16_t> tags = {0, 1, 2, 3, 4, 5, 0xFFF0, 0xFFFE, 0xFFFF};
    for (size_t i = 0; i < walk.records.size() && tags.size() < 16; ++i)
        tags.insert(walk.records[i].tag);
    for (uint16_t tag : tags) {
        uint32_t count = 0;
        walk.Find(tag, 0, &count);
        for (uint32_t occurrence = 0; occurrence <= count + 1; ++occurrence)
            if (occurrence <= 6 || occurrence + 1 >= count) // the middle of a long run adds nothing
                CheckOccurrence(bytes, length, tag, occurrence, walk.Find(tag, occurrence),
                                strSize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint16_t strSize = input.Byte();
    input.Byte();                                   // keeps the seeds' layout
    std::vector<std::unique_ptr<ExactBuffer>> lent; // outlive the lists, as a caller's would
    MifList list, other;
    for (int step = 0; step < 200 && !input.Empty() && list.GetSize() <= kMaxListSize &&
                       other.GetSize() <= kMaxListSize;
         ++step) {
        const uint8_t op = input.Byte();
        MifList& target = (op & 0x80) != 0 ? other : list;
        const uint16_t tag = TakeTag(input);
        switch (op & 0x1F) {
        case 0:
        case 6: { // a record, or raw bytes: stray bytes, markers, pieces of records
            const std::string value = TakeValue(input);
            if ((op & 0x1F) == 0)
                Add(target, tag, value.data(), static_cast<uint32_t>(value.size()));
            else
                target.AppendBytes(value.data(), static_cast<uint32_t>(value.size()));
            break;
        }
        case 5:
            target.AddGroup(tag, (op & 0x40) != 0 ? target : ((op & 0x80) != 0 ? list : other));
            break;
        case 12: {
            const Walk before(target);
            const int done = target.Finalize();
            if (before.strict)
                FUZZ_CHECK(done == 1 && target.GetSize() == before.bytes.size());
            else if (done && before.clean)
                FUZZ_CHECK(Walk(target).strict);
            break;
        }
        case 13: {
            const Walk before(target);
            FUZZ_CHECK(target.Unfinalize() == before.finalized);
            if (before.strict)
                FUZZ_CHECK(target.GetSize() == before.bytes.size() - 2 && Walk(target).clean);
            break;
        }
        case 14:
            Set(target, [&] { target.Remove(tag); });
            break;
        case 15: { // the setters
            const uint32_t occurrence = input.Byte() % 5;
            const uint8_t kind = input.Byte() % 4;
            const std::string value = kind < 2 ? TakeValue(input) : std::string();
            const uint64_t number = kind >= 2 ? input.Number(8) : 0;
            Set(target, [&] {
                if (kind < 2)
                    target.SetBin(tag, value.data(), static_cast<uint32_t>(value.size()),
                                  occurrence);
                else if (kind == 2)
                    target.SetInt(tag, static_cast<uint32_t>(number), occurrence);
                else
                    target.SetInt64(tag, number, occurrence);
            });
            break;
        }
        case 19: { // a caller's buffer of exactly `capacity` bytes, `used` of them a list
            const uint32_t capacity = input.Number(2) % 600;
            const uint32_t used = capacity == 0 ? 0 : input.Number(2) % (capacity + 2);
            lent.push_back(std::make_unique<ExactBuffer>(capacity));
            const std::string bytes = input.Bytes(capacity);
            memcpy(lent.back()->Get(), bytes.data(), bytes.size());
            FUZZ_CHECK(target.Attach(reinterpret_cast<uint8_t*>(lent.back()->Get()), capacity,
                                     used) == (capacity != 0 && used <= capacity));
            break;
        }
        case 26: { // a value from the list's own bytes, which the call may move
            const uint32_t occurrence = input.Byte() % 5;
            const uint32_t used = target.GetSize();
            if (used == 0)
                break;
            const uint32_t offset = input.Number(2) % used;
            const uint32_t length = input.Number(2) % (used - offset + 1);
            const uint8_t* own = target.GetData() + offset;
            const std::vector<uint8_t> expected(own, own + length);
            if (occurrence != 0)
                Set(target, [&] { target.SetBin(tag, own, length, occurrence); });
            else if ((op & 0x40) != 0 ? target.AddBin(tag, own, length) == 1
                                      : target.AppendBytes(own, length) == 1)
                FUZZ_CHECK(length == 0 ||
                           memcmp(target.GetData() + used + ((op & 0x40) != 0 ? 4 : 0),
                                  expected.data(), length) == 0);
            break;
        }
        default:
            break;
        }
        CheckList(list, strSize);
        CheckList(other, strSize);
    }
    return 0;
}

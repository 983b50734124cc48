// MifList built and edited by random sequences of operations (an operation byte, then its
// arguments): adds, raw appends, finalizing, setters, removal, attached and assigned
// buffers, copies, moves and groups, values taken from the list's own buffer included.
//
// Properties, after every operation: used never exceeds capacity; every lookup finds
// exactly what a plain walk over the used bytes finds; IsFinalized says what the bytes
// say; the setters keep a strictly finalized list so; Finalize on whole records gives a
// strictly finalized list and Unfinalize takes exactly the marker away; a record added
// behind whole records is found where it was put; formatted values fit their buffer.
#include "attrlist/MifList.h"
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/MifReference.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Groups of the list itself and appends of its own bytes double it, and every check
// walks the whole list: a sequence stops past this size.
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

// The walk over a copy of exactly the used bytes.
struct Snapshot {
    std::vector<uint8_t> bytes;
    std::vector<MifRecord> records;
    uint32_t stop = 0;
    bool atMarker = false;

    explicit Snapshot(const MifList& list)
        : bytes(list.GetData(),
                list.GetData() == nullptr ? nullptr : list.GetData() + list.GetSize()) {
        records = MifWalk(bytes.data(), static_cast<uint32_t>(bytes.size()), &stop, &atMarker);
    }
    bool Clean() const { return !atMarker && stop == bytes.size(); } // whole records only
    bool Strict() const {
        return MifStrictlyFinalized(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    bool Finalized() const { // the walk ends, not at a marker, with FF FF at its stop
        return !atMarker && stop + 2 <= bytes.size() && bytes[stop] == 0xFF &&
               bytes[stop + 1] == 0xFF;
    }
};

void CheckList(const MifList& list) {
    FUZZ_CHECK(list.GetSize() <= list.GetCapacity());
    FUZZ_CHECK(list.GetData() != nullptr || list.GetSize() == 0);
    uint32_t room = 0;
    FUZZ_CHECK(list.GetFreeSpace(&room) == list.IsBorrowed());
    FUZZ_CHECK(!list.IsBorrowed() || room == list.GetCapacity() - list.GetSize());
    const Snapshot snapshot(list);
    FUZZ_CHECK(list.IsFinalized() == snapshot.Finalized());
    for (uint16_t tag : {0, 1, 2, 3, 4, 5, 0xFFF0, 0xFFFE, 0xFFFF}) {
        uint32_t count = 0, offset = 0, length = 0;
        MifFind(snapshot.records, tag, 0, &count);
        for (uint32_t occurrence = 0; occurrence <= count + 1 && occurrence <= 6; ++occurrence) {
            const MifRecord* record = MifFind(snapshot.records, tag, occurrence);
            FUZZ_CHECK(list.FindValue(tag, &offset, &length, occurrence) == (record != nullptr));
            FUZZ_CHECK(!record || (offset == record->offset && length == record->length));
        }
        // FormatValues looks every occurrence up afresh, so it is quadratic in them.
        char text[24];
        if (count <= 64 && list.FormatValues(tag, text, sizeof text, tag & 1))
            FUZZ_CHECK(memchr(text, '\0', sizeof text) != nullptr);
    }
}

template <typename Setter>
void Set(MifList& list, Setter setter) {
    const bool strict = Snapshot(list).Strict();
    setter();
    FUZZ_CHECK(!strict || Snapshot(list).Strict());
}

void Add(MifList& list, uint16_t tag, const void* bytes, uint32_t length) {
    const Snapshot before(list);
    uint32_t count = 0, offset = 0, found = 0;
    MifFind(before.records, tag, 0, &count);
    if (!list.AddBin(tag, bytes, length)) {
        // Refused: a full borrowed buffer, or the end-marker tag with a value.
        FUZZ_CHECK(Snapshot(list).bytes == before.bytes || list.GetError() != 0);
        return;
    }
    FUZZ_CHECK(list.GetSize() == before.bytes.size() + (tag == 0xFFFF ? 2 : 4 + length));
    if (before.Clean() && tag != 0xFFFF) {
        FUZZ_CHECK(list.FindValue(tag, &offset, &found, count + 1) == 1);
        FUZZ_CHECK(offset == before.bytes.size() + 4 && found == length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    std::vector<std::unique_ptr<ExactBuffer>> lent; // outlive the lists, as a caller's would
    MifList list, other;
    for (int step = 0; step < 200 && !input.Empty() && list.GetSize() <= kMaxListSize &&
                       other.GetSize() <= kMaxListSize;
         ++step) {
        const uint8_t op = input.Byte();
        MifList& target = (op & 0x80) != 0 ? other : list;
        const uint16_t tag = TakeTag(input);
        switch (op & 0x1F) {
        case 0: {
            const std::string value = TakeValue(input);
            Add(target, tag, value.data(), static_cast<uint32_t>(value.size()));
            break;
        }
        case 1: { // the typed adders
            const uint8_t kind = input.Byte();
            if (kind % 3 == 0)
                target.AddStr(tag, TakeValue(input).c_str());
            else if (kind % 3 == 1)
                target.AddInt64(tag, input.U64());
            else if ((kind & 4) != 0)
                target.AddInt(tag, input.U32());
            else
                target.AddBool(tag, (kind & 8) != 0);
            break;
        }
        case 5:
            target.AddGroup(tag, (op & 0x40) != 0 ? target : ((op & 0x80) != 0 ? list : other));
            break;
        case 6: { // raw appends
            const uint8_t kind = input.Byte() % 6;
            const std::string value = kind >= 4 ? TakeValue(input) : std::string();
            if (kind == 0)
                target.AppendU16(input.U16());
            else if (kind == 1)
                target.AppendByte(input.Byte());
            else if (kind == 2)
                target.AppendU32(input.U32());
            else if (kind == 3)
                target.AppendU64(input.U64());
            else if (kind == 4)
                target.AppendText(value.c_str());
            else
                target.AppendBytes(value.data(), static_cast<uint32_t>(value.size()));
            break;
        }
        case 12: {
            const Snapshot before(target);
            const int done = target.Finalize();
            if (before.Strict())
                FUZZ_CHECK(done == 1 && target.GetSize() == before.bytes.size());
            else if (done && before.Clean())
                FUZZ_CHECK(Snapshot(target).Strict());
            break;
        }
        case 13: {
            const Snapshot before(target);
            FUZZ_CHECK(target.Unfinalize() == before.Finalized());
            if (before.Strict())
                FUZZ_CHECK(target.GetSize() == before.bytes.size() - 2 && Snapshot(target).Clean());
            break;
        }
        case 14:
            Set(target, [&] { target.Remove(tag); });
            break;
        case 15: { // the setters
            const uint32_t occurrence = input.Byte() % 5;
            const uint8_t kind = input.Byte() % 4;
            const std::string value = kind < 2 ? TakeValue(input) : std::string();
            const uint64_t number = kind >= 2 ? input.U64() : 0;
            Set(target, [&] {
                if (kind == 0)
                    target.SetBin(tag, value.data(), static_cast<uint32_t>(value.size()),
                                  occurrence);
                else if (kind == 1)
                    target.SetStr(tag, value.c_str(), occurrence);
                else if (kind == 2)
                    target.SetInt(tag, static_cast<uint32_t>(number), occurrence);
                else
                    target.SetInt64(tag, number, occurrence);
            });
            break;
        }
        case 19: { // a caller's buffer of exactly `capacity` bytes, `used` of them a list
            const uint32_t capacity = input.U16() % 600;
            const uint32_t used = capacity == 0 ? 0 : input.U16() % (capacity + 2);
            lent.push_back(std::make_unique<ExactBuffer>(capacity));
            const std::string bytes = input.Bytes(capacity);
            memcpy(lent.back()->Get(), bytes.data(), bytes.size());
            FUZZ_CHECK(target.Attach(reinterpret_cast<uint8_t*>(lent.back()->Get()), capacity,
                                     used) == (capacity != 0 && used <= capacity));
            break;
        }
        case 20: {
            const std::string value = TakeValue(input);
            target.Assign(reinterpret_cast<const uint8_t*>(value.data()),
                          static_cast<uint32_t>(value.size()));
            FUZZ_CHECK(target.GetSize() == value.size() && !target.IsBorrowed());
            break;
        }
        case 21: {
            const bool borrowed = target.IsBorrowed();
            FUZZ_CHECK(target.Reset(input.U16()) == !borrowed);
            break;
        }
        case 22:
            other = list;
            FUZZ_CHECK(Snapshot(other).bytes == Snapshot(list).bytes);
            break;
        case 23:
            if ((op & 0x40) != 0)
                list = std::move(other);
            else
                other = std::move(list);
            break;
        case 25: {
            const bool v6 = (input.Byte() & 1) != 0;
            std::string bytes = input.Bytes(16);
            bytes.resize(16, '\0');
            const KivIpAddr address(bytes.data(), v6 ? 16u : 4u);
            if ((op & 0x40) != 0)
                target.AddIpAddrV4(tag, address);
            else
                target.AddIpAddr(tag, address);
            break;
        }
        case 26: { // a value from the list's own bytes, which the call may move
            const uint32_t occurrence = input.Byte() % 5;
            const uint32_t used = target.GetSize();
            if (used == 0)
                break;
            const uint32_t offset = input.U16() % used;
            const uint32_t length = input.U16() % (used - offset + 1);
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
        default: { // formatting into a buffer of the size the input gives
            const size_t textSize = input.Byte() % 48;
            ExactBuffer text(textSize);
            if (target.FormatValues(tag, text.Get(), textSize, op & 0x40) && textSize > 0)
                FUZZ_CHECK(text.Terminated());
            break;
        }
        }
        CheckList(list);
        CheckList(other);
    }
    return 0;
}

#include "attrlist/MifList.h"

#include "attrlist/WireBytes.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kGrowthSlack = 1000; // spare bytes per enlargement of an owned buffer
constexpr uint32_t kRebuildSlack = 10;  // spare bytes when SetBin rebuilds an owned buffer
constexpr uint32_t kMaxValue = 0xFFFF;  // a value's length is a 16-bit field

// Overwrites memory in a way the compiler may not drop because a free() follows.
void WipeBytes(uint8_t* p, size_t n) noexcept {
    memset(p, 0, n);
    __asm__ __volatile__("" : : "r"(p) : "memory");
}

// End of the records that a walk from the start can pass before it meets an end marker:
// the offset where the walk stopped and whether it stopped at a marker.
struct WalkEnd {
    uint64_t position;
    bool atMarker;
};

WalkEnd WalkToEnd(const uint8_t* data, uint32_t used) noexcept {
    uint64_t p = 0;
    while (p + 4 <= used) {
        if (LoadU16(data + p) == MifList::kEndTag)
            return {p, true};
        p += 4 + static_cast<uint64_t>(LoadU16(data + p + 2));
    }
    return {p, false};
}

bool EndsWithMarker(const uint8_t* data, uint32_t used) noexcept {
    if (data == nullptr || used < 2)
        return false;
    if (used < 4)
        return data[0] == 0xFF && data[1] == 0xFF;
    WalkEnd end = WalkToEnd(data, used);
    return !end.atMarker && end.position + 2 <= used && data[end.position] == 0xFF &&
           data[end.position + 1] == 0xFF;
}

// Where `bytes` lies inside `buffer` (of `capacity` bytes), as an offset; false when it
// lies outside. A value taken from the list's own buffer must be found again by its
// offset once growing the buffer has moved it.
bool OffsetInBuffer(const uint8_t* buffer, uint32_t capacity, const void* bytes,
                    size_t* offset) noexcept {
    uintptr_t begin = reinterpret_cast<uintptr_t>(buffer);
    uintptr_t at = reinterpret_cast<uintptr_t>(bytes);
    if (buffer == nullptr || at < begin || at - begin >= capacity)
        return false;
    *offset = static_cast<size_t>(at - begin);
    return true;
}

} // namespace

MifList::MifList(const MifList& other) {
    *this = other;
}

MifList::MifList(MifList&& other) noexcept
    : data_(other.data_), used_(other.used_), capacity_(other.capacity_), error_(other.error_),
      borrowed_(other.borrowed_) {
    other.data_ = nullptr;
    other.used_ = other.capacity_ = other.error_ = other.borrowed_ = 0;
}

MifList::~MifList() {
    if (!borrowed_ && data_ != nullptr) {
        WipeBytes(data_, capacity_);
        free(data_);
    }
    data_ = nullptr;
    used_ = capacity_ = error_ = borrowed_ = 0;
}

void MifList::ReleaseOwned() noexcept {
    if (!borrowed_)
        free(data_);
    data_ = nullptr;
}

MifList& MifList::operator=(const MifList& other) {
    if (this == &other)
        return *this;
    ReleaseOwned();
    used_ = other.used_;
    capacity_ = other.capacity_;
    error_ = other.error_;
    borrowed_ = other.borrowed_;
    if (borrowed_ || other.data_ == nullptr) {
        data_ = other.data_;
        return *this;
    }
    data_ = static_cast<uint8_t*>(malloc(capacity_ ? capacity_ : 1));
    if (data_ == nullptr) {
        used_ = capacity_ = 0;
        error_ = 1;
        return *this;
    }
    memcpy(data_, other.data_, used_);
    return *this;
}

MifList& MifList::operator=(MifList&& other) noexcept {
    if (this == &other)
        return *this;
    this->~MifList();
    data_ = other.data_;
    used_ = other.used_;
    capacity_ = other.capacity_;
    error_ = other.error_;
    borrowed_ = other.borrowed_;
    other.data_ = nullptr;
    other.used_ = other.capacity_ = other.error_ = other.borrowed_ = 0;
    return *this;
}

int MifList::Attach(uint8_t* bytes, uint32_t capacity, uint32_t used) {
    if (bytes == nullptr || capacity == 0 || used > capacity)
        return 0;
    ReleaseOwned();
    data_ = bytes;
    capacity_ = capacity;
    used_ = used;
    error_ = 0;
    borrowed_ = 1;
    return 1;
}

void MifList::Assign(const uint8_t* bytes, uint32_t n) {
    if (bytes != nullptr && bytes == data_)
        return;
    // Copy before releasing: the source may lie inside the buffer being replaced.
    uint8_t* copy = nullptr;
    bool wanted = bytes != nullptr && n != 0;
    if (wanted) {
        copy = static_cast<uint8_t*>(malloc(n));
        if (copy != nullptr)
            memcpy(copy, bytes, n);
    }
    ReleaseOwned();
    borrowed_ = 0;
    data_ = copy;
    used_ = capacity_ = copy ? n : 0;
    error_ = wanted && copy == nullptr ? 1 : 0;
}

int MifList::Reset(uint32_t capacity) {
    if (borrowed_)
        return 0;
    free(data_);
    data_ = nullptr;
    used_ = capacity_ = 0;
    error_ = 0;
    if (capacity == 0)
        return 1;
    data_ = static_cast<uint8_t*>(malloc(capacity));
    if (data_ == nullptr) {
        error_ = 1;
        return 0;
    }
    capacity_ = capacity;
    return 1;
}

bool MifList::EnsureRoom(uint32_t need) {
    if (error_)
        return false;
    uint64_t wanted = static_cast<uint64_t>(used_) + need;
    if (wanted > UINT32_MAX)
        return false;
    if (borrowed_)
        return wanted <= capacity_;
    // Growing only when the room is short: a request for nothing allocates nothing.
    if (wanted <= capacity_)
        return true;
    uint64_t grown = wanted + kGrowthSlack;
    if (grown > UINT32_MAX)
        grown = UINT32_MAX;
    void* bigger = realloc(data_, grown);
    if (bigger == nullptr) {
        free(data_);
        data_ = nullptr;
        used_ = capacity_ = 0;
        error_ = 1;
        return false;
    }
    data_ = static_cast<uint8_t*>(bigger);
    capacity_ = static_cast<uint32_t>(grown);
    return true;
}

int MifList::Reserve(uint32_t n) {
    return EnsureRoom(n) ? 1 : 0;
}

int MifList::GetFreeSpace(uint32_t* out) const noexcept {
    if (!borrowed_)
        return 0;
    if (out != nullptr)
        *out = capacity_ - used_;
    return 1;
}

int MifList::AddBin(uint16_t tag, const void* bytes, uint32_t length) {
    if (length > kMaxValue || (length != 0 && bytes == nullptr))
        return 0;
    if (tag == kEndTag && length != 0)
        return 0;
    uint32_t header = tag == kEndTag ? 2 : 4;
    size_t inside = 0;
    bool own = OffsetInBuffer(data_, capacity_, bytes, &inside);
    if (!EnsureRoom(header + length))
        return 0;
    if (own)
        bytes = data_ + inside;
    uint8_t* at = data_ + used_;
    StoreU16(at, tag);
    if (tag != kEndTag) {
        StoreU16(at + 2, static_cast<uint16_t>(length));
        if (length != 0)
            memmove(at + 4, bytes, length);
    }
    used_ += header + length;
    return 1;
}

int MifList::AddStr(uint16_t tag, const char* text) {
    if (text == nullptr)
        return 0;
    return AddBin(tag, text, static_cast<uint32_t>(strlen(text) % 65536));
}

int MifList::AddInt(uint16_t tag, uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value);
    return AddBin(tag, bytes, 4);
}

int MifList::AddBool(uint16_t tag, bool value) {
    return AddInt(tag, value ? 1u : 0u);
}

int MifList::AddInt64(uint16_t tag, uint64_t value) {
    uint8_t bytes[8];
    StoreU64(bytes, value);
    return AddBin(tag, bytes, (value >> 32) != 0 ? 8 : 4);
}

int MifList::AddGroup(uint16_t tag, const MifList& sub) {
    if (&sub == this) {
        MifList copy(sub);
        return AddGroup(tag, copy);
    }
    if (sub.data_ != nullptr && sub.used_ >= 2 && sub.IsFinalized())
        return AddBin(tag, sub.data_, sub.used_);
    // Not finalized: nest its bytes and close them with an end marker of our own.
    uint32_t contributed = sub.data_ != nullptr ? sub.used_ : 0;
    if (contributed + 2 > kMaxValue || !EnsureRoom(4 + contributed + 2))
        return 0;
    return AppendU16(tag) && AppendU16(static_cast<uint16_t>(contributed + 2)) &&
                   (contributed == 0 || AppendBytes(sub.data_, contributed)) && AppendU16(kEndTag)
               ? 1
               : 0;
}

int MifList::Append(const void* bytes, uint32_t n) {
    size_t inside = 0;
    bool own = OffsetInBuffer(data_, capacity_, bytes, &inside);
    if (!EnsureRoom(n))
        return 0;
    if (own)
        bytes = data_ + inside;
    if (n != 0)
        memmove(data_ + used_, bytes, n);
    used_ += n;
    return 1;
}

int MifList::AppendU16(uint16_t value) {
    uint8_t bytes[2];
    StoreU16(bytes, value);
    return Append(bytes, 2);
}

int MifList::AppendByte(uint8_t value) {
    return Append(&value, 1);
}

int MifList::AppendU32(uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value);
    return Append(bytes, 4);
}

int MifList::AppendU64(uint64_t value) {
    uint8_t bytes[8];
    StoreU64(bytes, value);
    return Append(bytes, 8);
}

int MifList::AppendText(const char* text) {
    if (text == nullptr)
        return 0;
    size_t length = strlen(text);
    if (length > UINT32_MAX)
        return 0;
    return Append(text, static_cast<uint32_t>(length));
}

int MifList::AppendBytes(const void* bytes, uint32_t n) {
    if (bytes == nullptr)
        return 0;
    return Append(bytes, n);
}

int MifList::Finalize() {
    if (EndsWithMarker(data_, used_))
        return 1;
    return AddBin(kEndTag, nullptr, 0);
}

int MifList::IsFinalized() const noexcept {
    return EndsWithMarker(data_, used_) ? 1 : 0;
}

int MifList::Unfinalize() {
    if (!IsFinalized())
        return 0;
    // Cut at the marker itself. The test also accepts one stray byte behind the marker;
    // taking 2 bytes off the end would then keep the marker's first byte in front of the
    // next record and break the list.
    used_ = static_cast<uint32_t>(WalkToEnd(data_, used_).position);
    return 1;
}

bool MifList::Walk(uint16_t tag, uint32_t occurrence, Record* found) const noexcept {
    if (data_ == nullptr || used_ < 4 || occurrence == 0)
        return false;
    uint32_t p = 0;
    uint32_t count = 0;
    for (;;) {
        uint16_t current = LoadU16(data_ + p);
        if (current == kEndTag)
            return false;
        uint32_t length = LoadU16(data_ + p + 2);
        uint64_t next = static_cast<uint64_t>(p) + 4 + length;
        if (next > used_)
            return false;
        if (current == tag && ++count == occurrence) {
            found->start = p;
            found->length = length;
            return true;
        }
        if (next + 4 > used_)
            return false;
        p = static_cast<uint32_t>(next);
    }
}

int MifList::FindValue(uint16_t tag, uint32_t* offset, uint32_t* length,
                       uint32_t occurrence) const noexcept {
    Record record;
    if (!Walk(tag, occurrence, &record))
        return 0;
    if (offset != nullptr)
        *offset = record.start + 4;
    if (length != nullptr)
        *length = record.length;
    return 1;
}

int MifList::Remove(uint16_t tag) {
    Record record;
    if (!Walk(tag, 1, &record))
        return 0;
    uint32_t end = record.start + 4 + record.length;
    memmove(data_ + record.start, data_ + end, used_ - end);
    used_ -= 4 + record.length;
    return 1;
}

// Appends a record in front of the end marker when the list is finalized, so that the
// setters keep a finalized list finalized.
int MifList::AppendRecordKeepingMarker(uint16_t tag, const void* bytes, uint32_t length) {
    int finalized = Unfinalize();
    // A finalized list takes the record only when the marker still fits behind it: a
    // borrowed buffer with room for the record alone would otherwise lose its marker.
    uint64_t record = (tag == kEndTag ? 2u : 4u) + static_cast<uint64_t>(length);
    bool room =
        !finalized || (record + 2 <= UINT32_MAX && Reserve(static_cast<uint32_t>(record + 2)));
    int added = room ? AddBin(tag, bytes, length) : 0;
    if (finalized)
        Finalize();
    return added;
}

int MifList::SetBin(uint16_t tag, const void* bytes, uint32_t length, uint32_t occurrence) {
    if (bytes == nullptr || occurrence == 0 || length > kMaxValue)
        return 0;
    Record record;
    if (!Walk(tag, occurrence, &record)) {
        // The value may live in this very buffer, which the append can move.
        const uint8_t* source = static_cast<const uint8_t*>(bytes);
        if (data_ != nullptr && source >= data_ && source < data_ + capacity_) {
            MifList copy;
            copy.Assign(source, length);
            if (length != 0 && copy.GetData() == nullptr)
                return 0;
            AppendRecordKeepingMarker(tag, copy.GetData(), length);
        } else {
            AppendRecordKeepingMarker(tag, bytes, length);
        }
        return 0;
    }
    uint64_t size = static_cast<uint64_t>(used_) - record.length + length;
    if (size > UINT32_MAX - kRebuildSlack)
        return 0;
    if (borrowed_ && size > capacity_)
        return 0;
    uint32_t newSize = static_cast<uint32_t>(size);
    uint32_t allocation = borrowed_ ? newSize : newSize + kRebuildSlack;
    uint8_t* rebuilt = static_cast<uint8_t*>(malloc(allocation ? allocation : 1));
    if (rebuilt == nullptr)
        return 0;
    uint32_t valueAt = record.start + 4;
    uint32_t tailAt = valueAt + record.length;
    memcpy(rebuilt, data_, valueAt);
    StoreU16(rebuilt + record.start + 2, static_cast<uint16_t>(length));
    if (length != 0)
        memcpy(rebuilt + valueAt, bytes, length);
    memcpy(rebuilt + valueAt + length, data_ + tailAt, used_ - tailAt);
    if (borrowed_) {
        memcpy(data_, rebuilt, newSize);
        free(rebuilt);
    } else {
        free(data_);
        data_ = rebuilt;
        capacity_ = allocation;
    }
    used_ = newSize;
    return 1;
}

void MifList::SetStr(uint16_t tag, const char* text, uint32_t occurrence) {
    if (text == nullptr)
        return;
    SetBin(tag, text, static_cast<uint32_t>(strlen(text) % 65536), occurrence);
}

int MifList::SetInt(uint16_t tag, uint32_t value, uint32_t occurrence) {
    if (occurrence == 0)
        return 0;
    uint8_t bytes[4];
    StoreU32(bytes, value);
    Record record;
    if (!Walk(tag, occurrence, &record)) {
        AppendRecordKeepingMarker(tag, bytes, 4);
        return 0;
    }
    if (record.length < 4)
        return SetBin(tag, bytes, 4, occurrence);
    memcpy(data_ + record.start + 4, bytes, 4);
    return 1;
}

int MifList::SetInt64(uint16_t tag, uint64_t value, uint32_t occurrence) {
    if (occurrence == 0)
        return 0;
    uint8_t bytes[8];
    StoreU64(bytes, value);
    uint32_t width = (value >> 32) != 0 ? 8 : 4;
    Record record;
    if (!Walk(tag, occurrence, &record)) {
        AppendRecordKeepingMarker(tag, bytes, width);
        return 0;
    }
    if (record.length == width) {
        memcpy(data_ + record.start + 4, bytes, width);
        return 1;
    }
    return SetBin(tag, bytes, width, occurrence);
}

int MifFlatSetInt(uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t value,
                  uint32_t occurrence) {
    if (bytes == nullptr || length == 0)
        return 0;
    MifList list;
    list.Attach(bytes, length, length);
    return list.SetInt(tag, value, occurrence);
}

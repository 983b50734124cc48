// MifList: the tag/length/value attribute list whose buffer is its own wire form.
//
// Wire form: records of a 16-bit tag (the OID), a 16-bit length L and L value bytes,
// little-endian, no padding and no type codes, closed by the end marker FF FF. Tags may
// repeat; the n-th record of a tag is its occurrence n, counted from 1 (0 never matches).
// Readers walk the records from the start and stop at the first end marker, at a record
// that runs past the used size, and when fewer than 4 bytes remain.
//
// The list either owns a heap buffer (grown by the needed bytes plus 1000 at a time and
// wiped with zeros by the destructor) or borrows a caller's buffer through Attach, which
// it never resizes, wipes or frees.
//
// Choices where the wire form leaves room:
// - AddBin with the end-marker tag 0xFFFF and a non-zero length is refused (result 0,
//   nothing written): an end marker never carries a value.
// - When enlarging an owned buffer fails, the old buffer is freed, used drops to 0 and
//   error becomes 1; every further add and append is refused until Reset, Assign, Attach
//   or an assignment gives the list a new buffer. So a list never claims bytes it does
//   not hold, and a caller that ignores one failed add cannot produce a list that
//   silently lacks records.
// - SetInt on an existing value shorter than 4 bytes replaces that value with the 4-byte
//   integer (as SetBin does) instead of writing past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class KivIpAddr;

class MifList {
public:
    static constexpr uint16_t kEndTag = 0xFFFF;

    MifList() noexcept = default;
    MifList(const MifList& other);
    MifList(MifList&& other) noexcept;
    ~MifList();
    MifList& operator=(const MifList& other);
    MifList& operator=(MifList&& other) noexcept;

    // Buffer management.
    int Attach(uint8_t* bytes, uint32_t capacity, uint32_t used);
    void Assign(const uint8_t* bytes, uint32_t n);
    int Reset(uint32_t capacity);
    int Reserve(uint32_t n);
    uint8_t* GetData() const noexcept { return data_; }
    uint32_t GetSize() const noexcept { return used_; }
    uint32_t GetCapacity() const noexcept { return capacity_; }
    void SetSize(uint32_t n) noexcept { used_ = n; }
    int GetFreeSpace(uint32_t* out) const noexcept;
    uint32_t GetError() const noexcept { return error_; }
    bool IsBorrowed() const noexcept { return borrowed_ != 0; }

    // Building: each appends one record at the end of the used bytes.
    int AddBin(uint16_t tag, const void* bytes, uint32_t length);
    int AddStr(uint16_t tag, const char* text);
    int AddInt(uint16_t tag, uint32_t value);
    int AddInt(uint16_t tag, int32_t value) { return AddInt(tag, static_cast<uint32_t>(value)); }
    int AddBool(uint16_t tag, bool value);
    int AddInt64(uint16_t tag, uint64_t value);
    int AddGroup(uint16_t tag, const MifList& sub);

    // Raw appends without record structure.
    int AppendU16(uint16_t value);
    int AppendByte(uint8_t value);
    int AppendU32(uint32_t value);
    int AppendU64(uint64_t value);
    int AppendText(const char* text);
    int AppendBytes(const void* bytes, uint32_t n);

    // Closing and editing.
    int Finalize();
    int Unfinalize();
    int IsFinalized() const noexcept;
    int Remove(uint16_t tag);
    int SetBin(uint16_t tag, const void* bytes, uint32_t length, uint32_t occurrence);
    void SetStr(uint16_t tag, const char* text, uint32_t occurrence);
    int SetInt(uint16_t tag, uint32_t value, uint32_t occurrence);
    int SetInt64(uint16_t tag, uint64_t value, uint32_t occurrence);

    // Finds occurrence n of a tag: the offset of its value in the buffer and its length.
    // Either out pointer may be null.
    int FindValue(uint16_t tag, uint32_t* offset, uint32_t* length,
                  uint32_t occurrence) const noexcept;

private:
    struct Record {
        uint32_t start;  // offset of the record's tag
        uint32_t length; // value length
    };
    bool Walk(uint16_t tag, uint32_t occurrence, Record* found) const noexcept;
    bool EnsureRoom(uint32_t need);
    int Append(const void* bytes, uint32_t n);
    void ReleaseOwned() noexcept;
    int AppendRecordKeepingMarker(uint16_t tag, const void* bytes, uint32_t length);

    uint8_t* data_ = nullptr; // the buffer; null when the list has none
    uint32_t used_ = 0;       // bytes in use: the serialized size
    uint32_t capacity_ = 0;   // bytes allocated (owned) or available (borrowed)
    uint32_t error_ = 0;      // 1 after enlarging or allocating the buffer failed
    uint32_t borrowed_ = 0;   // 1 when the buffer belongs to the caller
};

// Runs SetInt on a caller's serialized list in place; the buffer cannot grow, so only an
// existing value can change.
int MifFlatSetInt(uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t value,
                  uint32_t occurrence);

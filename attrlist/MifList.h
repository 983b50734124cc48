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
// Two departures from the plain rules are stated where they are made: Unfinalize cuts
// the list at its end marker, and a setter refuses a record that would push the end
// marker out of a full borrowed buffer.
#pragma once

#include "attrlist/MifError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// <winbase.h> defines GetFreeSpace as a macro (a 16-bit Windows leftover that always
// gives 1 MB). It would rewrite the member of that name, declaration and calls alike, in
// every host that includes <windows.h> first.
#undef GetFreeSpace

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
    // 1 when n more bytes fit. An owned list grows (by the shortfall plus 1000) only when
    // its capacity is less than used + n, so Reserve(0) on a new list allocates nothing.
    int Reserve(uint32_t n);
    uint8_t* GetData() const noexcept { return data_; }
    uint32_t GetSize() const noexcept { return used_; }
    uint32_t GetCapacity() const noexcept { return capacity_; }
    void SetSize(uint32_t n) noexcept { used_ = n; }
    int GetFreeSpace(uint32_t* out) const noexcept;
    uint32_t GetError() const noexcept { return error_; }
    bool IsBorrowed() const noexcept { return borrowed_ != 0; }

    // Building: each appends one record at the end of the used bytes. Here, in the raw
    // appends and in the setters, the value may be taken from the list's own buffer.
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
    // A list is finalized when the walk from its start meets no end marker before the
    // bytes where it stops, and those are FF FF (one stray byte may follow them).
    // Departure: Unfinalize cuts the list at that end marker, a stray byte behind it
    // included, instead of taking 2 bytes off the used size, which would leave half a
    // marker behind for the next record to follow.
    int Unfinalize();
    int IsFinalized() const noexcept;
    int Remove(uint16_t tag);
    // Setters replace occurrence n, or append the record (before the end marker of a
    // finalized list, keeping it finalized) and return 0.
    // Departure: on a finalized borrowed list, a record that fits only without its end
    // marker is refused and the list stays as it was, instead of being written over the
    // marker and leaving a list that no longer ends with one.
    int SetBin(uint16_t tag, const void* bytes, uint32_t length, uint32_t occurrence);
    void SetStr(uint16_t tag, const char* text, uint32_t occurrence);
    int SetInt(uint16_t tag, uint32_t value, uint32_t occurrence);
    int SetInt64(uint16_t tag, uint64_t value, uint32_t occurrence);

    // Finds occurrence n of a tag: the offset of its value in the buffer and its length.
    // Either out pointer may be null.
    int FindValue(uint16_t tag, uint32_t* offset, uint32_t* length,
                  uint32_t occurrence) const noexcept;

    // Address values: IPv4 as the 4-byte host-order number, IPv6 as its 16 network-order
    // bytes, a value without an address as an empty value. AddIpAddrV4 always writes the
    // 4-byte V4HostValue (0 for anything but IPv4 and mapped IPv6).
    int AddIpAddr(uint16_t tag, const KivIpAddr& address);
    int AddIpAddrV4(uint16_t tag, const KivIpAddr& address);

    // Checking getters: 1 when occurrence n of the tag exists and has a width the getter
    // accepts, else 0 with the output left alone (TryGetInt64 zeroes its output first,
    // TryGetIpAddr and TryGetIpAddrV6 clear the address once the record is found). They
    // never throw and never change the list.
    int Exists(uint16_t tag, uint32_t occurrence = 1) const noexcept;
    int GetLen(uint16_t tag, uint32_t* length, uint32_t occurrence = 1) const noexcept;
    // A null destination asks for the length only; otherwise *length is the room in
    // destination on entry and the value's length on success.
    int GetBinCopy(uint16_t tag, void* destination, uint32_t* length,
                   uint32_t occurrence = 1) const noexcept;
    // The pointer addresses the value inside the buffer until the list changes.
    int GetBinPtr(uint16_t tag, const uint8_t** pointer, uint32_t* length,
                  uint32_t occurrence = 1) const noexcept;
    int TryGetInt(uint16_t tag, uint32_t* out, uint32_t occurrence = 1) const noexcept;
    int TryGetBool(uint16_t tag, bool* out, uint32_t occurrence = 1) const noexcept;
    int TryGetInt64(uint16_t tag, uint64_t* out, uint32_t occurrence = 1) const noexcept;
    int TryGetIpAddr(uint16_t tag, KivIpAddr* out, uint32_t occurrence = 1) const noexcept;
    int TryGetIpAddrV4(uint16_t tag, KivIpAddr* out, uint32_t occurrence = 1) const noexcept;
    int TryGetIpAddrV6(uint16_t tag, KivIpAddr* out, uint32_t occurrence = 1) const noexcept;
    // Copies the value and a terminator; the value must be shorter than size.
    int GetStrBuf(uint16_t tag, char* buffer, uint16_t size,
                  uint32_t occurrence = 1) const noexcept;
    // The value's text up to its first NUL byte.
    int TryGetStr(uint16_t tag, std::string* out, uint32_t occurrence = 1) const noexcept;

    // Throwing getters: the checking getter of the same kind, with a missing record or a
    // refused width thrown as MifError ("GetInt: Missing OID [OID:5]").
    bool GetBool(uint16_t tag, uint32_t occurrence = 1) const;
    uint32_t GetInt(uint16_t tag, uint32_t occurrence = 1) const;
    uint64_t GetInt64(uint16_t tag, uint32_t occurrence = 1) const;
    std::string GetStr(uint16_t tag, uint32_t occurrence = 1) const;
    std::vector<uint8_t> GetBin(uint16_t tag, uint32_t occurrence = 1) const;
    KivIpAddr GetIpAddr(uint16_t tag, uint32_t occurrence = 1) const;
    KivIpAddr GetIpAddrV4(uint16_t tag, uint32_t occurrence = 1) const;
    KivIpAddr GetIpAddrV6(uint16_t tag, uint32_t occurrence = 1) const;
    // A new owned list holding a copy of the nested list, end marker included.
    MifList GetGroup(uint16_t tag, uint32_t occurrence = 1) const;

    // Formats every value of the tag as FormatValue does, separated by ", "; 1 when at
    // least one value was formatted. With 0, out holds what it held before.
    int FormatValues(uint16_t tag, char* out, size_t size, int asAddress) const;
    // Prints the used size and the used bytes in hexadecimal to standard output.
    void Dump() const;

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

// Formats a 2-, 4- or 8-byte range value (low, then high, little-endian) as "low" or
// "low-high"; with asAddress an 8-byte value is a pair of host-order IPv4 addresses.
// Other lengths give 0 and write nothing. *written (when not null) gets StrFormat's result.
int FormatValue(const uint8_t* value, uint32_t length, char* out, size_t size, int* written,
                int asAddress);

// Readers over a serialized list given as (bytes, length), such as the buffer that
// CheckForUpdate fills: each returns 0 for null bytes or length 0 and otherwise the
// result of the MifList getter of the same kind. The bytes are never copied or changed.
int MifFlatGetBinCopy(const uint8_t* bytes, uint32_t length, uint16_t tag, void* destination,
                      uint32_t* valueLength, uint32_t occurrence);
int MifFlatGetBinPtr(const uint8_t* bytes, uint32_t length, uint16_t tag, const uint8_t** pointer,
                     uint32_t* valueLength, uint32_t occurrence);
int MifFlatGetInt(const uint8_t* bytes, uint32_t length, uint16_t tag, uint32_t* out,
                  uint32_t occurrence);
int MifFlatGetInt64(const uint8_t* bytes, uint32_t length, uint16_t tag, uint64_t* out,
                    uint32_t occurrence);
int MifFlatGetIpAddr(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                     uint32_t occurrence);
int MifFlatGetIpAddrV4(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                       uint32_t occurrence);
int MifFlatGetIpAddrV6(const uint8_t* bytes, uint32_t length, uint16_t tag, KivIpAddr* out,
                       uint32_t occurrence);
int MifFlatGetStr(const uint8_t* bytes, uint32_t length, uint16_t tag, std::string* out,
                  uint32_t occurrence);
int MifFlatGetStrBuf(const uint8_t* bytes, uint32_t length, uint16_t tag, char* buffer,
                     uint16_t size, uint32_t occurrence);
int MifFlatFormatValues(const uint8_t* bytes, uint32_t length, uint16_t tag, char* out, size_t size,
                        int asAddress);

// Distinguished Encoding Rules (ITU-T X.690) for the few ASN.1 types that keys are made of:
// a strict reader and a writer that fills a caller buffer or only counts.
//
// The reader takes DER and nothing looser: definite lengths in their shortest form, no
// indefinite lengths, INTEGERs in their shortest two's-complement form, and tags below 31
// in one byte (the high-tag-number form is refused: no structure read here uses it).
// Every length is checked against the bytes that are left before anything is read, and
// nesting is limited to kDerMaxDepth. A failed read marks the reader failed and every later
// read fails too, so a caller may read a whole structure and test once at the end;
// DerReaderEnd tells whether every byte was read and nothing failed (no trailing bytes).
//
// The writer appends elements in order. Given no buffer it counts only, which gives the
// size of an encoding (and of a SEQUENCE's contents before its header is written) in the
// same code that writes it.
#pragma once

#include <cstddef>
#include <cstdint>

// Universal tags (with the constructed bit for SEQUENCE and SET) and the context-specific
// constructed [0], the attributes of PKCS#8.
constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kDerBitString = 0x03;
constexpr uint8_t kDerOctetString = 0x04;
constexpr uint8_t kDerNull = 0x05;
constexpr uint8_t kDerObjectId = 0x06;
constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerSet = 0x31;
constexpr uint8_t kDerContext0 = 0xA0;

// Keys nest three levels deep (PKCS#8: PrivateKeyInfo, AlgorithmIdentifier, and the RSA
// key inside its OCTET STRING); the limit leaves room for attributes and bounds the
// recursion of DerCheckTree on hostile input.
constexpr int kDerMaxDepth = 16;

// One element's tag and contents (pointing into the input read).
struct DerElement {
    uint8_t tag;
    const uint8_t* content;
    size_t length;
};

// The contents of one element (or the whole input) being read from front to back.
struct DerReader {
    const uint8_t* data; // bytes this reader walks
    size_t size;         // their number
    size_t position;     // next byte to read
    int depth;           // nesting level of `data`: 0 for a whole input
    int failed;          // sticky: once set, every read fails
};

// Starts reading `size` bytes at `data` as a whole input (depth 0).
void DerReaderInit(DerReader* reader, const uint8_t* data, size_t size);

// Reads the next element whatever its tag. 0 (and the reader failed) when the tag or the
// length is not DER, the contents run past the end, or nothing is left.
int DerReadElement(DerReader* reader, DerElement* element);

// The tag of the next element without reading it, for optional fields; 0 at the end or
// after a failure (the reader does not fail for that).
int DerPeekTag(const DerReader* reader, uint8_t* tag);

// Reads the next element, which must carry `tag`.
int DerReadTagged(DerReader* reader, uint8_t tag, DerElement* element);

// Reads the next element, which must carry the constructed `tag`, and starts `inner` on its
// contents one level deeper. Fails beyond kDerMaxDepth.
int DerEnter(DerReader* reader, uint8_t tag, DerReader* inner);

// Reads a non-negative INTEGER in its shortest form and gives its magnitude without the
// sign byte: a positive value starts with a nonzero byte; zero is the single byte 0x00.
// Negative values fail.
int DerReadUnsigned(DerReader* reader, const uint8_t** magnitude, size_t* size);

// Reads a non-negative INTEGER below 2^32 (a version number).
int DerReadSmallUnsigned(DerReader* reader, uint32_t* value);

// Reads a NULL (empty contents).
int DerReadNull(DerReader* reader);

// Reads a BIT STRING of whole bytes (no unused bits) and gives those bytes.
int DerReadBitStringBytes(DerReader* reader, const uint8_t** bytes, size_t* size);

// 1 when every byte has been read and no read failed; marks the reader failed otherwise.
int DerReaderEnd(DerReader* reader);

// 1 when `size` bytes at `data` are a series of well-formed elements (tags, lengths and
// bounds as DerReadElement takes them), the contents of every constructed element again a
// series of such elements, no deeper than kDerMaxDepth counting from `depth`. Primitive
// contents are not interpreted. For fields a reader skips without understanding them.
int DerCheckTree(const uint8_t* data, size_t size, int depth);

// Appends encodings to a caller buffer, or counts them when there is none.
struct DerWriter {
    uint8_t* out;    // destination, or null to count only
    size_t capacity; // bytes at out
    size_t length;   // bytes written (or counted) so far
    int failed;      // a write did not fit (or the count overflowed)
};

// Starts writing into `capacity` bytes at `out`; a null `out` counts without writing.
void DerWriterInit(DerWriter* writer, uint8_t* out, size_t capacity);

// Appends a tag and the shortest encoding of `length`; the caller then appends exactly
// `length` bytes of contents.
void DerPutHeader(DerWriter* writer, uint8_t tag, size_t length);

// Appends bytes as they are (contents, or a whole encoding made elsewhere).
void DerPutBytes(DerWriter* writer, const void* bytes, size_t size);

// Appends a non-negative INTEGER whose magnitude is the big-endian `size` bytes at
// `magnitude` (leading zeros allowed; none at all means zero), in its shortest form.
void DerPutUnsigned(DerWriter* writer, const uint8_t* magnitude, size_t size);

// Appends a non-negative INTEGER below 2^32.
void DerPutSmallUnsigned(DerWriter* writer, uint32_t value);

// The bytes written (or counted), or 0 when any write failed.
size_t DerWriterResult(const DerWriter* writer);

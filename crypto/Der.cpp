// DER reading and writing. See Der.h for the contracts.
#include "crypto/Der.h"

#include <cstring>

// Longest length field taken: four bytes reach 4 GiB, far beyond any key, and keep the
// value inside size_t on every build.
static const size_t kMaxLengthBytes = 4;

// Marks the reader failed; returns 0 for the caller to pass on.
static int Fail(DerReader* reader) {
    reader->failed = 1;
    return 0;
}

void DerReaderInit(DerReader* reader, const uint8_t* data, size_t size) {
    reader->data = data;
    reader->size = data != nullptr ? size : 0;
    reader->position = 0;
    reader->depth = 0;
    reader->failed = 0;
}

int DerReadElement(DerReader* reader, DerElement* element) {
    if (reader->failed) {
        return 0;
    }
    const uint8_t* p = reader->data + reader->position;
    const size_t left = reader->size - reader->position;
    // A tag and a length byte at least.
    if (left < 2) {
        return Fail(reader);
    }
    const uint8_t tag = p[0];
    // Universal tag 0 only ever ends an indefinite length; 31 in the low bits announces
    // the high-tag-number form.
    if (tag == 0 || (tag & 0x1F) == 0x1F) {
        return Fail(reader);
    }
    size_t header = 2;
    size_t length = p[1];
    if (length >= 0x80) {
        // 0x80 is the indefinite form and 0xFF is reserved; both fall out here.
        const size_t count = length & 0x7F;
        if (count == 0 || count > kMaxLengthBytes || count > left - 2) {
            return Fail(reader);
        }
        // The shortest form: no leading zero byte, and the long form only where the short
        // one cannot hold the length.
        if (p[2] == 0) {
            return Fail(reader);
        }
        length = 0;
        for (size_t i = 0; i < count; ++i) {
            length = (length << 8) | p[2 + i];
        }
        if (length < 0x80) {
            return Fail(reader);
        }
        header += count;
    }
    if (length > left - header) {
        return Fail(reader);
    }
    element->tag = tag;
    element->content = p + header;
    element->length = length;
    reader->position += header + length;
    return 1;
}

int DerPeekTag(const DerReader* reader, uint8_t* tag) {
    if (reader->failed || reader->position >= reader->size) {
        return 0;
    }
    *tag = reader->data[reader->position];
    return 1;
}

int DerReadTagged(DerReader* reader, uint8_t tag, DerElement* element) {
    if (!DerReadElement(reader, element)) {
        return 0;
    }
    return element->tag == tag ? 1 : Fail(reader);
}

int DerEnter(DerReader* reader, uint8_t tag, DerReader* inner) {
    DerElement element;
    DerReaderInit(inner, nullptr, 0);
    inner->failed = 1;
    if ((tag & 0x20) == 0 || reader->depth >= kDerMaxDepth) {
        return Fail(reader);
    }
    if (!DerReadTagged(reader, tag, &element)) {
        return 0;
    }
    DerReaderInit(inner, element.content, element.length);
    inner->depth = reader->depth + 1;
    return 1;
}

int DerReadUnsigned(DerReader* reader, const uint8_t** magnitude, size_t* size) {
    DerElement element;
    if (!DerReadTagged(reader, kDerInteger, &element)) {
        return 0;
    }
    const uint8_t* p = element.content;
    size_t n = element.length;
    // Empty contents, a negative value, or a leading zero byte the sign does not need.
    if (n == 0 || (p[0] & 0x80) != 0 || (n > 1 && p[0] == 0 && (p[1] & 0x80) == 0)) {
        return Fail(reader);
    }
    if (n > 1 && p[0] == 0) {
        ++p;
        --n;
    }
    *magnitude = p;
    *size = n;
    return 1;
}

int DerReadSmallUnsigned(DerReader* reader, uint32_t* value) {
    const uint8_t* magnitude;
    size_t size;
    if (!DerReadUnsigned(reader, &magnitude, &size)) {
        return 0;
    }
    if (size > 4) {
        return Fail(reader);
    }
    uint32_t v = 0;
    for (size_t i = 0; i < size; ++i) {
        v = (v << 8) | magnitude[i];
    }
    *value = v;
    return 1;
}

int DerReadNull(DerReader* reader) {
    DerElement element;
    if (!DerReadTagged(reader, kDerNull, &element)) {
        return 0;
    }
    return element.length == 0 ? 1 : Fail(reader);
}

int DerReadBitStringBytes(DerReader* reader, const uint8_t** bytes, size_t* size) {
    DerElement element;
    if (!DerReadTagged(reader, kDerBitString, &element)) {
        return 0;
    }
    // The first contents byte counts the unused bits of the last byte.
    if (element.length == 0 || element.content[0] != 0) {
        return Fail(reader);
    }
    *bytes = element.content + 1;
    *size = element.length - 1;
    return 1;
}

int DerReaderEnd(DerReader* reader) {
    if (reader->failed) {
        return 0;
    }
    return reader->position == reader->size ? 1 : Fail(reader);
}

int DerCheckTree(const uint8_t* data, size_t size, int depth) {
    if (depth < 0 || depth > kDerMaxDepth) {
        return 0;
    }
    DerReader reader;
    DerReaderInit(&reader, data, size);
    reader.depth = depth;
    while (reader.position < reader.size) {
        DerElement element;
        if (!DerReadElement(&reader, &element)) {
            return 0;
        }
        if ((element.tag & 0x20) != 0 &&
            (depth >= kDerMaxDepth || !DerCheckTree(element.content, element.length, depth + 1))) {
            return 0;
        }
    }
    return 1;
}

void DerWriterInit(DerWriter* writer, uint8_t* out, size_t capacity) {
    writer->out = out;
    writer->capacity = out != nullptr ? capacity : 0;
    writer->length = 0;
    writer->failed = 0;
}

void DerPutBytes(DerWriter* writer, const void* bytes, size_t size) {
    if (writer->failed || size == 0) {
        return;
    }
    if (size > SIZE_MAX - writer->length) {
        writer->failed = 1;
        return;
    }
    if (writer->out != nullptr) {
        if (size > writer->capacity - writer->length) {
            writer->failed = 1;
            return;
        }
        memcpy(writer->out + writer->length, bytes, size);
    }
    writer->length += size;
}

void DerPutHeader(DerWriter* writer, uint8_t tag, size_t length) {
    uint8_t header[2 + sizeof(size_t)];
    size_t used = 0;
    header[used++] = tag;
    if (length < 0x80) {
        header[used++] = static_cast<uint8_t>(length);
    } else {
        size_t count = 0;
        for (size_t rest = length; rest != 0; rest >>= 8) {
            ++count;
        }
        header[used++] = static_cast<uint8_t>(0x80 | count);
        for (size_t i = count; i-- > 0;) {
            header[used++] = static_cast<uint8_t>(length >> (8 * i));
        }
    }
    DerPutBytes(writer, header, used);
}

void DerPutUnsigned(DerWriter* writer, const uint8_t* magnitude, size_t size) {
    // Leading zeros go (the caller's value may be a fixed-width string); the length of a
    // key component is public, so skipping them by value reveals nothing new.
    while (size > 0 && magnitude[0] == 0) {
        ++magnitude;
        --size;
    }
    static const uint8_t kZero = 0;
    if (size == 0) {
        DerPutHeader(writer, kDerInteger, 1);
        DerPutBytes(writer, &kZero, 1);
        return;
    }
    // A set top bit would read as negative: a zero byte goes before it.
    const size_t sign = magnitude[0] >> 7;
    if (size > SIZE_MAX - sign) {
        writer->failed = 1;
        return;
    }
    DerPutHeader(writer, kDerInteger, size + sign);
    DerPutBytes(writer, &kZero, sign);
    DerPutBytes(writer, magnitude, size);
}

void DerPutSmallUnsigned(DerWriter* writer, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    DerPutUnsigned(writer, bytes, sizeof bytes);
}

size_t DerWriterResult(const DerWriter* writer) {
    return writer->failed ? 0 : writer->length;
}

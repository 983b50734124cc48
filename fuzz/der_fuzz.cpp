// The DER reader on arbitrary bytes. When the whole input reads as a tree of elements,
// writing every header again (with primitive contents as they were) gives back the input
// byte for byte, as DER has one length encoding for each length; every INTEGER the reader
// takes as unsigned is written back to its own bytes, and the other typed reads agree with
// the element's tag and length. Reads stay inside the input (an exact heap copy).
#include "crypto/Der.h"

#include "fuzz/FuzzSupport.h"

#include <vector>

namespace {

// Typed reads of one element whose whole encoding is the `size` bytes at `data`.
void CheckTyped(const DerElement& element, const uint8_t* data, size_t size) {
    DerReader reader;
    const uint8_t* bytes = nullptr;
    size_t n = 0;
    DerReaderInit(&reader, data, size);
    if (DerReadUnsigned(&reader, &bytes, &n)) {
        FUZZ_CHECK(element.tag == kDerInteger && DerReaderEnd(&reader));
        uint8_t again[16];
        DerWriter writer;
        DerWriterInit(&writer, size <= sizeof again ? again : nullptr, sizeof again);
        DerPutUnsigned(&writer, bytes, n);
        FUZZ_CHECK(DerWriterResult(&writer) == size);
        FUZZ_CHECK(size > sizeof again || memcmp(again, data, size) == 0);
    }
    DerReaderInit(&reader, data, size);
    uint32_t value = 0;
    if (DerReadSmallUnsigned(&reader, &value)) {
        FUZZ_CHECK(element.tag == kDerInteger && element.length <= 5);
    }
    DerReaderInit(&reader, data, size);
    if (DerReadNull(&reader)) {
        FUZZ_CHECK(element.tag == kDerNull && element.length == 0);
    }
    DerReaderInit(&reader, data, size);
    if (DerReadBitStringBytes(&reader, &bytes, &n)) {
        FUZZ_CHECK(element.tag == kDerBitString && n + 1 == element.length &&
                   bytes == element.content + 1);
    }
}

// Writes the tree in `size` bytes at `data` again; 0 when a read fails.
int Rebuild(const uint8_t* data, size_t size, int depth, DerWriter* writer) {
    DerReader reader;
    DerReaderInit(&reader, data, size);
    reader.depth = depth;
    while (reader.position < reader.size) {
        const size_t start = reader.position;
        DerElement element;
        if (!DerReadElement(&reader, &element)) {
            return 0;
        }
        FUZZ_CHECK(element.content >= data && element.content + element.length <= data + size);
        CheckTyped(element, data + start, reader.position - start);
        DerPutHeader(writer, element.tag, element.length);
        if ((element.tag & 0x20) != 0) {
            if (depth >= kDerMaxDepth ||
                !Rebuild(element.content, element.length, depth + 1, writer)) {
                return 0;
            }
        } else {
            DerPutBytes(writer, element.content, element.length);
        }
    }
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    input.shrink_to_fit();
    const uint8_t* exact = input.empty() ? nullptr : input.data();
    const int tree = DerCheckTree(exact, size, 0);
    std::vector<uint8_t> rebuilt(size);
    DerWriter writer;
    DerWriterInit(&writer, rebuilt.data(), size);
    const int read = Rebuild(exact, size, 0, &writer);
    FUZZ_CHECK(read == tree);
    if (read) {
        FUZZ_CHECK(DerWriterResult(&writer) == size || size == 0);
        FUZZ_CHECK(rebuilt == input);
    }
    return 0;
}

// The PEM reader on arbitrary text. A block it takes lies inside the text and decodes to
// exactly its announced size, or fails with the output wiped; a decoded block written
// again reads back to the same label and bytes, and is the input itself when the input
// had nothing around the block. Reads stay inside the text (an exact heap copy).
#include "crypto/Pem.h"

#include "fuzz/FuzzSupport.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ExactBuffer text(size);
    memcpy(text.Get(), data, size);
    PemBlock block;
    if (PemParse(text.Get(), size, &block) != PEM_OK) {
        return 0;
    }
    const char* end = text.Get() + size;
    FUZZ_CHECK(block.label > text.Get() && block.label + block.label_size < end);
    FUZZ_CHECK(block.label_size >= 1 && block.label_size <= kPemMaxLabel);
    FUZZ_CHECK(block.body > block.label && block.body + block.body_size < end);
    FUZZ_CHECK(block.decoded_size > 0 && block.decoded_size <= block.body_size);

    std::vector<uint8_t> decoded(block.decoded_size);
    if (!PemDecode(&block, decoded.data(), decoded.size())) {
        FUZZ_CHECK(decoded == std::vector<uint8_t>(block.decoded_size, 0));
        return 0;
    }
    const std::string label(block.label, block.label_size);
    const size_t needed = PemWrite(label.c_str(), decoded.data(), decoded.size(), nullptr, 0);
    ExactBuffer written(needed);
    const size_t length =
        PemWrite(label.c_str(), decoded.data(), decoded.size(), written.Get(), needed);
    FUZZ_CHECK(length + 1 == needed && written.Get()[length] == '\0');
    // The canonical text is the only one without a preamble, CRs or trailing blanks.
    FUZZ_CHECK((length == size && memcmp(written.Get(), data, size) == 0) ||
               memchr(data, '\r', size) != nullptr || block.label != text.Get() + 11 ||
               data[size - 1] != '\n' || size != length);
    PemBlock again;
    FUZZ_CHECK(PemParse(written.Get(), length, &again) == PEM_OK);
    FUZZ_CHECK(again.decoded_size == decoded.size() && PemLabelIs(&again, label.c_str()));
    std::vector<uint8_t> redecoded(again.decoded_size);
    FUZZ_CHECK(PemDecode(&again, redecoded.data(), redecoded.size()) && redecoded == decoded);
    return 0;
}

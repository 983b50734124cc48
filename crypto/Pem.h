// PEM armour (RFC 7468, in the shape OpenSSL writes it) around DER: finding the one block
// of a text, decoding its Base64 strictly, and writing a block.
//
// What the reader takes:
// - Any text before the first line that begins "-----BEGIN " (explanatory text, as
//   `openssl x509 -text` writes in front of the block); after the END line only spaces,
//   tabs and line ends, so a second block is refused.
// - "-----BEGIN LABEL-----" and "-----END LABEL-----" with the same label of printable
//   ASCII, nothing else on those lines.
// - Lines of exactly 64 Base64 characters, the last one 4 to 64, ending in LF or CR LF
//   (mixed too); the END line may end the text without a line end.
// - The standard alphabet with '=' fill at the very end only, and no stray bits in the
//   last character (each byte string has exactly one encoding).
// Everything else is refused: other line lengths, blank lines, spaces or tabs inside the
//   block, encapsulated headers ("Proc-Type: 4,ENCRYPTED", reported apart so that a caller
//   can say that the key is encrypted), an empty body.
//
// Base64 here is constant-time in the bytes it carries (no table indexed by them, no
// branch on them), as a block may hold a private key; Base64Encode of the HTTP subsystem
// indexes its alphabet by the data and so is not used for keys.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest label taken; the key labels are at most 21 characters.
constexpr size_t kPemMaxLabel = 64;

enum PemStatus {
    PEM_OK,
    PEM_NO_BLOCK,  // no line begins "-----BEGIN "
    PEM_MALFORMED, // the armour or the Base64 is not as above
    PEM_HEADERS,   // encapsulated headers follow the BEGIN line
    PEM_TRAILING,  // something other than white space follows the END line
};

// The one block of a text, found by PemParse.
struct PemBlock {
    const char* label;   // inside the text, not terminated
    size_t label_size;   // 1 to kPemMaxLabel
    const char* body;    // the first Base64 line inside the text
    size_t body_size;    // up to the END line, line ends included
    size_t decoded_size; // bytes the body decodes to
};

// Finds and checks the armour of the one block in `size` bytes at `text` (no terminator
// needed; a NUL is an ordinary byte and so refused inside the block). On PEM_OK `block`
// describes it; the Base64 characters themselves are checked by PemDecode.
PemStatus PemParse(const char* text, size_t size, PemBlock* block);

// 1 when the block's label is `label` (a C string), else 0.
int PemLabelIs(const PemBlock* block, const char* label);

// Decodes the body of a parsed block into `out`, which holds at least block->decoded_size
// bytes. 1 on success; 0 when a character is not Base64 or the fill is wrong, with `out`
// wiped (it may have held part of a secret).
int PemDecode(const PemBlock* block, uint8_t* out, size_t outSize);

// Writes "-----BEGIN LABEL-----", the Base64 of `size` bytes at `der` in lines of 64 and
// "-----END LABEL-----", each line ending in LF, then a NUL. Returns the characters written
// without the NUL, or 0 (nothing written) when `outSize` is too small or `size` is 0. With `out`
// null returns the buffer size needed, the NUL included (`der` may then be null: only `size`
// counts).
size_t PemWrite(const char* label, const uint8_t* der, size_t size, char* out, size_t outSize);

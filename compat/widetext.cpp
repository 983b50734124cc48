#include "compat/widetext.h"

namespace {

// The UTF-8 form of one character into `out` (4 bytes at most); returns its length.
int EncodeUtf8(WCHAR wide, char* out) {
    auto c = static_cast<std::uint32_t>(wide);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    out[0] = static_cast<char>(lead[length] | c);
    return length;
}

} // namespace

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int sourceLength, LPSTR destination,
                        int destinationSize, LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if (codePage != CP_ACP && codePage != CP_UTF8)
        return 0;
    if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationSize < 0 ||
        (destinationSize > 0 && destination == nullptr))
        return 0;
    // UTF-8 maps every character, so Windows refuses to report a default character use
    // for CP_UTF8; the ANSI code page here is UTF-8 too and never needs the default.
    if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))
        return 0;
    if (usedDefaultChar != nullptr)
        *usedDefaultChar = FALSE;
    int count = sourceLength;
    if (count == -1) {
        count = 0;
        while (source[count] != 0)
            ++count;
        ++count;
    }
    int written = 0;
    for (int i = 0; i < count; ++i) {
        if (written > 0x7FFFFFFF - 4)
            return 0;
        char bytes[4];
        int length = EncodeUtf8(source[i], bytes);
        if (destinationSize > 0) {
            if (length > destinationSize - written)
                return 0;
            for (int b = 0; b < length; ++b)
                destination[written + b] = bytes[b];
        }
        written += length;
    }
    return written;
}

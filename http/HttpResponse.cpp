// Reading and parsing a response, and the header scans it rests on.
#include "http/HttpClient.h"

#include "http/HttpText.h"
#include "text/BoundedText.h"

#include <cstdlib>
#include <cstring>

namespace {

// Responses are held whole in memory; neither the bytes read while looking for the
// header end nor an announced body may pass this.
constexpr uint32_t kMaxResponse = 1000000;
// Header phase: receive pieces, and the buffer room beyond the bytes held (the piece, a
// terminator and slack).
constexpr uint32_t kHeaderPiece = 10000;
constexpr uint32_t kHeaderRoom = 10012;
// Body phase: receive pieces, and room after the body for its terminator.
constexpr uint32_t kBodyPiece = 5000;
constexpr uint32_t kBodyRoom = 10;
// Value buffers of the header lines the reader looks at: while receiving, a
// Content-Length value counts only when shorter than 30 characters; when parsing, up
// to 254 characters are read. The status line's value after "HTTP" has at most 124.
constexpr uint32_t kProbeValueSize = 30;
constexpr uint32_t kLengthValueSize = 255;
constexpr uint32_t kStatusValueSize = 125;
constexpr uint32_t kConnectionValueSize = 30;
// The reason phrase starts at this index of the status line, and at most this much of
// it goes into the error text.
constexpr size_t kReasonIndex = 12;
constexpr size_t kReasonMax = 114;

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

// True when the two bytes form one line break (CR LF or LF CR).
bool IsPair(char c, char next) {
    return (c == '\r' && next == '\n') || (c == '\n' && next == '\r');
}

// Length of the line break at `bytes[i]` (a CR or LF); a break in the last byte is one
// byte long.
uint32_t BreakLength(const char* bytes, uint32_t length, uint32_t i) {
    return i + 1 < length && IsPair(bytes[i], bytes[i + 1]) ? 2 : 1;
}

// The scan of HttpFindHeaderEnd; `second` gets the length of the break that ends the block.
const char* FindHeaderEnd(const char* bytes, uint32_t length, uint32_t* offset, uint32_t* second) {
    uint32_t i = 0;
    while (i < length) {
        if (!IsBreak(bytes[i])) {
            ++i;
            continue;
        }
        uint32_t j = i + BreakLength(bytes, length, i);
        if (j >= length)
            return nullptr;
        if (IsBreak(bytes[j])) {
            *second = BreakLength(bytes, length, j);
            *offset = j + *second;
            return bytes + *offset;
        }
        i = j;
    }
    return nullptr;
}

// True when the header block of `length` bytes has a Content-Length line whose value
// is short enough to count while receiving.
bool HasContentLength(const char* block, uint32_t length) {
    char value[kProbeValueSize];
    return HttpFindLineValue(block, length, "Content-Length: ", value, sizeof(value)) == 1;
}

// Makes the buffer at least `size` bytes, zeroing the new part.
bool Grow(char** buffer, uint32_t* size, uint32_t wanted) {
    if (wanted <= *size)
        return true;
    char* grown = static_cast<char*>(realloc(*buffer, wanted));
    if (grown == nullptr)
        return false;
    memset(grown + *size, 0, wanted - *size);
    *buffer = grown;
    *size = wanted;
    return true;
}

} // namespace

const char* HttpFindHeaderEnd(const char* bytes, uint32_t length, uint32_t* offset) {
    if (bytes == nullptr || offset == nullptr)
        return nullptr;
    uint32_t second;
    return FindHeaderEnd(bytes, length, offset, &second);
}

int HttpFindLineValue(const char* text, uint32_t length, const char* name, char* destination,
                      uint32_t size) {
    if (text == nullptr || name == nullptr || destination == nullptr)
        return 0;
    size_t nameLength = strlen(name);
    uint32_t lineStart = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (!IsBreak(text[i]))
            continue;
        uint32_t lineLength = i - lineStart;
        if (lineLength >= nameLength && HttpStartsWithNoCase(text + lineStart, lineLength, name)) {
            size_t valueLength = lineLength - nameLength;
            if (valueLength >= size)
                return 0;
            memcpy(destination, text + lineStart + nameLength, valueLength);
            destination[valueLength] = '\0';
            return 1;
        }
        lineStart = i + 1;
    }
    return 0;
}

int HttpClientGetHeader(HttpClient* client, const char* name, char* destination, uint32_t size) {
    if (client->header_text == nullptr)
        return 0;
    return HttpFindLineValue(client->header_text,
                             static_cast<uint32_t>(strlen(client->header_text)), name, destination,
                             size);
}

int HttpClientReadResponse(HttpClient* client) {
    TcpConnection* connection = client->connection;
    free(client->receive_buffer);
    client->receive_buffer = nullptr;
    client->body = nullptr;
    client->body_length = 0;

    // Header phase: receive until the header block is complete and announces a length,
    // or until the peer stops sending (close, time-out or error).
    // The first block's end and whether it announces a length are found once, however
    // small the pieces are that a server sends: the search goes on after the last byte
    // that is not a line break (so that no CR LF pair is split), and a block found stays
    // as it is. Rescanning everything on each receive would cost time in the square of
    // the header's size.
    char* buffer = nullptr;
    uint32_t size = 0;
    uint32_t received = 0;
    bool streamEnded = false;
    uint32_t searchFrom = 0;
    bool blockFound = false;
    for (;;) {
        if (received > kMaxResponse)
            return 0;
        bool grown = Grow(&buffer, &size, received + kHeaderRoom);
        client->receive_buffer = buffer;
        if (!grown)
            return 0;
        uint32_t count = kHeaderPiece;
        if (!TcpReceive(connection, buffer + received, &count, 0, 1)) {
            streamEnded = true;
            break;
        }
        received += count;
        buffer[received] = '\0';
        if (blockFound)
            continue;
        uint32_t end;
        uint32_t second;
        if (FindHeaderEnd(buffer + searchFrom, received - searchFrom, &end, &second) != nullptr) {
            blockFound = true;
            if (HasContentLength(buffer, searchFrom + end))
                break;
            continue;
        }
        for (uint32_t i = received; i > searchFrom; --i) {
            if (!IsBreak(buffer[i - 1])) {
                searchFrom = i;
                break;
            }
        }
    }
    if (received == 0)
        return 0;

    // An interim answer (1xx) comes first: the block after it is the response.
    char* text = buffer;
    uint32_t textLength = received;
    uint32_t end;
    uint32_t second;
    if (HttpStartsWithNoCase(text, textLength, "HTTP/1") && textLength > 9 && text[9] == '1') {
        if (FindHeaderEnd(text, textLength, &end, &second) == nullptr)
            return 0;
        text += end;
        textLength -= end;
    }
    if (!HttpStartsWithNoCase(text, textLength, "HTTP/1"))
        return 0;
    // The status code is the number in the three characters at indices 9 to 11.
    if (textLength > 9) {
        uint32_t digits = textLength - 9 < 3 ? textLength - 9 : 3;
        client->status_code = static_cast<uint32_t>(HttpLeadingInt(text + 9, digits));
    }
    if (FindHeaderEnd(text, textLength, &end, &second) == nullptr)
        return 0;
    // A blank line whose lone break is the last byte held may still get its partner
    // (the LF of a CR LF, the CR of an LF CR) with the bytes to come.
    const char lastBreak = text[end - 1];
    const bool partnerMayFollow = !streamEnded && second == 1 && end == textLength;

    // The header copy ends before the last byte of the blank line, so that the last
    // header line keeps a line break of its own. One byte more is kept for the partner.
    text[end - 1] = '\0';
    char* header = static_cast<char*>(malloc(end + 1));
    if (header == nullptr)
        return 0;
    memcpy(header, text, end);
    free(client->header_text);
    client->header_text = header;
    uint32_t headerLength = static_cast<uint32_t>(strlen(header));

    char value[kLengthValueSize];
    StrCopy(client->status_line, sizeof(client->status_line), "HTTP");
    if (HttpFindLineValue(header, headerLength, "HTTP", value, kStatusValueSize))
        StrAppend(client->status_line, sizeof(client->status_line), value);
    if (client->status_code != 200) {
        StrCopy(client->error_text, sizeof(client->error_text), "HTTP Error : ");
        if (strlen(client->status_line) > kReasonIndex) {
            char reason[kReasonMax + 1];
            StrCopy(reason, sizeof(reason), client->status_line + kReasonIndex);
            StrAppend(client->error_text, sizeof(client->error_text), reason);
        }
    }

    uint32_t bodyOffset = static_cast<uint32_t>(text - buffer) + end;
    uint32_t inHand = received - bodyOffset;
    bool announced =
        HttpFindLineValue(header, headerLength, "Content-Length: ", value, sizeof(value)) == 1;
    uint32_t bodyLength;
    if (announced) {
        bodyLength = static_cast<uint32_t>(HttpLeadingInt(value, strlen(value)));
        if (bodyLength > kMaxResponse)
            return 0;
    } else {
        bodyLength = inHand;
        if (bodyLength > kMaxResponse)
            return 0;
    }
    client->body = buffer + bodyOffset;
    client->body_length = bodyLength;

    if (bodyLength == 0) {
        // Bytes received behind an empty body (a Content-Length of 0 followed by more)
        // must not show through it: the body is always followed by its NUL.
        client->body[0] = '\0';
        if (announced)
            return 1;
        char connectionValue[kConnectionValueSize];
        return HttpFindLineValue(header, headerLength, "Connection: ", connectionValue,
                                 sizeof(connectionValue)) == 1 &&
                       HttpEqualsNoCase(connectionValue, "close")
                   ? 1
                   : 0;
    }

    int result = 1;
    if (inHand < bodyLength) {
        bool grown = Grow(&buffer, &size, bodyOffset + bodyLength + kBodyRoom);
        client->receive_buffer = buffer;
        client->body = buffer + bodyOffset;
        if (!grown) {
            // The announced length must never describe more bytes than the buffer holds.
            client->body_length = inHand;
            return 0;
        }
        if (partnerMayFollow) {
            // The first byte to come completes the blank line when it is the partner of
            // its lone break: it belongs to the header, as in the same answer read whole.
            uint32_t count = 1;
            if (!TcpReceive(connection, client->body, &count, 0, 1)) {
                result = 0;
            } else if (IsPair(lastBreak, client->body[0])) {
                header[end - 1] = lastBreak;
                header[end] = '\0';
            } else {
                inHand = 1;
            }
        }
        while (result == 1 && inHand < bodyLength) {
            uint32_t count = bodyLength - inHand < kBodyPiece ? bodyLength - inHand : kBodyPiece;
            if (!TcpReceive(connection, client->body + inHand, &count, 0, 1)) {
                result = 0;
                break;
            }
            inHand += count;
        }
    }
    client->body[bodyLength] = '\0';
    return result;
}

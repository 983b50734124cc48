// Profiles kept in files: loading (plain and through a transform), writing back on close,
// saving through a transform, and the two one-shot functions. See Profile.h.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Longest piece one fgets call delivers; longer lines arrive in several pieces.
constexpr int kReadPiece = 510;
// Slack beyond the measured size: room for the appended line end.
constexpr size_t kLoadSlack = 12;
// Slack a transform may use beyond the data it is given.
constexpr size_t kTransformSlack = 64;

// Measures an open file and rewinds it; -1 when it cannot be measured. Windows' ftell
// reports -1 for a position beyond 2^31 - 1 (its long is 32 bits), so larger files are
// refused on every platform alike.
long long MeasureFile(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = ftell(file);
    if (size < 0 || static_cast<unsigned long>(size) > INT32_MAX || fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// A FIFO blocks fopen until its other end is opened, which may be never, and it cannot be
// measured anyway: it is refused before any open.
bool IsFifo(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISFIFO(status.st_mode);
}

// Makes sure the profile ends up with some text, as every load promises.
void EnsureText(Profile* profile) {
    if (profile->text != nullptr)
        return;
    profile->text = static_cast<char*>(malloc(1));
    if (profile->text != nullptr)
        profile->text[0] = '\0';
    profile->text_length = 0;
    profile->loaded_transformed = 0;
}

// Reads the next piece of a line as fgets would (at most kReadPiece bytes, up to and
// including a LF) into `piece`, terminated; returns the bytes taken from the file. At
// most `left` bytes are taken, so that a device measuring 0 but yielding bytes forever
// (/dev/zero) cannot keep the load going.
size_t ReadPiece(FILE* file, char* piece, size_t left) {
    size_t n = 0;
    int c = 0;
    while (n < static_cast<size_t>(kReadPiece) && n < left && (c = getc(file)) != EOF) {
        piece[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    piece[n] = '\0';
    return n;
}

// Reads the file, text mode, piece by piece into a buffer of size + slack bytes, taking
// no more than the measured size from it; null when reading fails. On Windows the runtime
// turns CR LF into LF while reading, so the text may come out shorter than the measured
// size, never longer; the appends stay inside the buffer either way. A piece is appended
// as a string, up to a NUL byte in it.
char* ReadTextFile(FILE* file, long long size) {
    if (static_cast<unsigned long long>(size) >= SIZE_MAX - kLoadSlack)
        return nullptr;
    size_t capacity = static_cast<size_t>(size) + kLoadSlack;
    char* text = static_cast<char*>(malloc(capacity));
    if (text == nullptr)
        return nullptr;
    size_t used = 0;
    // One byte stays free for the line end added below, one for the terminator.
    size_t limit = capacity - 2;
    size_t left = static_cast<size_t>(size);
    char piece[kReadPiece + 1];
    while (used < limit && left > 0) {
        size_t taken = ReadPiece(file, piece, left);
        if (taken == 0)
            break;
        left -= taken;
        size_t n = strlen(piece);
        if (n > limit - used)
            n = limit - used;
        memcpy(text + used, piece, n);
        used += n;
    }
    if (ferror(file)) {
        free(text);
        return nullptr;
    }
    // An empty file stays an empty text: there is no last line to end, and a document
    // that only ever held a line end would be written back with one for no reason.
    if (used > 0 && text[used - 1] != '\n')
        text[used++] = '\n';
    text[used] = '\0';
    return text;
}

} // namespace

int ProfileLoadFile(Profile* profile, const char* path) {
    if (profile == nullptr || path == nullptr)
        return 0;
    // A loaded document is closed first (as ProfileLoadBuffer does), so that neither its
    // memory nor its unsaved edits are dropped.
    if (profile->text != nullptr)
        ProfileClose(profile);
    StrCopy(profile->file_name, sizeof profile->file_name, path);
    int result = 0;
    FILE* file = IsFifo(path) ? nullptr : fopen(path, "r");
    if (file != nullptr) {
        long long size = MeasureFile(file);
        if (size >= 0) {
            profile->text = ReadTextFile(file, size);
            if (profile->text != nullptr) {
                profile->text_length = strlen(profile->text);
                result = 1;
            }
        }
        fclose(file);
    }
    EnsureText(profile);
    profile->loaded_transformed = 0;
    profile->modified = 0;
    return result;
}

int ProfileLoadFileTransformed(Profile* profile, const char* path, ProfileTransformFn transform) {
    if (profile == nullptr || path == nullptr || transform == nullptr)
        return 0;
    int result = 0;
    char* buffer = nullptr;
    FILE* file = IsFifo(path) ? nullptr : fopen(path, "rb");
    if (file != nullptr) {
        long long size = MeasureFile(file);
        // The transform is told the capacity as a 32-bit number, so the buffer must fit it.
        if (size >= 0 && static_cast<unsigned long long>(size) <= UINT32_MAX - kTransformSlack) {
            uint32_t capacity = static_cast<uint32_t>(size + kTransformSlack);
            buffer = static_cast<char*>(calloc(capacity, 1));
            if (buffer != nullptr &&
                fread(buffer, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size)) {
                uint32_t length = static_cast<uint32_t>(size);
                // Only exactly 1 counts; a length beyond the buffer cannot be document text.
                if (transform(buffer, capacity, &length) == 1 && length <= capacity &&
                    ProfileLoadBuffer(profile, buffer, length) == 1) {
                    StrCopy(profile->file_name, sizeof profile->file_name, path);
                    profile->loaded_transformed = 1;
                    result = 1;
                }
            }
        }
        fclose(file);
    }
    free(buffer);
    // The path becomes the file name only on success: a document that could not be read
    // through its transform must never be written back in the clear over that file.
    EnsureText(profile);
    return result;
}

int ProfileClose(Profile* profile) {
    if (profile == nullptr)
        return 0;
    int result = 1;
    if (profile->modified == 1 && profile->file_name[0] != '\0' && profile->text != nullptr) {
        FILE* file = IsFifo(profile->file_name) ? nullptr : fopen(profile->file_name, "w");
        if (file == nullptr) {
            result = 0;
        } else {
            // A failed write or flush loses the changes just like a failed open, so it is
            // reported the same way.
            if (fputs(profile->text, file) < 0)
                result = 0;
            if (fclose(file) != 0)
                result = 0;
        }
    }
    free(profile->text);
    profile->text = nullptr;
    profile->text_length = 0;
    profile->file_name[0] = '\0';
    profile->modified = 0;
    profile->loaded_transformed = 0;
    return result;
}

int ProfileSaveTransformed(Profile* profile, ProfileTransformFn transform) {
    if (profile == nullptr || transform == nullptr)
        return 0;
    int result = 1;
    if (profile->modified == 1 && profile->file_name[0] != '\0' && profile->text != nullptr) {
        result = 0;
        size_t length = strlen(profile->text);
        if (length <= UINT32_MAX - kTransformSlack) {
            uint32_t capacity = static_cast<uint32_t>(length + kTransformSlack);
            char* buffer = static_cast<char*>(calloc(capacity, 1));
            if (buffer != nullptr) {
                memcpy(buffer, profile->text, length);
                uint32_t outLength = static_cast<uint32_t>(length);
                if (transform(buffer, capacity, &outLength) != 0 && outLength <= capacity) {
                    FILE* file =
                        IsFifo(profile->file_name) ? nullptr : fopen(profile->file_name, "wb");
                    if (file != nullptr) {
                        size_t written = fwrite(buffer, 1, outLength, file);
                        result = written == outLength ? 1 : 0;
                        if (fclose(file) != 0)
                            result = 0;
                    }
                }
                free(buffer);
            }
        }
    }
    free(profile->text);
    profile->text = nullptr;
    profile->text_length = 0;
    profile->file_name[0] = '\0';
    profile->modified = 0;
    profile->loaded_transformed = 0;
    return result;
}

int ProfileReadFileString(const char* path, const char* section, const char* key, char* out,
                          size_t outSize, const char* defaultValue) {
    if (path == nullptr || section == nullptr || key == nullptr || out == nullptr ||
        defaultValue == nullptr)
        return 0;
    Profile profile;
    ProfileInit(&profile);
    int result = 0;
    if (ProfileLoadFile(&profile, path) == 1)
        result = ProfileGetString(&profile, section, key, out, outSize, defaultValue);
    else
        StrCopy(out, outSize, defaultValue);
    ProfileClose(&profile);
    return result;
}

int ProfileAddFileEntry(const char* path, const char* section, const char* key, const char* value) {
    if (path == nullptr || section == nullptr || key == nullptr || value == nullptr)
        return 0;
    Profile* profile = static_cast<Profile*>(malloc(sizeof(Profile)));
    if (profile == nullptr)
        return 0;
    ProfileInit(profile);
    int result = ProfileLoadFile(profile, path);
    if (result == 1) {
        // The caller learns of a failed add or write-back too: either loses the entry.
        if (ProfileAddEntry(profile, section, key, value) != 1)
            result = 0;
        if (ProfileClose(profile) != 1)
            result = 0;
    } else {
        // Releases the empty stand-in text; nothing was edited, so nothing is written.
        ProfileClose(profile);
    }
    free(profile);
    return result;
}

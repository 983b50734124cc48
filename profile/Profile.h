// Profile: an INI-style document held as one NUL-terminated text buffer, read by scanning
// that text afresh on every lookup and edited by rebuilding the buffer.
//
// Format, as the lookups read it: LF and CR each end a line. A line whose first byte other
// than spaces (0x20) is '[' opens a section named by the bytes up to the next ']' (not
// trimmed); the section runs to the byte before the next such '['. Text before the first
// header belongs to no section. A line with '=' in a section is an entry: the key is the
// part before the first '=' with tabs, spaces and double quotes dropped; the value is the
// rest with tabs and leading spaces dropped and trailing bytes 0x01-0x20 trimmed. '#'
// starts a comment except that "##" in a value stands for one '#' (and except under
// PROFILE_OPT_HASH_LITERAL, or inside a quoted value under PROFILE_OPT_QUOTES). Names are
// compared ignoring ASCII case; values keep theirs. The first matching section and the
// first matching line win. At most 510 bytes of a key or value are collected; a longer
// one makes its line no entry. Enumeration reads slightly differently (keys keep inner
// spaces and quotes, '#' comments hide headers, duplicate sections are listed, an
// over-long line ends the enumeration).
//
// Every function takes the profile first and returns 1 for success and 0 for failure
// unless stated; null arguments give 0. The text length always equals the string length
// of the text. Positions handed out by the lookups and the enumeration cursors point into
// the current text buffer and are invalid after the next edit, load or close.
//
// Files are read with fopen "r" and written back with "w", so on Windows CR LF on disk
// becomes LF in the text and LF in the text becomes CR LF on disk; elsewhere bytes pass
// unchanged. Lookups answer the same either way, since CR is a line end too.
//
// Short forms: the getters that take a default (and ProfileHasValue with its prefix
// length) also exist as overloads without that last argument; they pass 0 or "".
//
// Choices where the format leaves room (each explained where it is made):
// - A NUL byte inside data given to ProfileLoadBuffer ends the document there.
// - Loading an empty file gives an empty text (no line end is added to nothing).
// - A line end forgets a '[' that has no ']' yet, so a header must close on its own line.
// - ProfileLoadFile on a profile that still holds a document closes that one first.
// - Loads take no more than the size measured from a file, and refuse a FIFO before
//   opening it (its open would wait for a writer); a close does not write to one either.
// - ProfileSetString turns a tab in the value into a space (lookups would drop a tab),
//   stops escaping rather than store half of a "##" pair, replaces the bytes the old value
//   occupies including tabs inside it, and starts a new line before an entry it adds
//   behind a last line that has no line end.
// - ProfileGetProtected refuses text that is not hex digits.
// The departures from the plain rules are stated at their functions: ProfileFindEntry,
// ProfileLoadFileTransformed, ProfileClose, ProfileAddFileEntry and ProfileSetProtected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum : uint32_t {
    PROFILE_OPT_QUOTES = 1,       // a '"' opening a value quotes it
    PROFILE_OPT_HASH_LITERAL = 2, // '#' never starts a comment
};

// Works in place on `buffer` (capacity bytes); `length` holds the data length on entry
// and the transformed length on return.
typedef int (*ProfileTransformFn)(char* buffer, uint32_t capacity, uint32_t* length);

// Writes the NUL-terminated clear text of `data` into `out` (outSize bytes); non-zero on
// success. `userContext` is passed through unchanged.
typedef int (*ProfileDecryptFn)(const unsigned char* data, uint32_t dataLength, char* out,
                                uint32_t outSize, void* userContext);

// Writes the protected form of `clearText` into `out` (outSize bytes, always 512) and its
// byte count into *outLength; non-zero on success.
typedef int (*ProfileEncryptFn)(const char* clearText, uint64_t clearLength, unsigned char* out,
                                uint32_t outSize, uint32_t* outLength, void* userContext);

// One row of a name table; a table ends with a row whose name is "" (not null).
struct ProfileNameEntry {
    uint32_t value;
    const char* name;
};

struct Profile {
    char file_name[260];         // "" when no file is behind the document
    uint32_t loaded_transformed; // 1 after a successful ProfileLoadFileTransformed
    char* text;                  // owned heap text, NUL-terminated; null when closed
    uint64_t text_length;        // bytes of text without the terminator
    char* section_cursor;        // section enumeration position
    char* entry_cursor;          // entry enumeration position
    char* entry_end;             // last byte of the section being enumerated
    uint32_t modified;           // 1 once an edit changed the text
    uint32_t options;            // PROFILE_OPT_* bits
    ProfileDecryptFn decrypt;    // for ProfileGetProtected
    ProfileEncryptFn encrypt;    // for ProfileSetProtected
};

// ---- Document lifecycle -------------------------------------------------------------

// Clears the file name, flags, text, options and callbacks; returns the profile.
Profile* ProfileInit(Profile* profile);
// Reads a file (text mode) into the text. When the file cannot be opened or measured the
// text becomes "" and the path stays as file name, so edits then a close create the file.
int ProfileLoadFile(Profile* profile, const char* path);
// Closes the current document (writing it back when modified and named), then copies
// `length` bytes of `data` (a negative length: up to its NUL) as an unnamed text.
int ProfileLoadBuffer(Profile* profile, const char* data, long long length);
// Reads a file in binary mode, runs `transform` over its bytes (only a result of exactly
// 1 counts) and loads the result as the text, keeping the path as file name.
// Departure: a failed load leaves the file name as it was instead of storing the path, so
// that edits and a close can never write clear text over the file the transform was
// meant to read.
int ProfileLoadFileTransformed(Profile* profile, const char* path, ProfileTransformFn transform);
// Writes a modified, named document back (mode "w"), then frees the text. 0 when the
// write-back failed; the document is released either way.
// Departure: a write or flush that fails after the open succeeded (a full disk, say) also
// gives 0, since the changes are lost just as when the open fails.
int ProfileClose(Profile* profile);
// Passes a modified, named document through `transform` (any non-zero result counts) and
// writes the bytes with mode "wb", then closes as ProfileClose does (without its write).
int ProfileSaveTransformed(Profile* profile, ProfileTransformFn transform);
char* ProfileGetText(Profile* profile);
// Options above 3 are refused.
int ProfileSetOptions(Profile* profile, uint32_t options);
void ProfileSetDecryptCallback(Profile* profile, ProfileDecryptFn callback);
void ProfileSetEncryptCallback(Profile* profile, ProfileEncryptFn callback);

// ---- Lookups and enumeration --------------------------------------------------------

// Finds the first section called `name`: *start gets its '[', *end the byte before the
// next header's '[' (or the terminating NUL for the last section). Either may be null.
int ProfileFindSection(Profile* profile, const char* name, const char** start, const char** end);
// Scans rangeStart..rangeEnd (inclusive, clamped to the text and its NUL) for the first
// line whose key equals `key` (or, with prefixLength > 0, whose first prefixLength
// characters match). On success copies the value into out (cut to outSize - 1; out may be
// null) and sets *valueStart to the value's first byte in the text (for an empty value:
// where a comment on its line begins, else its line end or the NUL). keepDoubleHash keeps
// "##" as two bytes, so the value read has the length it occupies in the text.
// Departures: an empty value followed by a comment starts at the '#' rather than at the
// line end, so that a value set there lands before the comment and reads back, not
// inside it. A line skipped as over-long leaves its quoted state and value start behind
// instead of carrying them into the next line, where a setter would otherwise write into
// the middle of the over-long line.
int ProfileFindEntry(Profile* profile, const char* key, size_t prefixLength, const char* rangeStart,
                     const char* rangeEnd, const char** valueStart, char* out, size_t outSize,
                     int keepDoubleHash);
int ProfileSectionExists(Profile* profile, const char* section);
// Section names in document order, duplicates and all; names in '#' comments are skipped.
int ProfileFirstSection(Profile* profile, char* out, size_t outSize);
int ProfileNextSection(Profile* profile, char* out, size_t outSize);
// Entries of one section in order; valueOut may be null. Keys keep inner spaces and
// quotes. Ends (0) at the section end and at a key or value of 256 or more bytes; the
// last line of the text is listed only when a line end follows it.
// Valid until the next edit of the text.
int ProfileFirstEntry(Profile* profile, const char* section, char* keyOut, size_t keyOutSize,
                      char* valueOut, size_t valueOutSize);
int ProfileNextEntry(Profile* profile, char* keyOut, size_t keyOutSize, char* valueOut,
                     size_t valueOutSize);

// ---- Typed getters: the output first receives the default --------------------------

// A null default gives 0 and leaves out untouched.
int ProfileGetString(Profile* profile, const char* section, const char* key, char* out,
                     size_t outSize, const char* defaultValue);
int ProfileGetStdString(Profile* profile, const char* section, const char* key, std::string& out);
// Decimal with optional sign, saturated to the int32_t range; no digits give 0.
int ProfileGetInt(Profile* profile, const char* section, const char* key, int32_t* out,
                  int32_t defaultValue);
// "On", "Yes" or a number 1 give 1; "0", "Off", "No" give 0; other text keeps the default
// (and still returns 1).
int ProfileGetBool(Profile* profile, const char* section, const char* key, uint32_t* out,
                   uint32_t defaultValue);
int ProfileGetEnum(Profile* profile, const char* section, const char* key,
                   const ProfileNameEntry* table, uint32_t* out, uint32_t defaultValue);
// ORs the values of the names listed (separated by any of ",;| ") into the default; 0 when
// some name is not in the table.
int ProfileGetFlags(Profile* profile, const char* section, const char* key,
                    const ProfileNameEntry* table, uint32_t* out, uint32_t defaultValue);
// 1 when some entry of the section with a matching key has exactly this value.
int ProfileHasValue(Profile* profile, const char* section, const char* key, const char* value,
                    size_t prefixLength);
// Reads a value; a "crypt:" value is hex-decoded and passed to the decrypt callback.
int ProfileGetProtected(Profile* profile, const char* section, const char* key, char* out,
                        size_t outSize, uint32_t* wasProtected, void* userContext);

inline int ProfileGetString(Profile* profile, const char* section, const char* key, char* out,
                            size_t outSize) {
    return ProfileGetString(profile, section, key, out, outSize, "");
}
inline int ProfileGetInt(Profile* profile, const char* section, const char* key, int32_t* out) {
    return ProfileGetInt(profile, section, key, out, 0);
}
inline int ProfileGetBool(Profile* profile, const char* section, const char* key, uint32_t* out) {
    return ProfileGetBool(profile, section, key, out, 0);
}
inline int ProfileGetEnum(Profile* profile, const char* section, const char* key,
                          const ProfileNameEntry* table, uint32_t* out) {
    return ProfileGetEnum(profile, section, key, table, out, 0);
}
inline int ProfileGetFlags(Profile* profile, const char* section, const char* key,
                           const ProfileNameEntry* table, uint32_t* out) {
    return ProfileGetFlags(profile, section, key, table, out, 0);
}
inline int ProfileHasValue(Profile* profile, const char* section, const char* key,
                           const char* value) {
    return ProfileHasValue(profile, section, key, value, 0);
}

// ---- Setters and edits --------------------------------------------------------------

// Replaces the value of the first matching entry (keeping the rest of its line), or adds
// the entry at the end of the section, or appends the section. '#' is stored as "##", CR,
// LF and tab as a space.
// Departure (made by ProfileFindEntry): an empty value followed by a comment receives the
// new value in front of the '#', where it can be read back.
int ProfileSetString(Profile* profile, const char* section, const char* key, const char* value);
int ProfileSetInt(Profile* profile, const char* section, const char* key, int32_t value);
int ProfileSetBool(Profile* profile, const char* section, const char* key, uint32_t flag);
// Stores the names of all rows sharing a bit with mask, joined by ",".
int ProfileSetFlags(Profile* profile, const char* section, const char* key,
                    const ProfileNameEntry* table, uint32_t mask);
// Stores "crypt:" and the hex form of what the encrypt callback makes of clearText.
// Departure: protected data of more than 252 bytes is refused (0, nothing stored), since
// its text would be too long for a lookup to read back.
int ProfileSetProtected(Profile* profile, const char* section, const char* key,
                        const char* clearText, void* userContext);
// Adds a line without looking for an existing key and without escaping the value.
int ProfileAddEntry(Profile* profile, const char* section, const char* key, const char* value);
int ProfileDeleteSection(Profile* profile, const char* section);
// Removes the first line whose key part (spaces kept) equals key, with the line ends after
// it; 0 when that line has no line end (the last line of a buffer document).
int ProfileDeleteEntry(Profile* profile, const char* section, const char* key);
// Inserts `string` at `offset` (clamped to the text length).
int ProfileInsertText(Profile* profile, const char* string, size_t offset);
// Removes `count` bytes at `offset`; 0 when they are not all inside the text.
int ProfileRemoveText(Profile* profile, size_t offset, size_t count);

// ---- One-shot file access -----------------------------------------------------------

int ProfileReadFileString(const char* path, const char* section, const char* key, char* out,
                          size_t outSize, const char* defaultValue);
// Appends an entry to an existing file; a missing file is not created.
// Departure: 0 also when the add or the write-back fails, not only when the load does,
// since the entry is lost then.
int ProfileAddFileEntry(const char* path, const char* section, const char* key, const char* value);

// ---- Name tables --------------------------------------------------------------------

// Names of all rows whose bits are all in mask, joined by ", "; the 0-valued row's name
// when none is. Returns out.
char* FlagsToText(uint32_t mask, const ProfileNameEntry* table, char* out, size_t outSize);
// Name of the first row with this value; "" when there is none.
const char* NameOfValue(uint32_t value, const ProfileNameEntry* table);

// ---- Shared text rules --------------------------------------------------------------

// Whole texts equal ignoring ASCII case.
int ProfileNameEquals(const char* a, const char* b);
// Equal ignoring ASCII case over at most n characters (stopping where both end).
int ProfileNameEqualsN(const char* a, const char* b, size_t n);
// Decimal conversion of the typed getters: leading white space, optional sign, digits up
// to the first other byte, saturated to the int32_t range.
int32_t ProfileTextToInt(const char* text);
// LF and CR each end a line.
inline bool ProfileIsLineEnd(char c) {
    return c == '\n' || c == '\r';
}
// Where `position` lies in the current text, as an offset; false when it lies outside
// the text and its NUL (a position kept from before an edit replaced the buffer).
bool ProfileOffsetInText(const Profile* profile, const char* position, size_t* offset);

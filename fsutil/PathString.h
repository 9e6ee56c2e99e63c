#pragma once
#include <cstdint>

// Path strings: ANSI text in the process's code page, backslash as the separator
// on disk. When a path is split, "/" and ":" end a component as well. Results
// are written into caller buffers; none of these ever writes past the size given.
//
// That code page is one of two kinds. In the double-byte code pages (932, 936,
// 949, 950) a lead byte and the byte after it are one character, and that
// second byte may be 0x5C, the backslash (表 is 95 5C in code page 932). In
// UTF-8 (65001, which the manifest asks for on Windows 10 1903 and later) a
// character takes 1 to 4 bytes, each byte after the first 0x80 or above.
// Every scan here steps over whole characters. Second bytes are 0x40 or
// above, so "/", ":", ".", the wildcards and the control characters are always
// characters of their own.

// Takes the code page's lead-byte ranges: pairs of first and last byte, ended
// by a pair of zeros or after `count` bytes (the form of GetCPInfo's LeadByte);
// at most MaxLeadByteRanges pairs. No ranges, the state at start, is a
// single-byte code page.
constexpr uint32_t MaxLeadByteRanges = 6;
void SetLeadByteRanges(const uint8_t* ranges, uint32_t count);

// Makes the text UTF-8 (true) or the code page of the lead-byte ranges (false,
// the state at start). In UTF-8 a byte that starts no well-formed character
// is a character of its own.
void SetUtf8Text(bool utf8);

// The superscript digits 1, 2 and 3 (U+00B9, U+00B2, U+00B3) as the text
// writes them, one after another and zero-terminated, at most
// MaxSuperscriptBytes; at start B9 B2 B3, those of code page 1252. Windows
// reads them as digits in a device name ("COM¹"). UTF-8 writes them C2 B9,
// C2 B2, C2 B3, code page 949 as two-byte characters, and code page 932 has
// none: its byte B2 is the katakana ｲ, which names no device. A code page's
// stand-in for one it lacks ("?" or a digit) names nothing new.
constexpr uint32_t MaxSuperscriptBytes = 12;
void SetSuperscriptDigits(const char* digits);

// The character after the one at `text` (which must not be the terminator); a
// lead byte just before the terminator is a character of its own.
const char* NextChar(const char* text);

// true when the last character of `path` is a backslash.
bool EndsWithBackslash(const char* path);

// The path without its first character when that is a backslash (only one is
// removed). Returns a pointer into `path`; nothing is copied.
const char* StripLeadingBackslash(const char* path);

// The directory part of `path` into `out` (outSize bytes, terminator included):
// "C:\Data\File.txt" gives "C:\Data", "C:\Data" gives "C:\", "C:\" stays,
// "File.txt" gives "". Returns the length written.
uint32_t PathDirPart(const char* path, char* out, uint32_t outSize);

// What a character counts against Windows' limits of a name (255) and of a
// path (MAX_PATH): in a code page its bytes, in UTF-8 its UTF-16 units (2 for
// a character of 4 bytes, 1 for any other). TextUnits sums them over a string.
uint32_t CharUnits(const char* text);
uint32_t TextUnits(const char* text);
// Ends `text` after its first `units` units, between characters; returns its length.
uint32_t CutToUnits(char* text, uint32_t units);

// The final component: everything after the last "\", "/" or ":"; empty when
// the path ends in one of them. Written into `out`, cut to its first
// MaxNamePart units (and to outSize - 1 bytes), never inside a character.
// Returns the length written. In UTF-8 a unit takes at most 3 bytes, so
// MaxNamePartBytes + 1 bytes hold any component.
constexpr uint32_t MaxNamePart = 255;
constexpr uint32_t MaxNamePartBytes = 3 * MaxNamePart;

// A stored member name of more bytes than this is refused, never cut.
constexpr uint32_t NameBufferSize = 258;

// The destination folder: at most 255 units (TextUnits), up to 765 bytes in
// UTF-8; the room beyond keeps 255 whole units ahead of a character the path
// field's copy may cut.
constexpr uint32_t ExtractPathSize = 1024;
constexpr uint32_t MaxExtractPathUnits = 255;
uint32_t PathNamePart(const char* path, char* out, uint32_t outSize);

// Exactly `count` bytes of `bytes` as a string, cut before the first NUL among
// them. `out` must hold count + 1 bytes. Returns the length of the result.
uint32_t StringFromBuffer(const char* bytes, uint16_t count, char* out);

// Every "/" becomes "\"; nothing else changes. Returns `path`.
char* SlashesToBackslashes(char* path);

// Appends "\" to a non-empty string that does not end in one; an empty string
// stays empty. The buffer must have room for one more character. Returns `path`.
char* AppendBackslash(char* path);

uint32_t StringLength(const char* text);
// Copies at most outSize - 1 characters and terminates; returns the length copied.
uint32_t CopyString(char* out, uint32_t outSize, const char* text);
// `wanted` is an ASCII character; the second byte of a two-byte character never counts.
bool ContainsChar(const char* text, char wanted);

// Why a member name (after "/" became "\") would leave the destination or
// reach something that is not a plain file there; None when it is safe. Such
// a member is never written. The checks run in the order of the values.
enum class UnsafeName : uint8_t {
    None,
    // still starts with a backslash once one leading backslash is stripped, or
    // has a component made only of dots and spaces ("..", ". ." and the like,
    // which Windows folds)
    LeavesDestination,
    HasColon,      // a drive letter or an alternate data stream
    ReservedChar,  // a character no file name may hold: wildcards, < > | ", control characters
    // names a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 and the
    // superscript-digit forms, CONIN$, CONOUT$; with or without an extension)
    // in any component, decided on characters (SetSuperscriptDigits)
    Device,
};
UnsafeName WhyUnsafeMemberName(const char* name);

inline bool IsUnsafeMemberName(const char* name)
{
    return WhyUnsafeMemberName(name) != UnsafeName::None;
}

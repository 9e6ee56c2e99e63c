#pragma once
#include <cstdint>

// Path strings: single-byte ANSI text, backslash as the separator on disk.
// When a path is split, "/" and ":" end a component as well. Results are
// written into caller buffers; none of these ever writes past the size given.

// The path without its first character when that is a backslash (only one is
// removed). Returns a pointer into `path`; nothing is copied.
const char* StripLeadingBackslash(const char* path);

// The directory part of `path` into `out` (outSize bytes, terminator included):
// "C:\Data\File.txt" gives "C:\Data", "C:\Data" gives "C:\", "C:\" stays,
// "File.txt" gives "". Returns the length written.
uint32_t PathDirPart(const char* path, char* out, uint32_t outSize);

// The final component: everything after the last "\", "/" or ":"; empty when
// the path ends in one of them. Written into `out`, cut to its first 255
// characters (and to outSize - 1). Returns the length written.
constexpr uint32_t MaxNamePart = 255;
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
bool ContainsChar(const char* text, char wanted);

// True when a member name (after "/" became "\") would leave the destination
// or reach something that is not a plain file there: it still starts with a
// backslash once one leading backslash is stripped, contains a colon (drive
// letters, alternate data streams), has a component made only of dots and
// spaces ("..", ". ." and the like, which Windows folds), holds a character no
// file name may hold (wildcards, < > | ", control characters), or names a
// device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 and the superscript-digit
// forms, CONIN$, CONOUT$; with or without an extension) in any component.
// Such a member is never written.
bool IsUnsafeMemberName(const char* name);

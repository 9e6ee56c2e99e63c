#pragma once
#include <cstdint>

// UTF-8 as names in archives and on today's Windows use it: shortest forms
// only, no surrogate code points (U+D800-U+DFFF), nothing past U+10FFFF.

// The length in bytes (1-4) of the well-formed character at `text`, or 0 when
// the bytes there are not one (a stray continuation byte, an overlong form, a
// surrogate, a point past U+10FFFF, or a sequence cut short by the end).
// `end` is one past the last byte that may be read.
uint32_t Utf8CharLength(const char* text, const char* end);

// True when all `length` bytes of `text` are well-formed UTF-8.
bool IsValidUtf8(const char* text, uint32_t length);

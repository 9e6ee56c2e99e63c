#pragma once
#include <cstdint>

// Where a member goes: the extract path with one backslash after it (unless it
// already ends in one), then the display name without its leading backslash.
// Formed in a buffer of its own, so a 255-character extract path still gets its
// separator. Returns false, with nothing written past outSize, when the result
// does not fit in outSize - 1 characters.
bool FormOutputPath(const char* extractPath, const char* displayName, char* out, uint32_t outSize);

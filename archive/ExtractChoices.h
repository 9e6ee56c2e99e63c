#pragma once
#include <cstdint>

#include "archive/LocalHeader.h"
#include "fsutil/PathString.h"

// The user's extraction choices that live outside the main dialog's controls,
// and the exchange buffers between the extraction driver and its prompts.

// MinGW places zero-initialised globals of -fdata-sections in .data, where
// they take their size in the image; declared common, the large buffers
// below go to .bss instead, which takes none.
#define ZELVIX_NOT_IN_IMAGE __attribute__((common))

// At most 255 units (TextUnits), up to 765 bytes in UTF-8; the room beyond
// keeps 255 whole units ahead of a character the path field's copy may cut.
constexpr uint32_t ExtractPathSize = 1024;
constexpr uint32_t MaxExtractPathUnits = 255;
extern char ExtractPath[ExtractPathSize] ZELVIX_NOT_IN_IMAGE;  // destination directory; never empty when a pass starts

enum OverwriteChoice : uint8_t { OverwriteAlways = 0, OverwriteSkip = 1, OverwriteConfirm = 2 };
extern uint8_t OverwriteMode;  // an OverwriteChoice; the confirmation may change it mid-pass

constexpr uint32_t PasswordTextSize = 2 * MaxPasswordLength + 1;  // two bytes a character in a double-byte code page
extern char Password[PasswordTextSize];       // last password entered, kept for the run; "" = none
extern char PasswordText[PasswordTextSize];   // written by the password prompt
extern uint32_t PasswordLength;               // bytes in PasswordText, 0..PasswordTextSize - 1

// The final component of the output path the confirmation names.
extern char ExistingName[MaxNamePartBytes + 1] ZELVIX_NOT_IN_IMAGE;
extern uint8_t OverwriteAnswer;  // 1: overwrite the file named, 0: leave it

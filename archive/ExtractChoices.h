#pragma once
#include <cstdint>

#include "archive/LocalHeader.h"

// The user's extraction choices that live outside the main dialog's controls,
// and the exchange buffers between the extraction driver and its prompts.

constexpr uint32_t ExtractPathSize = 256;  // at most 255 characters
extern char ExtractPath[ExtractPathSize];  // destination directory; never empty when a pass starts

enum OverwriteChoice : uint8_t { OverwriteAlways = 0, OverwriteSkip = 1, OverwriteConfirm = 2 };
extern uint8_t OverwriteMode;  // an OverwriteChoice; the confirmation may change it mid-pass

constexpr uint32_t PasswordTextSize = MaxPasswordLength + 1;
extern char Password[PasswordTextSize];       // last password entered, kept for the run; "" = none
extern char PasswordText[PasswordTextSize];   // written by the password prompt
extern uint32_t PasswordLength;               // characters in PasswordText, 0..MaxPasswordLength

extern char ExistingName[256];   // final component of the output path the confirmation names
extern uint8_t OverwriteAnswer;  // 1: overwrite the file named, 0: leave it

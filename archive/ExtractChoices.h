#pragma once
#include <cstdint>

#include "dialogs/Prompts.h"
#include "fileio/Memory.h"
#include "fsutil/PathString.h"

// The user's extraction choices that live outside the main dialog's controls;
// those the prompts exchange with the driver are declared with the prompts.

// The destination directory; never empty when a pass starts.
extern char ExtractPath[ExtractPathSize] ZELVIX_NOT_IN_IMAGE;
extern char Password[PasswordTextSize];  // last password entered, kept for the run; "" = none

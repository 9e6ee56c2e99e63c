#pragma once
#include <cstdint>
#include <windows.h>

#include "fsutil/PathString.h"

// Carries the extract path to the chooser and back: BrowsePathSize bytes,
// allocated at start.
constexpr uint32_t BrowsePathSize = ExtractPathSize + 16;
extern char* BrowsePath;

// Runs the directory chooser "SETDIR" modally, owned by `owner`, on the path in
// BrowsePath. Returns the dialog's result: IDOK when the user accepted, and
// BrowsePath then holds the chosen directory ending in a backslash.
// A directory too long for the 256-byte extract path (with its backslash)
// counts as cancelled.
INT_PTR RunDirectoryChooser(HWND owner);

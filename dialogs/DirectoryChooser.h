#pragma once
#include <windows.h>

// Runs the directory chooser "SETDIR" modally, owned by `owner`, on the path in
// BrowsePath. Returns the dialog's result: IDOK when the user accepted, and
// BrowsePath then holds the chosen directory ending in a backslash.
// A directory too long for the 256-byte extract path (with its backslash)
// counts as cancelled.
INT_PTR RunDirectoryChooser(HWND owner);

#pragma once
#include <windows.h>

// Runs the directory chooser "SETDIR" modally, owned by `owner`, on the path in
// BrowsePath. Returns the dialog's result: IDOK when the user accepted, and
// BrowsePath then holds the chosen directory ending in a backslash.
INT_PTR RunDirectoryChooser(HWND owner);

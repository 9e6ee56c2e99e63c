#pragma once
#include <windows.h>

// Runs the new-subdirectory dialog "DLGNEW" modally, owned by `owner`. On entry
// BrowsePath names the directory the chooser lists, which is also the current
// directory. Returns IDOK when the typed directory exists afterwards and is the
// current directory; BrowsePath then names it (or still the base when the
// combined path would not fit). IDCANCEL otherwise.
INT_PTR RunNewSubdirectoryDialog(HWND owner);

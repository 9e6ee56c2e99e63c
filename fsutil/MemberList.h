#pragma once
#include <cstdint>
#include <windows.h>

// Index of the member-list item found last; -1 before the first lookup of a
// pass. The driver unselects this item when its member is verified or skipped.
extern int32_t ListSearchCursor;

// Finds the item whose whole text equals `displayName` (without regard to
// case), starting after ListSearchCursor and wrapping round, so members that
// share a display name visit equal items in list order. Stores the index found
// (or -1) in ListSearchCursor; true only when that item is selected.
bool IsMemberSelected(HWND list, const char* displayName);

#pragma once
#include <cstdint>
#include <windows.h>

// Each item of the member list stands for one member: its item data holds the
// member's ordinal in the walk (0 for the first local header), so members
// whose display names are equal, with or without regard to case, still have
// items of their own. Only a listing pass changes the items, and every pass
// walks the same headers, so an ordinal means the same member in every pass
// until the next listing.

// List index of the item of the member looked up last; -1 when that member
// has no item (a directory entry). The driver unselects this item when its
// member is verified or left alone by the overwrite policy.
extern int32_t CurrentMemberItem;

// Adds the member's item to the list. A member whose item could not be added
// (the list out of memory) has none, as a directory entry.
void AddMemberItem(HWND list, const char* displayName, uint32_t ordinal);

// Called by a listing pass once the list holds its `members` members: maps
// each ordinal to its item's index, in one sweep over the items (the sorted
// list moves items as later ones are added, so this waits for the last).
void MapMemberItems(HWND list, uint32_t members);

// Sets CurrentMemberItem to the item of the member with this ordinal, in
// constant time; true only when that item is selected.
bool IsMemberSelected(HWND list, uint32_t ordinal);

#include "fsutil/MemberList.h"

#include "fileio/Memory.h"

int32_t CurrentMemberItem;      // set by IsMemberSelected before any use
static uint32_t MappedMembers;  // ordinals below it have an entry in MemberItems
// Entry per ordinal: the item's index plus 1, 0 for a member without an item.
// Replaced by each listing; lives until the next one.
static int32_t* MemberItems;

void AddMemberItem(HWND list, const char* displayName, uint32_t ordinal)
{
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(displayName));
    if (index >= 0)  // LB_SETITEMDATA at LB_ERR (-1) would set every item's data
        SendMessageA(list, LB_SETITEMDATA, index, ordinal);
}

void MapMemberItems(HWND list, uint32_t members)
{
    ReleaseBlock(MemberItems);
    MemberItems = static_cast<int32_t*>(AllocateClearedBlock(members * sizeof(int32_t)));
    MappedMembers = members;
    int32_t count = static_cast<int32_t>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int32_t index = 0; index < count; ++index) {
        uint32_t ordinal = static_cast<uint32_t>(SendMessageA(list, LB_GETITEMDATA, index, 0));
        if (ordinal < members)
            MemberItems[ordinal] = index + 1;
    }
}

bool IsMemberSelected(HWND list, uint32_t ordinal)
{
    // Every pass walks the same headers of a file no one can change while the
    // stub holds it, so the bound only keeps a surprise from reading past the table.
    CurrentMemberItem = (ordinal < MappedMembers ? MemberItems[ordinal] : 0) - 1;
    return SendMessageA(list, LB_GETSEL, CurrentMemberItem, 0) > 0;
}

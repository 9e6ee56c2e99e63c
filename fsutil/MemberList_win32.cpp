#include "fsutil/MemberList.h"

int32_t ListSearchCursor = -1;

bool IsMemberSelected(HWND list, const char* displayName)
{
    ListSearchCursor = static_cast<int32_t>(
        SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(ListSearchCursor),
                     reinterpret_cast<LPARAM>(displayName)));
    return SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(ListSearchCursor), 0) > 0;
}

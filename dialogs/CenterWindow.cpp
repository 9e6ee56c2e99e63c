#include "dialogs/CenterWindow.h"

// The centred top-left corner and the outer size of `window`.
struct CentredPlace {
    int left;
    int top;
    int width;
    int height;
};

static CentredPlace FindCentredPlace(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    CentredPlace place;
    place.width = outer.right - outer.left;
    place.height = outer.bottom - outer.top;
    // C++ division truncates toward zero, as the placement rule asks.
    place.left = (GetSystemMetrics(SM_CXSCREEN) - place.width) / 2;
    place.top = (GetSystemMetrics(SM_CYSCREEN) - place.height) / 2;
    return place;
}

void CenterWindowByMove(HWND window)
{
    CentredPlace place = FindCentredPlace(window);
    MoveWindow(window, place.left, place.top, place.width, place.height, FALSE);
}

void CenterWindowByPosition(HWND window)
{
    CentredPlace place = FindCentredPlace(window);
    SetWindowPos(window, nullptr, place.left, place.top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

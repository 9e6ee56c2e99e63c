#pragma once
#include <windows.h>

// Centres a window on the screen: left = (screen width - window width) / 2,
// top = (screen height - window height) / 2, each truncated toward zero, so a
// window larger than the screen gets a negative position. The size never changes.

// Moves the window with MoveWindow at its own size, without repainting.
void CenterWindowByMove(HWND window);

// Places the window with SetWindowPos, keeping its size and z-order.
void CenterWindowByPosition(HWND window);

#pragma once
#include <windows.h>

// Globals of the run, owned by start-up.
extern HWND MainDialog;             // the main dialog, once created
extern unsigned char MainInitDone;  // set by the main dialog's first activation

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#pragma once
#include <windows.h>

// Globals of the run, owned by start-up.
extern char* BrowsePath;       // 260-byte buffer that carries the extract path to the chooser and back
extern HWND MainDialog;        // the main dialog, once created
extern unsigned char MainInitDone;  // set by the main dialog's first activation

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

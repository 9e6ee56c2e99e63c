// Stands in for a DLL planted beside a downloaded program under a system DLL's
// name (built as comctl32.dll and as mpr.dll). Loading it leaves a marker file,
// <its own path>.loaded, so a test can tell whether a process took it. It
// exports the procedures the stub looks up, so a process that took it would
// carry on none the wiser.
#include <windows.h>

static void LeaveMarker(HINSTANCE self)
{
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    const char suffix[] = ".loaded";
    for (DWORD i = 0; i < sizeof suffix; ++i)
        path[length + i] = suffix[i];
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        LeaveMarker(self);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI ImageList_Draw(void*, int, HDC, int, int, UINT)
{
    return FALSE;
}

extern "C" __declspec(dllexport) DWORD WINAPI WNetConnectionDialog(HWND, DWORD)
{
    return ERROR_CANCELLED;
}

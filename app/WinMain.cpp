#include "app/AppState.h"
#include "app/Hardening.h"
#include "app/StackGuard.h"
#include "archive/StubSize.h"
#include "decode/Crc32.h"
#include "dialogs/DirectoryChooser.h"
#include "fileio/FileIo.h"
#include "fileio/Memory.h"
#include "fsutil/MemberName.h"
#include "fsutil/PathString.h"

#include <windows.h>

HWND MainDialog = nullptr;
unsigned char MainInitDone = 0;

static const char NoArchiveCaption[] = "Zelvix SFX - www.zelvix.example";

static void RegisterMainDialogClass(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    windowClass.lpszClassName = "SeMainDialogClass";
    RegisterClassA(&windowClass);  // a failure shows as CreateDialogParamA failing below
}

static void RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(MainDialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

__attribute__((noinline)) static void RunProgram()
{
    HardenProcess();
    MainInitDone = 0;
    char ownPath[MAX_PATH + 1];
    DWORD pathLength = GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    ownPath[pathLength] = '\0';
    ArchiveFile = OpenFileForReading(ownPath);
    if (ArchiveFile == NoFile) {
        MessageBoxA(nullptr, ownPath, "Couldn't open...", MB_OK);
        return;
    }
    SetUpCrcTable();
    SetUpNameText();
    BrowsePath = static_cast<char*>(AllocateClearedBlock(BrowsePathSize));

    if (FileSizeLow(ArchiveFile) == StubSize) {
        MessageBoxA(nullptr, "Couldn't find archive.", NoArchiveCaption, MB_OK);
    } else {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        RegisterMainDialogClass(instance);
        MainDialog = CreateDialogParamA(instance, "SEMainDialogClass", nullptr, nullptr, 0);
        if (MainDialog) {
            ShowWindow(MainDialog, SW_SHOW);
            RunMessageLoop();
        } else {
            // Without the dialog the loop would run with no window and never end.
            MessageBoxA(nullptr, "Couldn't create the main window.", "Error", MB_OK);
        }
    }

    if (!CloseFile(ArchiveFile))
        MessageBoxA(nullptr, "Error closing archive", "Error", MB_OK);
    ArchiveFile = NoFile;
    ReleaseBlock(BrowsePath);
    ReleaseCrcTable();
}

// The stub has no C runtime: this is the process's entry point, and every path
// ends with exit code 0. It sets the stack guard before anything protected
// runs, so it is unprotected itself, and keeps RunProgram's buffers out of its
// frame.
extern "C" __attribute__((no_stack_protector)) void __stdcall StubEntry()
{
    SetUpStackGuard();
    RunProgram();
    ExitProcess(0);
}

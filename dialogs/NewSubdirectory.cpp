#include "dialogs/NewSubdirectory.h"

#include "dialogs/CenterWindow.h"
#include "dialogs/DirectoryChooser.h"
#include "fileio/Memory.h"
#include "fsutil/FileSystem.h"
#include "fsutil/PathString.h"
#include "resources/ChooserIds.h"

// A base and a typed name together longer than this many units (TextUnits)
// leave BrowsePath at the base, so the chooser then lists the base with the
// new directory among its subdirectories.
constexpr uint32_t LongestExtendedPath = 254;
// The edit's 260 characters, 3 bytes each in UTF-8, with terminator, and one spare.
constexpr uint32_t TypedNameSize = 3 * 260 + 2;

// Creates the typed directory under BrowsePath and enters it. True only when
// the result is a directory by its full name, so that success never rests on
// how an existence search treats a name with wildcards ("x*" beside "xa") or
// one held by a plain file: the dialog then ends with 1 with nothing created
// or entered.
static bool CreateTypedSubdirectory(const char* name)
{
    if (!MakeSubdirectoryCurrent(BrowsePath, name))
        return false;
    while (*name == '\\')
        ++name;
    char created[3 * MAX_PATH + 1];
    uint32_t baseLength = CopyString(created, sizeof created, BrowsePath);
    CopyString(created + baseLength, sizeof created - baseLength, name);  // fits: MakeSubdirectoryCurrent checked
    return IsDirectory(created);
}

static void ConfirmNewSubdirectory(HWND dialog)
{
    HeapBlock<char> typed(TypedNameSize);
    UINT length = GetDlgItemTextA(dialog, IDC_NEWDIRNAME, typed.get(), TypedNameSize - 1);
    typed[length] = '\0';
    if (length == 0)
        return;
    if (!CreateTypedSubdirectory(typed.get())) {
        // The dialog stays open with the text, to be corrected or cancelled.
        MessageBoxA(dialog, "Couldn't create directory", "Error", MB_OK | MB_ICONHAND);
        return;
    }
    uint32_t baseLength = StringLength(BrowsePath);
    if (TextUnits(BrowsePath) + TextUnits(typed.get()) <= LongestExtendedPath)
        CopyString(BrowsePath + baseLength, length + 1, typed.get());  // as typed, leading backslashes too
    EndDialog(dialog, IDOK);
}

static INT_PTR CALLBACK NewSubdirectoryDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        AppendBackslash(BrowsePath);
        CenterWindowByPosition(dialog);
        SetDlgItemTextA(dialog, IDC_NEWDIRBASE, BrowsePath);
        SetFocus(GetDlgItem(dialog, IDC_NEWDIRNAME));  // focus set by hand, hence FALSE below
    } else if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDOK)
            ConfirmNewSubdirectory(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
    }
    return FALSE;
}

INT_PTR RunNewSubdirectoryDialog(HWND owner)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), "DLGNEW", owner, NewSubdirectoryDlgProc, 0);
}

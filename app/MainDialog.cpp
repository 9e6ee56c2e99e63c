#include "app/AppState.h"
#include "archive/ArchivePass.h"
#include "archive/ExtractChoices.h"
#include "dialogs/CenterWindow.h"
#include "dialogs/DirectoryChooser.h"
#include "fsutil/PathString.h"
#include "resources/ResourceIds.h"

// Exit or closing the window while a pass runs is carried out when the pass
// has ended: destroying the dialog under a running pass would pull its list
// and status line away.
static bool DestroyAfterPass;

// The check boxes and radio buttons that steer a pass, as they stood when it
// started. The pass reads "Res&tore directories" for every member and its
// summary counts the selection, so clicks on these while it runs are undone.
static const int PassControls[] = {IDC_RESTOREDIRS, IDC_SELECTALL, IDC_UNSELECTALL};
static UINT PassControlStates[3];

static void RunPass(HWND window, bool listing)
{
    for (int i = 0; i < 3; ++i)
        PassControlStates[i] = IsDlgButtonChecked(window, PassControls[i]);
    RunArchivePass(window, listing);
    if (DestroyAfterPass)
        DestroyWindow(window);
}

static void SelectAllItems(HWND window, BOOL select)
{
    // The list would redraw once per item; with thousands of members that
    // takes seconds, so it is drawn once afterwards.
    HWND list = GetDlgItem(window, IDC_MEMBERLIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_SETSEL, select, -1);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

static void ShowCurrentDirectoryAsPath(HWND window)
{
    GetCurrentDirectoryA(ExtractPathSize, ExtractPath);
    SetDlgItemTextA(window, IDC_EXTRACTPATH, ExtractPath);
}

// The first activation: the path, the options and the list.
static void SetUpOnFirstActivation(HWND window)
{
    MainInitDone = 1;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(LoadIconA(instance, "MAINICON")));
    SetFocus(GetDlgItem(window, IDC_EXTRACTPATH));
    ShowCurrentDirectoryAsPath(window);
    SendDlgItemMessageA(window, IDC_EXTRACTPATH, EM_SETSEL, 0, 0x7FFF);
    CheckDlgButton(window, IDC_SELECTALL, BST_CHECKED);
    CheckDlgButton(window, IDC_CONFIRM, BST_CHECKED);
    OverwriteMode = OverwriteConfirm;
    CheckDlgButton(window, IDC_RESTOREDIRS, BST_CHECKED);
    RunPass(window, true);
    SelectAllItems(window, TRUE);
}

// The path field's first 255 units into ExtractPath; returns its length.
static uint32_t ReadPathField(HWND window)
{
    UINT length = GetDlgItemTextA(window, IDC_EXTRACTPATH, ExtractPath, ExtractPathSize);
    ExtractPath[length] = '\0';
    return CutToUnits(ExtractPath, MaxExtractPathUnits);
}

static void Extract(HWND window)
{
    if (ReadPathField(window) == 0)
        ShowCurrentDirectoryAsPath(window);
    if (IsDlgButtonChecked(window, IDC_OVERWRITE) == BST_CHECKED)
        OverwriteMode = OverwriteAlways;
    if (IsDlgButtonChecked(window, IDC_SKIP) == BST_CHECKED)
        OverwriteMode = OverwriteSkip;
    if (IsDlgButtonChecked(window, IDC_CONFIRM) == BST_CHECKED)
        OverwriteMode = OverwriteConfirm;
    RunPass(window, false);
}

static void ChooseDirectory(HWND window)
{
    ReadPathField(window);
    CopyString(BrowsePath, ExtractPathSize, ExtractPath);
    if (RunDirectoryChooser(window) == IDOK) {
        CopyString(ExtractPath, ExtractPathSize, BrowsePath);
        SetDlgItemTextA(window, IDC_EXTRACTPATH, ExtractPath);
    }
}

static void RestorePassControls(HWND window)
{
    for (int i = 0; i < 3; ++i)
        CheckDlgButton(window, PassControls[i], PassControlStates[i]);
}

static void RunCommand(HWND window, WORD id)
{
    // A pass dispatches messages; commands that would start another pass,
    // change what it reads, or open the chooser are ignored until it ends.
    bool busy = PassRunning;
    switch (id) {
    case IDOK:
        if (!busy)
            Extract(window);
        break;
    case IDCANCEL:
        if (busy)
            DestroyAfterPass = true;
        else
            DestroyWindow(window);
        break;
    case IDC_SELECTALL:
    case IDC_UNSELECTALL:
        if (busy) {
            RestorePassControls(window);
            break;
        }
        SelectAllItems(window, id == IDC_SELECTALL);
        SetDlgItemTextA(window, IDC_STATUS, "");
        break;
    case IDC_RESTOREDIRS:
        if (busy) {
            RestorePassControls(window);
            break;
        }
        RunPass(window, true);
        if (IsDlgButtonChecked(window, IDC_SELECTALL) == BST_CHECKED)
            SelectAllItems(window, TRUE);
        break;
    case IDC_OVERWRITE:
        OverwriteMode = OverwriteAlways;
        break;
    case IDC_SKIP:
        OverwriteMode = OverwriteSkip;
        break;
    case IDC_CONFIRM:
        OverwriteMode = OverwriteConfirm;
        break;
    case IDC_BROWSE:
        if (!busy)
            ChooseDirectory(window);
        break;
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CenterWindowByMove(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        if (!MainInitDone) {
            // The default processing puts the focus on the window itself, so the
            // set-up runs after it to leave the focus, and the selected text, in
            // the path field.
            LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            SetUpOnFirstActivation(window);
            return result;
        }
        break;
    case WM_INITDIALOG:
        return 0;
    case WM_COMMAND:
        RunCommand(window, LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        if (PassRunning) {
            DestroyAfterPass = true;
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

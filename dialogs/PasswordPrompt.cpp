#include "dialogs/Prompts.h"

#include "dialogs/CenterWindow.h"
#include "fsutil/MemberName.h"
#include "resources/ResourceIds.h"

#include <windows.h>

char PasswordText[PasswordTextSize];
uint32_t PasswordLength;

// The typed password into PasswordText as archivers take a typed password:
// its bytes in the system's ANSI code page (CP_ACP where that is the
// process's), at most MaxPasswordLength characters. Returns its length in bytes.
static uint32_t ReadPassword(HWND dialog)
{
    WCHAR typed[MaxPasswordLength + 1];
    GetDlgItemTextW(dialog, IDC_PASSWORD, typed, MaxPasswordLength + 1);
    int size = WideCharToMultiByte(SystemCodePage, 0, typed, -1, PasswordText, PasswordTextSize, nullptr, nullptr);
    return size > 0 ? size - 1 : 0;
}

static INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CenterWindowByMove(dialog);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));  // focus set by hand, hence FALSE below
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        PasswordLength = ReadPassword(dialog);
        PasswordText[PasswordLength] = '\0';
        EndDialog(dialog, IDOK);
    }
    return FALSE;  // IDCANCEL (Escape, close box) ignored on purpose: only "&Ok" leaves
}

void AskForPassword()
{
    DialogBoxParamA(GetModuleHandleA(nullptr), "PASSWORDDIALOG", nullptr, PasswordDlgProc, 0);
}

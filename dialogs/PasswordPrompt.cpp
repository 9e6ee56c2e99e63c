#include "archive/ExtractChoices.h"
#include "dialogs/CenterWindow.h"
#include "dialogs/Prompts.h"
#include "resources/ResourceIds.h"

#include <windows.h>

static INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CenterWindowByMove(dialog);
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD));  // focus set by hand, hence FALSE below
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        PasswordLength = GetDlgItemTextA(dialog, IDC_PASSWORD, PasswordText, PasswordTextSize);
        PasswordText[PasswordLength] = '\0';
        EndDialog(dialog, IDOK);
    }
    return FALSE;  // IDCANCEL (Escape, close box) ignored on purpose: only "&Ok" leaves
}

void AskForPassword()
{
    DialogBoxParamA(GetModuleHandleA(nullptr), "PASSWORDDIALOG", nullptr, PasswordDlgProc, 0);
}

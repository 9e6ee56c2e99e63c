#include "dialogs/Prompts.h"

#include "dialogs/CenterWindow.h"
#include "fsutil/PathString.h"
#include "resources/ResourceIds.h"

#include <windows.h>

uint8_t OverwriteMode;  // set by the main dialog as it starts
char ExistingName[MaxNamePartBytes + 1];
uint8_t OverwriteAnswer;

// The main dialog, whose radio buttons show OverwriteMode; set while the
// prompt is shown.
static HWND ModeButtonsDialog;

static const char QuestionTail[] = "...already exists, overwrite?";

// "Don't ask again" makes the answer the mode for the rest of the run, and the
// main dialog's radio buttons show it, since every Extract reads them again.
// The user may have clicked any of them while this prompt was open, so each
// of the three is set.
static void RememberAnswer(bool overwrite)
{
    OverwriteMode = overwrite ? OverwriteAlways : OverwriteSkip;
    static_assert(IDC_SKIP == IDC_OVERWRITE + 1 && IDC_CONFIRM == IDC_OVERWRITE + 2, "one group of three");
    int chosen = overwrite ? IDC_OVERWRITE : IDC_SKIP;
    for (int id = IDC_OVERWRITE; id <= IDC_CONFIRM; ++id)
        CheckDlgButton(ModeButtonsDialog, id, id == chosen ? BST_CHECKED : BST_UNCHECKED);
}

static INT_PTR CALLBACK FileExistDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        CenterWindowByMove(dialog);
        char question[sizeof ExistingName + sizeof QuestionTail];
        uint32_t length = CopyString(question, sizeof question, ExistingName);
        CopyString(question + length, sizeof question - length, QuestionTail);
        SetDlgItemTextA(dialog, IDC_EXISTQUESTION, question);
        return FALSE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    WORD id = LOWORD(wParam);
    if (id != IDOK && id != IDCANCEL)
        return FALSE;  // the check box is the dialog manager's
    bool overwrite = id == IDOK;
    if (IsDlgButtonChecked(dialog, IDC_DONTASKAGAIN) == BST_CHECKED)
        RememberAnswer(overwrite);
    // Set whatever the mode is now: the main dialog stays usable while this
    // prompt is open, so the mode may have changed under it, and a stale
    // answer would overwrite a file the user just declined.
    OverwriteAnswer = overwrite;
    EndDialog(dialog, id);
    return TRUE;
}

void ConfirmOverwrite(HWND mainDialog)
{
    ModeButtonsDialog = mainDialog;
    DialogBoxParamA(GetModuleHandleA(nullptr), "FileExist", nullptr, FileExistDlgProc, 0);
}

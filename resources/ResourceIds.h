#pragma once

// Control ids shared between the .rc file and the code.

// Main dialog "SEMAINDIALOGCLASS".
#define IDC_PATHLABEL 100
#define IDC_EXTRACTPATH 101
#define IDC_SELECTALL 121
#define IDC_UNSELECTALL 122
#define IDC_EXISTINGGROUP 201
#define IDC_SELECTIONGROUP 202
#define IDC_MEMBERLIST 301
#define IDC_RESTOREDIRS 401
#define IDC_OVERWRITE 501
#define IDC_SKIP 502
#define IDC_CONFIRM 503
#define IDC_STATUS 601
#define IDC_BROWSE 775

// Overwrite confirmation "FILEEXIST".
#define IDC_EXISTQUESTION 101
#define IDC_DONTASKAGAIN 401

// Password prompt "PASSWORDDIALOG".
#define IDC_PASSWORD 101

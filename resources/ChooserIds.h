#pragma once

// Control ids of the directory chooser "SETDIR" and the new-subdirectory dialog
// "DLGNEW", shared between ChooserDialogs.rc and the dialog procedures.

// "SETDIR"
#define IDC_CURRENTDIRLABEL 2000
#define IDC_LISTEDDIR 2001
#define IDC_NETWORK 2002
#define IDC_DIRLIST 2003
#define IDC_NEWDIR 2004

// "DLGNEW"
#define IDC_NEWDIRBASE 3001
#define IDC_NEWDIRNAME 3002

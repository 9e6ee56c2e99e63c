#include "dialogs/DirectoryChooser.h"

// Until the chooser exists, "..." does nothing.
INT_PTR RunDirectoryChooser(HWND)
{
    return IDCANCEL;
}

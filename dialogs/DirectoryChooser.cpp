#include "dialogs/DirectoryChooser.h"

#include "dialogs/CenterWindow.h"
#include "dialogs/NewSubdirectory.h"
#include "fsutil/FileSystem.h"
#include "fsutil/PathString.h"
#include "resources/ChooserIds.h"

#include <commctrl.h>
#include <shellapi.h>

char* BrowsePath;

int32_t SmallIconHeight;     // SM_CYSMICON, read when the chooser opens
HIMAGELIST SystemImageList;  // the shell's small-icon list; null until a query returns it

constexpr UINT ListingFlags = DDL_DIRECTORY | DDL_DRIVES | DDL_EXCLUSIVE;  // 0xC010: no files
// Byte counts hold paths and names of these many units in UTF-8, 3 bytes per unit at most.
constexpr WPARAM ListedPathLimit = 3 * 259;  // leaves room in BrowsePath for the backslash OK appends
constexpr WPARAM SelectedPathLimit = 3 * 256;
constexpr int ParentImage = 3;                 // the closed folder in the system image list
constexpr uint32_t LongestItemText = 3 * 257;  // a 255-unit name in brackets

// comctl32 and mpr are not imported: a DLL of that name beside the program (a
// download folder) would be loaded in place of the system's. Each is looked up
// once, on first use, in the system directory only; when that fails the feature
// is quietly absent (no icons, "&Network..." does nothing).
struct SystemProcedure {
    bool lookedUp;
    FARPROC address;  // null when the library or the export is missing
};

typedef BOOL(WINAPI* ImageListDrawProc)(HIMAGELIST, int, HDC, int, int, UINT);
typedef DWORD(WINAPI* NetConnectionDialogProc)(HWND, DWORD);

static SystemProcedure ImageListDraw;  // zeroed: takes no bytes of the image file
static SystemProcedure NetConnectionDialog;

static HMODULE LoadSystemLibrary(const char* name)
{
    HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module)
        return module;
    // Systems without the search flags refuse them; name the file in full instead.
    char path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    path[length++] = '\\';
    CopyString(path + length, sizeof path - length, name);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The export as a plain function pointer, to be cast to its real type; null when absent.
typedef void (*AnyProcedure)();
static AnyProcedure FindSystemProcedure(SystemProcedure& procedure, const char* library, const char* name)
{
    if (!procedure.lookedUp) {
        procedure.lookedUp = true;
        HMODULE module = LoadSystemLibrary(library);
        if (module)
            procedure.address = GetProcAddress(module, name);
    }
    return reinterpret_cast<AnyProcedure>(procedure.address);
}

static void ReadListedDirectory(HWND dialog)
{
    HWND listed = GetDlgItem(dialog, IDC_LISTEDDIR);
    SendMessageA(listed, WM_GETTEXT, ListedPathLimit, reinterpret_cast<LPARAM>(BrowsePath));
    SendMessageA(listed, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(BrowsePath));
}

// The current directory into BrowsePath; empty when it is longer than 255
// units, and an empty path lists the current directory all the same.
static void TakeCurrentDirectory()
{
    DWORD length = GetCurrentDirectoryA(ExtractPathSize, BrowsePath);
    if (length == 0 || length >= ExtractPathSize || TextUnits(BrowsePath) > MaxExtractPathUnits)
        BrowsePath[0] = '\0';
}

// Lists BrowsePath (a directory, or a path relative to the directory listed
// before) and makes it the current directory. A listing that fails leaves the
// list and static 2001 as they were, so BrowsePath, read back from the static,
// names the directory still shown. Only when nothing has been listed yet (an
// extract path that names a file, say) does the current directory stand in.
static void FillDirectoryList(HWND dialog)
{
    if (!DlgDirListA(dialog, BrowsePath, IDC_DIRLIST, IDC_LISTEDDIR, ListingFlags) &&
        SendDlgItemMessageA(dialog, IDC_LISTEDDIR, WM_GETTEXTLENGTH, 0, 0) == 0) {
        TakeCurrentDirectory();
        DlgDirListA(dialog, BrowsePath, IDC_DIRLIST, IDC_LISTEDDIR, ListingFlags);
    }
    ReadListedDirectory(dialog);

    HWND list = GetDlgItem(dialog, IDC_DIRLIST);
    // The list sorts its items; the parent goes back to the top by hand.
    LRESULT parent =
        SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("[..]"));
    if (parent != LB_ERR) {
        SendMessageA(list, LB_DELETESTRING, parent, 0);
        SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
    }
    SetFocus(list);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
}

// One entry of list 2003: its shell icon and display name. The highlight marks
// the current item only while the list has the focus (ODS_FOCUS, not
// ODS_SELECTED); the list is repainted whenever it gains or loses the focus.
static void DrawDirectoryItem(const DRAWITEMSTRUCT& item)
{
    if (item.CtlID != IDC_DIRLIST || item.itemID == static_cast<UINT>(-1))
        return;
    char text[LongestItemText + 1];
    LRESULT length = SendMessageA(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0);
    if (length < 2 || length > static_cast<LRESULT>(LongestItemText))
        return;  // every listed entry is a name in brackets
    SendMessageA(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text));
    text[length - 1] = '\0';
    char* name = text + 1;
    uint32_t nameLength = static_cast<uint32_t>(length) - 2;

    bool focused = item.itemState & ODS_FOCUS;
    HDC dc = item.hDC;
    SetTextColor(dc, GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    FillRect(dc, &item.rcItem, reinterpret_cast<HBRUSH>((focused ? COLOR_HIGHLIGHT : COLOR_WINDOW) + 1));

    int indent = 0;
    int image = -1;  // none
    const char* label = name;
    SHFILEINFOA info;
    if (nameLength == 3 && name[0] == '-' && name[2] == '-') {
        name[0] = name[1];  // [-c-] is the root c:\ (and the shell's name for it)
        name[1] = ':';
        name[2] = '\\';
    } else if (nameLength == 2 && name[0] == '.' && name[1] == '.') {
        image = ParentImage;
    } else {
        indent = SmallIconHeight / 2;  // a subdirectory, relative to the listed (current) directory
    }
    if (image < 0) {
        HIMAGELIST icons = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoA(name, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_DISPLAYNAME));
        if (icons) {
            SystemImageList = icons;
            image = info.iIcon;
            CutToUnits(info.szDisplayName, MaxNamePart);
            label = info.szDisplayName;
        } else {
            label = text + 1;  // the bare name, and no icon
            if (nameLength == 3 && name[1] == ':')
                name[2] = '\0';  // a drive shows as c:
        }
    }
    auto draw =
        reinterpret_cast<ImageListDrawProc>(FindSystemProcedure(ImageListDraw, "comctl32.dll", "ImageList_Draw"));
    if (image >= 0 && SystemImageList && draw)
        draw(SystemImageList, image, dc, item.rcItem.left + indent + 3, item.rcItem.top + 1, ILD_TRANSPARENT);
    // GDI reads ANSI text in the system's code page, not the process's: the
    // label is drawn from its UTF-16 form.
    WCHAR wide[MAX_PATH];
    int units = MultiByteToWideChar(CP_ACP, 0, label, -1, wide, MAX_PATH);
    TextOutW(dc, item.rcItem.left + SmallIconHeight + indent + 8, item.rcItem.top + 2, wide,
             units > 0 ? units - 1 : 0);
}

// Fetches the system image list before any entry is drawn: the parent entry
// draws from it without a query of its own. No file is touched.
static void FindSystemImageList()
{
    SHFILEINFOA info;
    DWORD_PTR icons = SHGetFileInfoA("folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    if (icons)
        SystemImageList = reinterpret_cast<HIMAGELIST>(icons);
}

static void OpenDirectoryChooser(HWND dialog)
{
    AppendBackslash(BrowsePath);
    if (!PathExists(BrowsePath))
        TakeCurrentDirectory();
    SmallIconHeight = GetSystemMetrics(SM_CYSMICON);
    SendDlgItemMessageA(dialog, IDC_DIRLIST, LB_SETITEMHEIGHT, 0, SmallIconHeight + 2);
    FindSystemImageList();
    CenterWindowByPosition(dialog);
    FillDirectoryList(dialog);
}

static void RunChooserCommand(HWND dialog, WORD id, WORD code)
{
    switch (id) {
    case IDC_DIRLIST:
        if (code == LBN_DBLCLK) {
            // The entry as a path relative to the listed directory: "name\", "..\" or "c:".
            DlgDirSelectExA(dialog, BrowsePath, SelectedPathLimit, IDC_DIRLIST);
            AppendBackslash(BrowsePath);
            FillDirectoryList(dialog);
        } else if (code == LBN_SETFOCUS || code == LBN_KILLFOCUS) {
            InvalidateRect(GetDlgItem(dialog, IDC_DIRLIST), nullptr, TRUE);
        }
        break;
    case IDC_NEWDIR:
        if (RunNewSubdirectoryDialog(dialog) == IDOK)
            FillDirectoryList(dialog);
        break;
    case IDC_NETWORK: {
        auto connect = reinterpret_cast<NetConnectionDialogProc>(
            FindSystemProcedure(NetConnectionDialog, "mpr.dll", "WNetConnectionDialog"));
        if (connect && connect(dialog, RESOURCETYPE_DISK) == NO_ERROR)
            FillDirectoryList(dialog);  // lists the new drive
        break;
    }
    }
}

static INT_PTR CALLBACK DirectoryChooserDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        OpenDirectoryChooser(dialog);  // the focus is on the list already
    } else if (message == WM_DRAWITEM) {
        DrawDirectoryItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    } else if (message == WM_COMMAND) {
        WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            // OK takes the listed directory, not the highlighted entry.
            if (id == IDOK)
                AppendBackslash(BrowsePath);
            EndDialog(dialog, id);
            return TRUE;
        }
        RunChooserCommand(dialog, id, HIWORD(wParam));
    }
    return FALSE;
}

// Every listing makes its directory the current directory, and the chooser
// leaves it so, whether it ends by OK or by Cancel.
INT_PTR RunDirectoryChooser(HWND owner)
{
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "SETDIR", owner, DirectoryChooserDlgProc, 0);
    if (result == IDOK && TextUnits(BrowsePath) > MaxExtractPathUnits)
        return IDCANCEL;  // the extract path holds 255 characters; a cut path would name another directory
    return result;
}

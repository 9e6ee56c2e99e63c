// The directory chooser "SETDIR" and the new-subdirectory dialog "DLGNEW",
// opened from the real stub's "..." button and driven like a user would, on
// real directory trees under the Wine prefix's temporary folder. What counts is
// what the user sees afterwards: the main dialog's path field and the
// directories on disk.
//
// A double-click is the list's LBN_DBLCLK notification, sent (not posted) to
// the chooser after LB_SETCURSEL: a listing opens no window, so the send
// returns once the new directory is listed, with nothing to wait for.
#include "resources/ChooserIds.h"
#include "resources/ResourceIds.h"
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

using namespace e2e;

namespace {

const char* const Fixture = "chooser-one-file.exe";
const char* const ChooserCaption = "Select extract directory";
const char* const NewCaption = "Create subdirectory";
const char* const RefusedText = "Couldn't create directory";

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Paths as Windows compares them: the listing routine may change the case.
::testing::AssertionResult SamePath(const std::string& a, const std::string& b)
{
    if (Lower(a) == Lower(b))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "[" << a << "] is not [" << b << "]";
}

bool IsDirectoryOnDisk(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectories(const std::string& root, const std::vector<std::string>& relatives)
{
    for (const std::string& relative : relatives)
        if (!CreateDirectoryA((root + "\\" + relative).c_str(), nullptr))
            return false;
    return true;
}

// The names in a directory, sorted, without "." and "..".
std::vector<std::string> DirectoryEntries(const std::string& path)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE finder = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (finder == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(finder, &entry));
    FindClose(finder);
    std::sort(names.begin(), names.end());
    return names;
}

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, TimeoutMs(DefaultTimeoutMs),
                             &result))
        ADD_FAILURE() << "message " << message << " got no answer";
    return static_cast<LRESULT>(result);
}

// The open chooser, read and driven from outside its process.
class Chooser {
public:
    explicit Chooser(HWND window) : window(window) {}
    HWND Window() const { return window; }
    HWND List() const { return GetDlgItem(window, IDC_DIRLIST); }
    std::string Listed() const { return WindowText(GetDlgItem(window, IDC_LISTEDDIR)); }

    std::vector<std::string> Items() const
    {
        std::vector<std::string> items;
        LRESULT count = SendTo(List(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            // Wide: Wine hands an owner-drawn list's strings to another
            // process's ANSI caller without converting them.
            wchar_t text[300] = L"";
            SendMessageTimeoutW(List(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                TimeoutMs(DefaultTimeoutMs), nullptr);
            char narrow[600] = "";
            WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
            items.push_back(narrow);
        }
        return items;
    }

    int IndexOf(const std::string& item) const
    {
        std::vector<std::string> items = Items();
        for (size_t i = 0; i < items.size(); ++i)
            if (Lower(items[i]) == Lower(item))
                return static_cast<int>(i);
        return -1;
    }

    // Selects the entry and double-clicks it; false when it is not listed.
    bool DoubleClick(const std::string& item) const
    {
        int index = IndexOf(item);
        if (index < 0)
            return false;
        SendTo(List(), LB_SETCURSEL, index, 0);
        SendTo(window, WM_COMMAND, MAKEWPARAM(IDC_DIRLIST, LBN_DBLCLK), reinterpret_cast<LPARAM>(List()));
        return true;
    }

private:
    HWND window;
};

// One stub with the main dialog up, and a directory tree of the test's own.
class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeDirectories(tree.Path(), {"Data", "Data\\Alpha", "Data\\Beta", "Start"}));
        ASSERT_TRUE(WriteWholeFile(tree.File("Data\\file.txt"), "not a directory"));
        data = tree.File("Data");
    }

    void Start(const std::string& currentDirectory = "")
    {
        ASSERT_TRUE(session.Launch(currentDirectory));
        ASSERT_TRUE(session.WaitForMainWindow());
    }

    // "..." with `path` typed into the path field first.
    Chooser Open(const std::string& path)
    {
        EXPECT_TRUE(session.SetControlText(IDC_EXTRACTPATH, path));
        EXPECT_TRUE(session.Click(IDC_BROWSE));
        HWND window = session.WaitForDialog(ChooserCaption);
        EXPECT_TRUE(window) << session.Describe();
        return Chooser(window);
    }

    // Waits until `dialog` is destroyed, then for `owner` to answer a message:
    // the owner's code after the modal loop (the main dialog copying the
    // path, the chooser listing a new directory) has run by then, since a
    // message from another thread is only taken between messages.
    void Settle(HWND dialog, HWND owner)
    {
        for (DWORD waited = 0; IsWindow(dialog) && waited < TimeoutMs(DefaultTimeoutMs); waited += 20)
            Sleep(20);
        EXPECT_FALSE(IsWindow(dialog)) << session.Describe();
        SendTo(owner, WM_NULL, 0, 0);
    }

    void Close(const Chooser& chooser, int buttonId)
    {
        EXPECT_TRUE(PostClick(GetDlgItem(chooser.Window(), buttonId)));
        Settle(chooser.Window(), session.MainWindow());
    }

    // "New..." with `name` typed in; the new-subdirectory dialog is left to the caller.
    HWND TypeNewName(const Chooser& chooser, const std::string& name)
    {
        EXPECT_TRUE(PostClick(GetDlgItem(chooser.Window(), IDC_NEWDIR)));
        HWND dialog = session.WaitForDialog(NewCaption);
        if (dialog)
            EXPECT_TRUE(SetText(GetDlgItem(dialog, IDC_NEWDIRNAME), name));
        return dialog;
    }

    // "New..." and OK; true when the dialog closed as a success.
    bool CreateNew(const Chooser& chooser, const std::string& name)
    {
        HWND dialog = TypeNewName(chooser, name);
        if (!dialog || !PostClick(GetDlgItem(dialog, IDOK)))
            return false;
        Settle(dialog, chooser.Window());
        return !IsWindow(dialog);
    }

    // "New..." and OK where the name must be refused: the message, then the
    // dialog still open with the text, then Cancel.
    void ExpectRefused(const Chooser& chooser, const std::string& name)
    {
        SCOPED_TRACE("name " + name);
        HWND dialog = TypeNewName(chooser, name);
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(PostClick(GetDlgItem(dialog, IDOK)));
        HWND box = session.WaitForDialog("Error");
        ASSERT_TRUE(box);
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        EXPECT_EQ(WindowText(GetDlgItem(box, MessageBoxTextId)), RefusedText);
        EXPECT_TRUE(session.DismissMessageBox("Error"));
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_NEWDIRNAME)), name);
        EXPECT_TRUE(PostClick(GetDlgItem(dialog, IDCANCEL)));
        EXPECT_TRUE(session.WaitForWindowGone(dialog));
    }

    TemporaryDirectory tree;
    std::string data;  // tree\Data: Alpha, Beta and file.txt
    SfxSession session{Fixture};
};

TEST_F(ChooserTest, ListsTheParentFirstAndReturnsTheListedDirectory)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    EXPECT_TRUE(SamePath(chooser.Listed(), data)) << chooser.Listed();
    std::vector<std::string> items = chooser.Items();
    ASSERT_GE(items.size(), 4u);
    // The parent is moved to the top, whatever the sorted order says.
    EXPECT_EQ(items[0], "[..]");
    EXPECT_GT(chooser.IndexOf("[-c-]"), 0);
    EXPECT_GT(chooser.IndexOf("[Alpha]"), 0);
    EXPECT_GT(chooser.IndexOf("[Beta]"), 0);
    EXPECT_EQ(chooser.IndexOf("file.txt"), -1) << "files are not listed";
    EXPECT_EQ(chooser.IndexOf("[file.txt]"), -1) << "files are not listed";
    // The rest in the list's own order (the system's case-blind comparison).
    EXPECT_TRUE(std::is_sorted(items.begin() + 1, items.end(), [](const std::string& a, const std::string& b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    }));
    EXPECT_EQ(SendTo(chooser.List(), LB_GETCURSEL, 0, 0), 0);

    // OK hands back the listed directory, not the highlighted entry.
    SendTo(chooser.List(), LB_SETCURSEL, chooser.IndexOf("[Alpha]"), 0);
    Close(chooser, IDOK);
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), data + "\\"))
        << session.ControlText(IDC_EXTRACTPATH);

    // Enter does the same as OK, and a path given with its backslash opens as well.
    chooser = Open(data + "\\Beta\\");
    ASSERT_TRUE(chooser.Window());
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\Beta")) << chooser.Listed();
    EXPECT_TRUE(session.PressKey(VK_RETURN));
    Settle(chooser.Window(), session.MainWindow());
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), data + "\\Beta\\"));
    session.Close();
    EXPECT_EQ(session.WaitForExit(), 0u);
}

// The screen's pixel at a point of the list's client area. Wine copies what a
// window drew to the screen on its own schedule, so a pixel is read until it
// shows `expected` or the wait runs out; the last colour read is returned.
COLORREF ListPixel(HWND list, int x, int y, COLORREF expected = CLR_INVALID)
{
    POINT point = {x, y};
    ClientToScreen(list, &point);
    COLORREF colour = CLR_INVALID;
    for (DWORD waited = 0; waited < TimeoutMs(DefaultTimeoutMs); waited += 50) {
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC screen = GetDC(nullptr);
        colour = GetPixel(screen, point.x, point.y);
        ReleaseDC(nullptr, screen);
        if (expected == CLR_INVALID || colour == expected)
            break;
        Sleep(50);
    }
    return colour;
}

// Pixels of the list's item `index` that differ from the window colour, in
// the icon's square: x from `left`, y from the item's top + 1. Read until at
// least `wanted` show, or the wait runs out.
int IconPixels(HWND list, int index, int left, int wanted)
{
    int iconSize = GetSystemMetrics(SM_CYSMICON);
    POINT origin = {left, index * (iconSize + 2) + 1};
    ClientToScreen(list, &origin);
    int drawn = 0;
    for (DWORD waited = 0; waited < TimeoutMs(DefaultTimeoutMs) && drawn < wanted; waited += 50) {
        HDC screen = GetDC(nullptr);
        drawn = 0;
        for (int y = 0; y < iconSize; ++y)
            for (int x = 0; x < iconSize; ++x)
                drawn += GetPixel(screen, origin.x + x, origin.y + y) != GetSysColor(COLOR_WINDOW);
        ReleaseDC(nullptr, screen);
        if (drawn < wanted)
            Sleep(50);
    }
    return drawn;
}

// Waits until the keyboard focus of the window's thread is on another window.
bool WaitForFocusElsewhere(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    for (DWORD waited = 0; waited < TimeoutMs(DefaultTimeoutMs); waited += 20) {
        if (GetGUIThreadInfo(thread, &info) && info.hwndFocus && info.hwndFocus != window)
            return true;
        Sleep(20);
    }
    return false;
}

TEST_F(ChooserTest, DrawsIconsAndHighlightsOnlyWhileTheListHasTheFocus)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    HWND list = chooser.List();
    int iconSize = GetSystemMetrics(SM_CYSMICON);
    RECT client;
    ASSERT_TRUE(GetClientRect(list, &client));
    // Right of any label, in the first item (the parent, highlighted).
    const int x = client.right - 4;
    const int y = iconSize / 2;
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(ListPixel(list, x, y, highlight), highlight);
    EXPECT_EQ(ListPixel(list, x, y + iconSize + 2, window), window) << "the second item is not highlighted";

    // A subdirectory's icon, indented by half an icon; nothing drawn left of it.
    int alpha = chooser.IndexOf("[Alpha]");
    ASSERT_GT(alpha, 0);
    const int quarterOfTheSquare = iconSize * iconSize / 4;
    EXPECT_GE(IconPixels(list, alpha, iconSize / 2 + 3, quarterOfTheSquare), quarterOfTheSquare);
    EXPECT_EQ(ListPixel(list, 1, alpha * (iconSize + 2) + iconSize / 2, window), window);

    // Tab moves the focus to OK and the highlight goes; the next listing
    // gives the list the focus back. The posted keys are waited for: a sent
    // message would overtake them.
    EXPECT_TRUE(session.PressKey(VK_TAB));
    ASSERT_TRUE(WaitForFocusElsewhere(list));
    EXPECT_EQ(ListPixel(list, x, y, window), window);
    ASSERT_TRUE(chooser.DoubleClick("[Beta]"));
    EXPECT_EQ(ListPixel(list, x, y, highlight), highlight);
    Close(chooser, IDCANCEL);
}

TEST_F(ChooserTest, DoubleClickEntersSubdirectoriesTheParentAndDrives)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    ASSERT_TRUE(chooser.DoubleClick("[Alpha]"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\Alpha")) << chooser.Listed();
    EXPECT_EQ(chooser.Items()[0], "[..]");
    EXPECT_EQ(chooser.IndexOf("[Alpha]"), -1);

    ASSERT_TRUE(chooser.DoubleClick("[..]"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data)) << chooser.Listed();
    ASSERT_TRUE(chooser.DoubleClick("[..]"));
    EXPECT_TRUE(SamePath(chooser.Listed(), tree.Path())) << chooser.Listed();
    EXPECT_GT(chooser.IndexOf("[Data]"), 0);

    // A drive lists its root, which has no parent entry; OK gives the root with its backslash.
    ASSERT_TRUE(chooser.DoubleClick("[-c-]"));
    EXPECT_TRUE(SamePath(chooser.Listed(), "c:\\")) << chooser.Listed();
    EXPECT_EQ(chooser.IndexOf("[..]"), -1);
    EXPECT_GT(chooser.IndexOf("[windows]"), -1);
    Close(chooser, IDOK);
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), "c:\\")) << session.ControlText(IDC_EXTRACTPATH);
}

TEST_F(ChooserTest, CancelLeavesThePathFieldAsItWas)
{
    Start();
    const std::string typed = data + "\\Alpha";
    Chooser chooser = Open(typed);
    ASSERT_TRUE(chooser.Window());
    ASSERT_TRUE(chooser.DoubleClick("[..]"));
    ASSERT_TRUE(chooser.DoubleClick("[Beta]"));
    Close(chooser, IDCANCEL);
    EXPECT_EQ(session.ControlText(IDC_EXTRACTPATH), typed);

    // Escape is Cancel too.
    chooser = Open(typed);
    ASSERT_TRUE(chooser.Window());
    ASSERT_TRUE(chooser.DoubleClick("[..]"));
    EXPECT_TRUE(session.PressKey(VK_ESCAPE));
    Settle(chooser.Window(), session.MainWindow());
    EXPECT_EQ(session.ControlText(IDC_EXTRACTPATH), typed);
    EXPECT_TRUE(session.IsEnabled(IDC_EXTRACTPATH)) << "the main dialog is enabled again";
}

TEST_F(ChooserTest, OpensOnTheCurrentDirectoryWhenThePathNamesNoDirectory)
{
    const std::string start = tree.File("Start");
    Start(start);
    // A path that is missing, an empty field, and a path that names a file.
    for (const std::string& path : {tree.File("Gone\\Deeper"), std::string(), data + "\\file.txt"}) {
        SCOPED_TRACE("path field [" + path + "]");
        Chooser chooser = Open(path);
        ASSERT_TRUE(chooser.Window());
        EXPECT_TRUE(SamePath(chooser.Listed(), start)) << chooser.Listed();
        EXPECT_GT(chooser.IndexOf("[-c-]"), 0) << "the list is filled";
        Close(chooser, IDCANCEL);
        EXPECT_EQ(session.ControlText(IDC_EXTRACTPATH), path);
    }

    // Each listing makes its directory current, and closing keeps it so: the
    // next chooser on a missing path opens where the last one ended.
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    ASSERT_TRUE(chooser.DoubleClick("[Beta]"));
    Close(chooser, IDCANCEL);
    chooser = Open(tree.File("Gone"));
    ASSERT_TRUE(chooser.Window());
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\Beta")) << chooser.Listed();
    Close(chooser, IDCANCEL);
}

TEST_F(ChooserTest, AListingThatFailsKeepsTheDialogUsable)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    ASSERT_TRUE(IsDirectoryOnDisk(data + "\\Alpha"));
    ASSERT_TRUE(RemoveDirectoryA((data + "\\Alpha").c_str()));
    ASSERT_TRUE(chooser.DoubleClick("[Alpha]"));  // listed before it went away
    EXPECT_TRUE(SamePath(chooser.Listed(), data)) << chooser.Listed();
    ASSERT_TRUE(chooser.DoubleClick("[Beta]"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\Beta")) << chooser.Listed();
    Close(chooser, IDOK);
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), data + "\\Beta\\"));
}

TEST_F(ChooserTest, NewCreatesEveryLevelAndEntersIt)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());

    HWND dialog = TypeNewName(chooser, "");
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(SamePath(WindowText(GetDlgItem(dialog, IDC_NEWDIRBASE)), data + "\\"));
    EXPECT_TRUE(PostClick(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_TRUE(session.WaitForWindowGone(dialog));

    ASSERT_TRUE(CreateNew(chooser, "A\\B\\C"));
    EXPECT_TRUE(IsDirectoryOnDisk(data + "\\A\\B\\C"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\A\\B\\C")) << chooser.Listed();

    ASSERT_TRUE(CreateNew(chooser, "..\\Sibling"));
    EXPECT_TRUE(IsDirectoryOnDisk(data + "\\A\\B\\Sibling"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\A\\B\\Sibling")) << chooser.Listed();

    // A directory that exists already is entered; one leading backslash is dropped.
    ASSERT_TRUE(CreateNew(chooser, "..\\C"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\A\\B\\C")) << chooser.Listed();
    ASSERT_TRUE(CreateNew(chooser, "\\Leaf"));
    EXPECT_TRUE(IsDirectoryOnDisk(data + "\\A\\B\\C\\Leaf"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\A\\B\\C\\Leaf")) << chooser.Listed();

    Close(chooser, IDOK);
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), data + "\\A\\B\\C\\Leaf\\"));
    EXPECT_EQ(DirectoryEntries(data + "\\A\\B"), (std::vector<std::string>{"C", "Sibling"}));
}

TEST_F(ChooserTest, NewRefusesNamesItCannotCreate)
{
    ASSERT_TRUE(MakeDirectories(data, {"xa"}));
    const std::vector<std::string> before = DirectoryEntries(data);
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());

    ExpectRefused(chooser, "D:\\X");     // a colon: another drive, or a stream
    ExpectRefused(chooser, "\\\\\\");    // nothing but backslashes
    ExpectRefused(chooser, "bad|name");  // Windows refuses the name
    ExpectRefused(chooser, "x*");        // a wildcard that matches the sibling xa
    ExpectRefused(chooser, "file.txt");  // a plain file of that name

    // An empty name does nothing at all: OK answers without a message box.
    HWND dialog = TypeNewName(chooser, "");
    ASSERT_TRUE(dialog);
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0, SMTO_ABORTIFHUNG,
                                    TimeoutMs(DefaultTimeoutMs), &ignored))
        << "OK on an empty name showed something";
    EXPECT_FALSE(session.FindDialog("Error"));
    EXPECT_TRUE(IsWindowVisible(dialog));
    // Cancel after typing creates nothing either.
    EXPECT_TRUE(SetText(GetDlgItem(dialog, IDC_NEWDIRNAME), "Typed"));
    EXPECT_TRUE(PostClick(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_TRUE(session.WaitForWindowGone(dialog));

    EXPECT_TRUE(SamePath(chooser.Listed(), data)) << chooser.Listed();
    EXPECT_EQ(DirectoryEntries(data), before);
    Close(chooser, IDCANCEL);
}

// BrowsePath holds the base plus the typed text only up to 254 characters;
// beyond that the new directory is still made and entered, and the chooser
// lists the base. Leading backslashes count as typed but are not created,
// which gives long texts with short paths.
TEST_F(ChooserTest, NewKeepsTheBaseWhenTheTypedTextWouldNotFit)
{
    Start();
    Chooser chooser = Open(data);
    ASSERT_TRUE(chooser.Window());
    const std::string base = chooser.Listed() + "\\";
    ASSERT_LT(base.size(), 200u);

    std::string fits = std::string(254 - base.size() - 4, '\\') + "Near";
    ASSERT_TRUE(CreateNew(chooser, fits));
    EXPECT_TRUE(IsDirectoryOnDisk(data + "\\Near"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data + "\\Near")) << chooser.Listed();

    ASSERT_TRUE(chooser.DoubleClick("[..]"));
    std::string tooLong = std::string(255 - base.size() - 3, '\\') + "Far";
    ASSERT_TRUE(CreateNew(chooser, tooLong));
    EXPECT_TRUE(IsDirectoryOnDisk(data + "\\Far"));
    EXPECT_TRUE(SamePath(chooser.Listed(), data)) << chooser.Listed();
    EXPECT_GT(chooser.IndexOf("[Far]"), 0);
    Close(chooser, IDOK);
    EXPECT_TRUE(SamePath(session.ControlText(IDC_EXTRACTPATH), data + "\\"));
}

}  // namespace

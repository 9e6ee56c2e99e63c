// Start-up and shutdown of the real stub under Wine: the refusals before any
// window exists, the main dialog as its template builds it, and the ways the
// run ends. Fixtures: fixtures/startup.py.
//
// The main dialog's first activation fills the list and puts the current
// directory into the path field; these tests hold with or without that set-up
// (they never look at the path field's text, the list's items or the checks).

#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

using e2e::SfxSession;

namespace {

const char* const MainClass = "SeMainDialogClass";
const char* const NoArchiveCaption = "Zelvix SFX - www.zelvix.example";

int CountWindowsOfClass(const SfxSession& session, const char* className)
{
    int count = 0;
    for (HWND window : session.TopLevelWindows())
        if (lstrcmpiA(e2e::WindowClass(window).c_str(), className) == 0)
            ++count;
    return count;
}

// A message box of flags 0: no owner, and OK as its only visible button.
void ExpectPlainMessageBox(HWND box)
{
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    HWND ok = GetDlgItem(box, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(IsWindowVisible(ok));
    for (int other : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, other);
        EXPECT_TRUE(button == nullptr || !IsWindowVisible(button)) << "button " << other;
    }
}

// One control of the template "SEMAINDIALOGCLASS", as the resource gives it.
struct TemplateControl {
    int id;
    const char* className;
    DWORD style;
    int x, y, width, height;  // dialog units
    const char* text;         // nullptr: not fixed by the template (set at run time)
};

const TemplateControl MainControls[] = {
    {101, "Edit", 0x50810000, 60, 9, 177, 12, nullptr},
    {401, "Button", 0x50010003, 59, 22, 198, 12, "Res&tore directories"},
    {301, "ListBox", 0x50B1008B, 7, 38, 265, 74, nullptr},
    {201, "Button", 0x50000007, 7, 108, 122, 53, "Existing File(s)"},
    {503, "Button", 0x50010009, 13, 120, 113, 10, "&Confirm before overwriting"},
    {501, "Button", 0x50010009, 13, 133, 113, 10, "&Overwrite (don't ask)"},
    {502, "Button", 0x50010009, 13, 146, 112, 10, "&Skip (don't extract)"},
    {202, "Button", 0x50020027, 134, 108, 138, 25, "File Selection"},
    {121, "Button", 0x50010009, 142, 120, 60, 9, "Select &All"},
    {122, "Button", 0x50010009, 203, 120, 63, 9, "&Unselect All"},
    {1, "Button", 0x50010000, 173, 144, 47, 15, "&Extract"},
    {2, "Button", 0x50010000, 224, 144, 47, 15, "E&xit"},
    {100, "Static", 0x50020000, 6, 12, 51, 8, "Extract &Path:"},
    {601, "Edit", 0x50810800, 1, 164, 278, 12, nullptr},
    {775, "Button", 0x50010000, 239, 9, 13, 13, "..."},
};

// Style bits that the system itself changes after creation, so that a
// control's live style differs from its template:
// - an edit or list box with WS_BORDER loses it and draws the 3-D client
//   edge (WS_EX_CLIENTEDGE) instead;
// - a list box without LBS_DISABLENOSCROLL shows its scroll bars, and sets
//   WS_VSCROLL and WS_HSCROLL, only while its content needs them;
// - BM_SETCHECK on a radio button gives WS_TABSTOP to the checked button and
//   takes it from the unchecked one, so that Tab reaches a group at its
//   choice.
DWORD StyleBitsTheSystemChanges(const TemplateControl& control)
{
    DWORD bits = 0;
    if (std::strcmp(control.className, "Edit") == 0 || std::strcmp(control.className, "ListBox") == 0)
        bits |= WS_BORDER;
    if (std::strcmp(control.className, "ListBox") == 0)
        bits |= WS_VSCROLL | WS_HSCROLL;
    if (std::strcmp(control.className, "Button") == 0 && (control.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
        bits |= WS_TABSTOP;
    return bits;
}

void ExpectTemplateControl(const SfxSession& session, const TemplateControl& control)
{
    SCOPED_TRACE("control " + std::to_string(control.id));
    HWND window = session.Control(control.id);
    ASSERT_NE(window, nullptr);
    EXPECT_STRCASEEQ(session.ControlClass(control.id).c_str(), control.className);

    DWORD changing = StyleBitsTheSystemChanges(control);
    DWORD style = session.ControlStyle(control.id);
    EXPECT_EQ(style & ~changing, control.style & ~changing) << std::hex << "live style 0x" << style;
    if (control.style & changing & WS_BORDER)
        EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) << "the border became a client edge";
    if (changing & WS_TABSTOP && session.IsChecked(control.id))
        EXPECT_TRUE(style & WS_TABSTOP) << "a checked radio button keeps its tab stop";

    if (control.text)
        EXPECT_EQ(session.ControlText(control.id), control.text);

    // The dialog manager converts position and size separately, so the
    // expected pixels are converted the same way.
    RECT live = session.ControlRect(control.id);
    RECT expected = SfxSession::DialogUnitsToPixels(control.x, control.y, control.width, control.height);
    EXPECT_EQ(live.left, expected.left);
    EXPECT_EQ(live.top, expected.top);
    EXPECT_EQ(live.right - live.left, expected.right - expected.left);
    if (control.id == 301) {
        // Without LBS_NOINTEGRALHEIGHT the list shows whole items only: its
        // height is cut to the last full item.
        LRESULT itemHeight = SendMessageA(window, LB_GETITEMHEIGHT, 0, 0);
        EXPECT_LE(live.bottom - live.top, expected.bottom - expected.top);
        EXPECT_GT(live.bottom - live.top, expected.bottom - expected.top - itemHeight);
    } else {
        EXPECT_EQ(live.bottom - live.top, expected.bottom - expected.top);
    }
}

}  // namespace

TEST(Startup, StubAloneSaysThereIsNoArchiveAndEndsWithoutAWindow)
{
    SfxSession session("startup-stub-only.exe");
    ASSERT_TRUE(session.Launch());
    EXPECT_EQ(session.WaitForMessageBox(NoArchiveCaption), "Couldn't find archive.");
    ExpectPlainMessageBox(session.FindDialog(NoArchiveCaption));
    EXPECT_EQ(CountWindowsOfClass(session, MainClass), 0);
    EXPECT_TRUE(session.DismissMessageBox(NoArchiveCaption));
    EXPECT_EQ(session.WaitForExit(), 0u);
}

TEST(Startup, OneByteAfterTheStubOpensTheMainDialogFromItsTemplate)
{
    SfxSession session("startup-one-byte.exe");
    ASSERT_TRUE(session.Launch());
    HWND main = session.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CountWindowsOfClass(session, MainClass), 1);
    EXPECT_EQ(session.FindDialog(NoArchiveCaption), nullptr);

    char caption[64] = "";
    GetWindowTextA(main, caption, sizeof caption);
    EXPECT_STREQ(caption, "Zelvix SFX");
    // The template's 0x90CA0840; a top-level window always clips its
    // siblings, and the dialog manager adds the 3-D look to every dialog.
    DWORD style = e2e::WindowStyle(main);
    EXPECT_EQ(style & ~(WS_CLIPSIBLINGS | DS_3DLOOK), 0x90CA0840u) << std::hex << style;
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
    EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr);

    RECT client = {};
    GetClientRect(main, &client);
    RECT expected = SfxSession::DialogUnitsToPixels(0, 0, 280, 177);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);

    int count = 0;
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ++count;
    EXPECT_EQ(count, static_cast<int>(std::size(MainControls)));
    for (const TemplateControl& control : MainControls)
        ExpectTemplateControl(session, control);

    // The banner is the implementer's text, but it is one line and it is there.
    std::string banner = session.ControlText(601);
    EXPECT_FALSE(banner.empty());
    EXPECT_EQ(banner.find_first_of("\r\n"), std::string::npos);
    EXPECT_TRUE(session.ControlStyle(601) & ES_READONLY);
}

// Each row ends a run whose main dialog is up; every way gives exit code 0.
struct EndingCase {
    const char* behaviour;
    bool (*act)(const SfxSession&);
};
const EndingCase Endings[] = {
    {"the E&xit button", [](const SfxSession& s) { return s.Click(IDCANCEL); }},
    {"Escape", [](const SfxSession& s) { return s.PressKey(VK_ESCAPE); }},
    {"WM_CLOSE, as the close box sends it", [](const SfxSession& s) { return s.Close(); }},
};

TEST(Startup, EveryWayOutOfTheMainDialogEndsWithExitCodeZero)
{
    for (const EndingCase& ending : Endings) {
        SCOPED_TRACE(ending.behaviour);
        SfxSession session("startup-small-zip.exe");
        ASSERT_TRUE(session.Launch());
        ASSERT_NE(session.WaitForMainWindow(), nullptr);
        ASSERT_TRUE(ending.act(session));
        EXPECT_EQ(session.WaitForExit(), 0u);
        EXPECT_EQ(session.FindDialog(nullptr), nullptr) << "no message on the way out";
    }
}

TEST(Startup, UnreadableOwnFileIsReportedWithItsPath)
{
    SfxSession session("startup-small-zip.exe");
    // Wine enforces share modes as Windows does. The loader needs the file
    // only until the process exists, so the test takes it between a
    // suspended start and the first instruction: held without sharing, the
    // stub's own open (GENERIC_READ, FILE_SHARE_READ) meets a sharing
    // violation.
    ASSERT_TRUE(session.Launch("", true));
    HANDLE held = CreateFileA(session.ExePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ASSERT_TRUE(session.Resume());

    EXPECT_STRCASEEQ(session.WaitForMessageBox("Couldn't open...").c_str(), session.ExePath().c_str());
    ExpectPlainMessageBox(session.FindDialog("Couldn't open..."));
    EXPECT_EQ(CountWindowsOfClass(session, MainClass), 0);
    EXPECT_TRUE(session.DismissMessageBox("Couldn't open..."));
    EXPECT_EQ(session.WaitForExit(), 0u);
    EXPECT_EQ(CountWindowsOfClass(session, MainClass), 0);
    CloseHandle(held);
}

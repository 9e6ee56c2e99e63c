#pragma once

// Drives the real stub from a cross-built GoogleTest program under Wine: one
// SfxSession is one self-extracting file in a fresh working directory and, once
// launched, the one process started from it. Everything the session does to
// the process goes through messages to its windows, as a user would act.
//
//     SfxSession session("startup-one-byte.exe");
//     ASSERT_TRUE(session.Launch());
//     ASSERT_TRUE(session.WaitForMainWindow());
//     EXPECT_EQ(session.ControlText(IDOK), "&Extract");
//     session.Click(IDCANCEL);
//     EXPECT_EQ(session.WaitForExit(), 0u);
//
// Every wait is bounded (DefaultTimeoutMs unless given); a wait that runs out
// records a test failure that lists the process's windows and returns an
// empty result, so a hanging stub fails its test instead of the suite. The
// destructor terminates the process if it still runs (only that process) and
// deletes the working directory.
//
// Cross-process facts, checked under Wine 8 (and true on Windows):
// - WM_GETTEXT, WM_SETTEXT and LB_GETTEXT are marshalled between processes
//   for the system's controls, so they go through SendMessageTimeoutA. For
//   LB_GETTEXT Wine copies the string only for a list that holds strings (not
//   owner-drawn, or LBS_HASSTRINGS); the member list is such a list.
// - Styles, class names, enabled state, rectangles and the child windows are
//   kept by the window server and read directly (GetWindowLongA, GetClassNameA,
//   GetDlgItem).
// - Actions are posted, never sent: an action that opens a modal dialog (a
//   message box, a prompt, the directory chooser) would otherwise keep the
//   test blocked until that dialog closed. A posted BM_CLICK works on a button
//   of another process: the button sends itself the mouse down and up and
//   notifies its parent with BN_CLICKED, as for a real click; auto check boxes
//   and auto radio buttons change their state on the way.
// - Keys are posted as WM_KEYDOWN/WM_CHAR/WM_KEYUP to the window that has the
//   keyboard focus in the target's thread (GetGUIThreadInfo), so they pass
//   through the program's own message loop and IsDialogMessageA just as typed
//   keys do: Enter becomes IDOK and Escape IDCANCEL. SendInput is not used: it
//   needs the target to be the foreground window, which Wine's window handling
//   under a bare Xvfb (no window manager) does not promise.
//
// Screenshots are taken from the host, not from here: run one test under the
// emulator script with ZELVIX_SCREENSHOT=shot.png (and ZELVIX_SCREENSHOT_DELAY,
// seconds from the start), e.g.
//     ZELVIX_SCREENSHOT=/tmp/main.png ZELVIX_SCREENSHOT_DELAY=4 \
//       tests/win32/wine-run.sh build/win32/tests/win32/e2etests.exe \
//       --gtest_filter=Startup.OneByteArchiveShowsTheMainDialog
// with ZELVIX_E2E_DATA set to the fixture folder; the test must still be in the
// state to look at by then (a temporary Sleep in the test is the simple way).

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

constexpr DWORD DefaultTimeoutMs = 5000;       // stretched by ZELVIX_E2E_TIMEOUT_SCALE
constexpr DWORD StillRunning = STILL_ACTIVE;   // WaitForExit's answer when the process did not end
const char* const MessageBoxClass = "#32770";  // message boxes and dialogs from templates
constexpr int MessageBoxTextId = 0xFFFF;       // the static control holding a message box's text

// The stub's own texts that the tests wait for.
constexpr char SuccessSummary[] = "CRC validation passed on all file( s )... extraction successful";
constexpr char FailureSummary[] = "The remaining hilited file( s ) failed CRC validation";
constexpr char OverwriteCaption[] = "Confirm overwrite of...";
constexpr char UnableCaption[] = "Unable to extract...";

DWORD TimeoutMs(DWORD requested);  // a wait's limit after ZELVIX_E2E_TIMEOUT_SCALE

// The folder of the prepared self-extracting files (ZELVIX_E2E_DATA, made by
// MakeFixtures.py), as a Windows path; a Unix path is converted to its Wine
// drive form.
std::string FixtureDirectory();
std::string FixturePath(const std::string& name);

// A fresh directory under GetTempPathA, deleted with everything in it when the
// object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(TemporaryDirectory&& other) noexcept : path(std::move(other.path)) { other.path.clear(); }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::string& Path() const { return path; }  // ends without a backslash
    std::string File(const std::string& relative) const { return path + "\\" + relative; }

private:
    std::string path;
};

bool DeleteTree(const std::string& path);  // a file, or a directory with its contents

// Every file below a folder, by its path relative to the folder ("a\\b.txt"),
// with its bytes: what extraction left on disk, compared as a whole.
using FileMap = std::map<std::string, std::string>;
FileMap FilesUnder(const std::string& root);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Reading and acting on any window, ours or another process's.
std::string WindowText(HWND window);  // WM_GETTEXT; empty when the window does not answer
std::string WindowClass(HWND window);
DWORD WindowStyle(HWND window);
RECT ClientRectOf(HWND control);                       // the control's rectangle in its parent's client pixels
bool PostClick(HWND button);                           // BM_CLICK, posted
bool PostKey(HWND window, WORD virtualKey);            // WM_KEYDOWN + WM_KEYUP, posted
bool PostChars(HWND window, const std::string& text);  // one WM_CHAR per character, posted
bool SetText(HWND window, const std::string& text);    // WM_SETTEXT, sent with a timeout

class SfxSession {
public:
    // Copies the prepared file `fixture` from the fixture folder into a fresh
    // working directory as `exeName` (the fixture's own name when empty).
    explicit SfxSession(const std::string& fixture, const std::string& exeName = "");
    // Writes `bytes` as the program file instead: for files a test builds itself.
    static SfxSession FromBytes(const std::string& bytes, const std::string& exeName = "sfx.exe");
    ~SfxSession();
    SfxSession(SfxSession&& other) noexcept;
    SfxSession(const SfxSession&) = delete;
    SfxSession& operator=(const SfxSession&) = delete;

    const std::string& WorkDirectory() const { return work.Path(); }
    const std::string& ExePath() const { return exePath; }
    std::string WorkFile(const std::string& relative) const { return work.File(relative); }

    // Starts the program with `currentDirectory` as its current directory (the
    // working directory when empty) and keeps the process. A suspended start
    // runs nothing of the program until Resume(): the time to hold its file
    // open from the test, which the loader itself no longer needs by then.
    bool Launch(const std::string& currentDirectory = "", bool suspended = false);
    bool Resume();
    HANDLE Process() const { return process; }
    DWORD ProcessId() const { return processId; }

    // The process's top-level windows, visible or not.
    std::vector<HWND> TopLevelWindows() const;
    // A visible top-level window of the process whose class and caption match
    // (nullptr matches anything); nullptr when there is none now.
    HWND FindProcessWindow(const char* className, const char* caption) const;
    // Waits for such a window; records a failure and gives nullptr on timeout.
    HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs = DefaultTimeoutMs);
    // Waits for "SeMainDialogClass" and remembers it as the window that the
    // control shortcuts below address.
    HWND WaitForMainWindow(DWORD timeoutMs = DefaultTimeoutMs);
    HWND MainWindow() const { return mainWindow; }
    // Waits until the window is destroyed or hidden; records a failure on timeout.
    bool WaitForWindowGone(HWND window, DWORD timeoutMs = DefaultTimeoutMs);
    std::string Describe() const;  // the process's windows, for failure messages

    // Controls of the main window, by id.
    HWND Control(int id) const;
    std::string ControlText(int id) const;
    std::string ControlClass(int id) const;
    DWORD ControlStyle(int id) const;
    bool IsChecked(int id) const;  // BM_GETCHECK == BST_CHECKED
    bool IsEnabled(int id) const;
    bool IsVisible(int id) const;
    bool HasFocus(int id) const;     // the keyboard focus of the process's thread is on it
    RECT ControlRect(int id) const;  // client pixels of the main window
    // Pixels of a control placed at x, y with this size in the main dialog's
    // units ("MS Sans Serif", 8 points), rounded as the dialog manager does.
    static RECT DialogUnitsToPixels(int x, int y, int width, int height);

    // List boxes of the main window.
    int ListCount(int id) const;  // LB_GETCOUNT; -1 when the list does not answer
    std::vector<std::string> ListItems(int id) const;
    std::vector<int> SelectedIndexes(int id) const;  // by LB_GETSEL on each item
    std::vector<std::string> SelectedItems(int id) const;
    int SelectedCount(int id) const;                               // LB_GETSELCOUNT
    bool SetItemSelected(int id, int index, bool selected) const;  // LB_SETSEL (no notification)

    // Actions on the main window; all posted, so they return at once.
    bool Click(int id) const;                                    // BM_CLICK on the control
    bool Command(int id) const;                                  // WM_COMMAND (id, BN_CLICKED) to the main window
    bool SetControlText(int id, const std::string& text) const;  // WM_SETTEXT
    bool PressKey(WORD virtualKey) const;          // to the focused window of the process (VK_RETURN, VK_ESCAPE)
    bool TypeText(const std::string& text) const;  // WM_CHAR to the focused window
    bool Close() const;                            // WM_CLOSE to the main window

    // Dialogs of the process ("#32770": message boxes and modal dialogs).
    HWND FindDialog(const char* caption) const;  // nullptr when none is shown now
    HWND WaitForDialog(const char* caption, DWORD timeoutMs = DefaultTimeoutMs);
    // Waits for a message box with this caption and gives its text (empty on timeout).
    std::string WaitForMessageBox(const char* caption, DWORD timeoutMs = DefaultTimeoutMs);
    // Presses a button of the dialog with this caption (IDOK = 1 closes a
    // message box); false when no such dialog appears in time.
    bool AnswerDialog(const char* caption, int buttonId, DWORD timeoutMs = DefaultTimeoutMs);
    // Presses OK of the message box with this caption and waits until it has closed.
    bool DismissMessageBox(const char* caption, DWORD timeoutMs = DefaultTimeoutMs);
    // WM_SETTEXT into an edit field of the dialog with this caption.
    bool SetDialogText(const char* caption, int id, const std::string& text, DWORD timeoutMs = DefaultTimeoutMs);
    std::string DialogText(const char* caption, int id, DWORD timeoutMs = DefaultTimeoutMs);

    // Waits for the process to end and gives its exit code, or StillRunning.
    DWORD WaitForExit(DWORD timeoutMs = DefaultTimeoutMs);
    bool HasExited() const;
    void Terminate();  // ends the process if it still runs; the destructor does this too

private:
    SfxSession(const std::string& bytes, const std::string& exeName, bool fromBytes);
    HWND FocusedWindow() const;

    TemporaryDirectory work;
    std::string exePath;
    HANDLE process = nullptr;
    HANDLE suspendedThread = nullptr;  // the first thread while a suspended start waits for Resume()
    DWORD processId = 0;
    DWORD threadId = 0;
    HWND mainWindow = nullptr;
};

}  // namespace e2e

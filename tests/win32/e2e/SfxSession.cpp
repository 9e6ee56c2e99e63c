#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace e2e {

namespace {

// A single message to another process's window may take this long (before
// ZELVIX_E2E_TIMEOUT_SCALE); a window that does not answer by then counts as
// hung. Wine under a bare Xvfb holds a thread for 2 s whenever it hides one of
// its top-level windows (it waits for a window manager to withdraw it, and
// there is none), so a message sent right after a message box or dialog has
// gone is answered only 2 s later: the limit lies well beyond that.
constexpr DWORD MessageTimeoutMs = 5000;
constexpr DWORD PollIntervalMs = 25;

bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    DWORD_PTR answer = 0;
    if (!window || !SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                        TimeoutMs(MessageTimeoutMs), &answer))
        return false;
    result = static_cast<LRESULT>(answer);
    return true;
}

LRESULT SendOr(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT fallback)
{
    LRESULT result = 0;
    return SendWithTimeout(window, message, wParam, lParam, result) ? result : fallback;
}

std::string ShowClassAndCaption(const char* className, const char* caption)
{
    std::string text = "class \"";
    text += className ? className : "*";
    text += "\", caption \"";
    text += caption ? caption : "*";
    return text + "\"";
}

// The title the window server holds; read without sending a message, so it
// is safe on a window whose thread is stuck.
std::string ServerTitle(HWND window)
{
    char title[512] = "";
    GetWindowTextA(window, title, sizeof title);
    return title;
}

std::string UnixPathToWindows(const char* unixPath)
{
    // Wine's own conversion knows the drive mappings; without it (on Windows)
    // the path is not a Unix path in the first place.
    using DosNameFunction = WCHAR*(CDECL*)(const char*);
    auto toDos = reinterpret_cast<DosNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (WCHAR* wide = toDos(unixPath)) {
            char narrow[MAX_PATH * 2] = "";
            WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, wide);
            return narrow;
        }
    }
    std::string path = std::string("Z:") + unixPath;  // Wine maps / to Z: by default
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId)
        search->found.push_back(window);
    return TRUE;
}

INT_PTR CALLBACK MeasuringDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

}  // namespace

DWORD TimeoutMs(DWORD requested)
{
    // ZELVIX_E2E_TIMEOUT_SCALE (a factor, e.g. 3) stretches every wait on a
    // loaded machine without touching the tests.
    const char* scale = std::getenv("ZELVIX_E2E_TIMEOUT_SCALE");
    double factor = scale ? std::atof(scale) : 1.0;
    return factor > 0 ? static_cast<DWORD>(requested * factor) : requested;
}

std::string FixtureDirectory()
{
    const char* data = std::getenv("ZELVIX_E2E_DATA");
    if (!data || !*data)
        return "";
    return data[0] == '/' ? UnixPathToWindows(data) : std::string(data);
}

std::string FixturePath(const std::string& name)
{
    return FixtureDirectory() + "\\" + name;
}

TemporaryDirectory::TemporaryDirectory()
{
    char base[MAX_PATH + 1] = "";
    GetTempPathA(sizeof base, base);
    static unsigned counter = 0;
    for (;;) {
        std::ostringstream name;
        name << base << "zelvix-e2e-" << GetCurrentProcessId() << "-" << ++counter;
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path = name.str();
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a directory under " << base << ", error " << GetLastError();
            return;
        }
    }
}

TemporaryDirectory::~TemporaryDirectory()
{
    if (!path.empty())
        DeleteTree(path);
}

bool DeleteTree(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileA(path.c_str()) != 0;
    WIN32_FIND_DATAA entry;
    HANDLE finder = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (finder != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..")
                DeleteTree(path + "\\" + name);
        } while (FindNextFileA(finder, &entry));
        FindClose(finder);
    }
    return RemoveDirectoryA(path.c_str()) != 0;
}

static void CollectFiles(const std::string& root, const std::string& relative, FileMap& files)
{
    WIN32_FIND_DATAA found;
    std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = relative.empty() ? name : relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(root, path, files);
        } else {
            std::string bytes;
            ReadWholeFile(root + "\\" + path, bytes);
            files[path] = bytes;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

FileMap FilesUnder(const std::string& root)
{
    FileMap files;
    CollectFiles(root, "", files);
    return files;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(file) && ok;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.assign(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    bool ok = bytes.empty() ||
              (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size());
    CloseHandle(file);
    return ok;
}

std::string WindowText(HWND window)
{
    LRESULT length = SendOr(window, WM_GETTEXTLENGTH, 0, 0, -1);
    if (length <= 0)
        return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendOr(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), 0);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string WindowClass(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD WindowStyle(HWND window)
{
    return static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
}

RECT ClientRectOf(HWND control)
{
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool PostClick(HWND button)
{
    return button && PostMessageA(button, BM_CLICK, 0, 0);
}

bool PostKey(HWND window, WORD virtualKey)
{
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    return window && PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | scan) &&
           PostMessageA(window, WM_KEYUP, virtualKey, 1 | scan | (1u << 30) | (1u << 31));
}

bool PostChars(HWND window, const std::string& text)
{
    for (char c : text)
        if (!window || !PostMessageA(window, WM_CHAR, static_cast<unsigned char>(c), 1))
            return false;
    return true;
}

bool SetText(HWND window, const std::string& text)
{
    return SendOr(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), FALSE) == TRUE;
}

SfxSession::SfxSession(const std::string& fixture, const std::string& exeName)
{
    exePath = work.File(exeName.empty() ? fixture : exeName);
    std::string source = FixturePath(fixture);
    if (FixtureDirectory().empty())
        ADD_FAILURE() << "ZELVIX_E2E_DATA is not set: run the e2e tests through ctest";
    else if (!CopyFileA(source.c_str(), exePath.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy fixture " << source << " to " << exePath << ", error " << GetLastError();
}

SfxSession::SfxSession(const std::string& bytes, const std::string& exeName, bool)
{
    exePath = work.File(exeName);
    if (!WriteWholeFile(exePath, bytes))
        ADD_FAILURE() << "cannot write " << exePath;
}

SfxSession SfxSession::FromBytes(const std::string& bytes, const std::string& exeName)
{
    return SfxSession(bytes, exeName, true);
}

SfxSession::SfxSession(SfxSession&& other) noexcept
    : work(std::move(other.work)), exePath(std::move(other.exePath)), process(other.process),
      suspendedThread(other.suspendedThread), processId(other.processId), threadId(other.threadId),
      mainWindow(other.mainWindow)
{
    other.process = nullptr;
    other.suspendedThread = nullptr;
}

SfxSession::~SfxSession()
{
    Terminate();
    if (suspendedThread)
        CloseHandle(suspendedThread);
    if (process)
        CloseHandle(process);
}

bool SfxSession::Launch(const std::string& currentDirectory, bool suspended)
{
    if (process) {
        ADD_FAILURE() << "a session launches its program once";
        return false;
    }
    std::string commandLine = "\"" + exePath + "\"";
    std::string directory = currentDirectory.empty() ? work.Path() : currentDirectory;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, directory.c_str(), &startup, &started)) {
        ADD_FAILURE() << "CreateProcessA " << exePath << " failed, error " << GetLastError();
        return false;
    }
    if (suspended)
        suspendedThread = started.hThread;
    else
        CloseHandle(started.hThread);
    process = started.hProcess;
    processId = started.dwProcessId;
    threadId = started.dwThreadId;
    return true;
}

bool SfxSession::Resume()
{
    if (!suspendedThread) {
        ADD_FAILURE() << "Resume() without a suspended Launch()";
        return false;
    }
    bool resumed = ResumeThread(suspendedThread) != static_cast<DWORD>(-1);
    CloseHandle(suspendedThread);
    suspendedThread = nullptr;
    return resumed;
}

std::vector<HWND> SfxSession::TopLevelWindows() const
{
    WindowSearch search{processId, {}};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND SfxSession::FindProcessWindow(const char* className, const char* caption) const
{
    if (!processId)
        return nullptr;
    for (HWND window : TopLevelWindows()) {
        if (!IsWindowVisible(window))
            continue;
        if (className && lstrcmpiA(WindowClass(window).c_str(), className) != 0)
            continue;
        if (caption && ServerTitle(window) != caption)
            continue;
        return window;
    }
    return nullptr;
}

HWND SfxSession::WaitForWindow(const char* className, const char* caption, DWORD timeoutMs)
{
    DWORD limit = TimeoutMs(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindProcessWindow(className, caption))
            return window;
        if (!process) {
            ADD_FAILURE() << "no process to wait on: Launch() first";
            return nullptr;
        }
        if (HasExited()) {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            ADD_FAILURE() << "the program ended (exit code " << code << ") without showing a window of "
                          << ShowClassAndCaption(className, caption);
            return nullptr;
        }
        if (GetTickCount() - start >= limit) {
            ADD_FAILURE() << "no window of " << ShowClassAndCaption(className, caption) << " within " << limit
                          << " ms; the program has " << Describe();
            return nullptr;
        }
        Sleep(PollIntervalMs);
    }
}

HWND SfxSession::WaitForMainWindow(DWORD timeoutMs)
{
    mainWindow = WaitForWindow("SeMainDialogClass", nullptr, timeoutMs);
    return mainWindow;
}

bool SfxSession::WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD limit = TimeoutMs(timeoutMs);
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= limit) {
            ADD_FAILURE() << "window \"" << ServerTitle(window) << "\" still open after " << limit
                          << " ms; the program has " << Describe();
            return false;
        }
        Sleep(PollIntervalMs);
    }
    return true;
}

std::string SfxSession::Describe() const
{
    std::ostringstream text;
    std::vector<HWND> windows = TopLevelWindows();
    text << windows.size() << " top-level window(s)";
    for (HWND window : windows) {
        text << "\n  " << WindowClass(window) << " \"" << ServerTitle(window) << "\""
             << (IsWindowVisible(window) ? "" : " (hidden)");
        if (HWND message = GetDlgItem(window, MessageBoxTextId))
            text << " text \"" << WindowText(message) << "\"";
    }
    if (process && HasExited()) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        text << "\n  and has ended with exit code " << code;
    }
    return text.str();
}

HWND SfxSession::Control(int id) const
{
    return mainWindow ? GetDlgItem(mainWindow, id) : nullptr;
}

std::string SfxSession::ControlText(int id) const
{
    return WindowText(Control(id));
}

std::string SfxSession::ControlClass(int id) const
{
    return WindowClass(Control(id));
}

DWORD SfxSession::ControlStyle(int id) const
{
    return WindowStyle(Control(id));
}

bool SfxSession::IsChecked(int id) const
{
    return SendOr(Control(id), BM_GETCHECK, 0, 0, BST_UNCHECKED) == BST_CHECKED;
}

bool SfxSession::IsEnabled(int id) const
{
    HWND control = Control(id);
    return control && IsWindowEnabled(control);
}

bool SfxSession::IsVisible(int id) const
{
    HWND control = Control(id);
    return control && IsWindowVisible(control);
}

HWND SfxSession::FocusedWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (threadId && GetGUIThreadInfo(threadId, &info)) {
        if (info.hwndFocus)
            return info.hwndFocus;
        if (info.hwndActive)
            return info.hwndActive;
    }
    return mainWindow;
}

bool SfxSession::HasFocus(int id) const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND control = Control(id);
    return control && threadId && GetGUIThreadInfo(threadId, &info) && info.hwndFocus == control;
}

RECT SfxSession::ControlRect(int id) const
{
    return ClientRectOf(Control(id));
}

RECT SfxSession::DialogUnitsToPixels(int x, int y, int width, int height)
{
    // A dialog unit depends only on the dialog's font, so an empty dialog of
    // our own in the same font ("MS Sans Serif", 8 points) converts exactly as
    // the stub's main dialog does.
    alignas(4) WORD templateWords[64] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(templateWords);
    header->style = DS_SETFONT | WS_POPUP;
    WORD* tail = reinterpret_cast<WORD*>(header + 1);
    *tail++ = 0;  // no menu
    *tail++ = 0;  // the standard dialog class
    *tail++ = 0;  // no caption
    *tail++ = 8;  // points
    for (const char* c = "MS Sans Serif"; *c; ++c)
        *tail++ = static_cast<WORD>(*c);
    *tail = 0;
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), header, nullptr, MeasuringDlgProc, 0);
    // Position and size are converted separately, as the dialog manager
    // places a control: the right edge is x + width in pixels, each rounded
    // on its own, not the rounded x + width dialog units.
    RECT units = {x, y, width, height};
    if (dialog) {
        MapDialogRect(dialog, &units);
        DestroyWindow(dialog);
    } else {
        ADD_FAILURE() << "cannot create a dialog to measure dialog units, error " << GetLastError();
    }
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

int SfxSession::ListCount(int id) const
{
    return static_cast<int>(SendOr(Control(id), LB_GETCOUNT, 0, 0, -1));
}

std::vector<std::string> SfxSession::ListItems(int id) const
{
    // Wine hands a cross-process LB_GETTEXT of an ANSI list back in UTF-16
    // whichever way it is asked, and copies it at its wide size; so ask in
    // UTF-16 with room to spare and convert here.
    std::vector<std::string> items;
    HWND list = Control(id);
    int count = ListCount(id);
    for (int i = 0; i < count; ++i) {
        LRESULT length = SendOr(list, LB_GETTEXTLEN, i, 0, LB_ERR);
        if (length == LB_ERR) {
            ADD_FAILURE() << "list " << id << " does not give the length of item " << i;
            break;
        }
        std::wstring wide(2 * static_cast<size_t>(length) + 16, L'\0');
        DWORD_PTR got = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]), SMTO_ABORTIFHUNG,
                                 TimeoutMs(DefaultTimeoutMs), &got) ||
            static_cast<LRESULT>(got) == LB_ERR)
            got = 0;
        wide.resize(static_cast<size_t>(got));
        std::string text(wide.size() * 3 + 1,
                         '\0');  // UTF-8, a program's code page too, takes up to 3 bytes a unit
        int converted = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                                            static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(converted > 0 ? static_cast<size_t>(converted) : 0);
        items.push_back(text);
    }
    return items;
}

std::vector<int> SfxSession::SelectedIndexes(int id) const
{
    std::vector<int> selected;
    HWND list = Control(id);
    int count = ListCount(id);
    for (int i = 0; i < count; ++i)
        if (SendOr(list, LB_GETSEL, i, 0, 0) > 0)
            selected.push_back(i);
    return selected;
}

std::vector<std::string> SfxSession::SelectedItems(int id) const
{
    std::vector<std::string> items = ListItems(id);
    std::vector<std::string> selected;
    for (int index : SelectedIndexes(id))
        if (index < static_cast<int>(items.size()))
            selected.push_back(items[index]);
    return selected;
}

int SfxSession::SelectedCount(int id) const
{
    return static_cast<int>(SendOr(Control(id), LB_GETSELCOUNT, 0, 0, LB_ERR));
}

bool SfxSession::SetItemSelected(int id, int index, bool selected) const
{
    return SendOr(Control(id), LB_SETSEL, selected ? TRUE : FALSE, index, LB_ERR) != LB_ERR;
}

bool SfxSession::Click(int id) const
{
    return PostClick(Control(id));
}

bool SfxSession::Command(int id) const
{
    return mainWindow &&
           PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

bool SfxSession::SetControlText(int id, const std::string& text) const
{
    return SetText(Control(id), text);
}

bool SfxSession::PressKey(WORD virtualKey) const
{
    return PostKey(FocusedWindow(), virtualKey);
}

bool SfxSession::TypeText(const std::string& text) const
{
    return PostChars(FocusedWindow(), text);
}

bool SfxSession::Close() const
{
    return mainWindow && PostMessageA(mainWindow, WM_CLOSE, 0, 0);
}

HWND SfxSession::FindDialog(const char* caption) const
{
    return FindProcessWindow(MessageBoxClass, caption);
}

HWND SfxSession::WaitForDialog(const char* caption, DWORD timeoutMs)
{
    return WaitForWindow(MessageBoxClass, caption, timeoutMs);
}

std::string SfxSession::WaitForMessageBox(const char* caption, DWORD timeoutMs)
{
    HWND box = WaitForDialog(caption, timeoutMs);
    return box ? WindowText(GetDlgItem(box, MessageBoxTextId)) : std::string();
}

bool SfxSession::AnswerDialog(const char* caption, int buttonId, DWORD timeoutMs)
{
    HWND dialog = WaitForDialog(caption, timeoutMs);
    if (!dialog)
        return false;
    // A message box of MB_OK has no Cancel button but takes IDCANCEL as a command.
    if (HWND button = GetDlgItem(dialog, buttonId))
        return PostClick(button);
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0) != 0;
}

bool SfxSession::DismissMessageBox(const char* caption, DWORD timeoutMs)
{
    HWND box = WaitForDialog(caption, timeoutMs);
    return box && PostClick(GetDlgItem(box, IDOK)) && WaitForWindowGone(box, timeoutMs);
}

bool SfxSession::SetDialogText(const char* caption, int id, const std::string& text, DWORD timeoutMs)
{
    HWND dialog = WaitForDialog(caption, timeoutMs);
    return dialog && SetText(GetDlgItem(dialog, id), text);
}

std::string SfxSession::DialogText(const char* caption, int id, DWORD timeoutMs)
{
    HWND dialog = WaitForDialog(caption, timeoutMs);
    return dialog ? WindowText(GetDlgItem(dialog, id)) : std::string();
}

DWORD SfxSession::WaitForExit(DWORD timeoutMs)
{
    if (!process) {
        ADD_FAILURE() << "no process to wait on: Launch() first";
        return StillRunning;
    }
    DWORD limit = TimeoutMs(timeoutMs);
    if (WaitForSingleObject(process, limit) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program is still running after " << limit << " ms; it has " << Describe();
        return StillRunning;
    }
    DWORD code = StillRunning;
    GetExitCodeProcess(process, &code);
    return code;
}

bool SfxSession::HasExited() const
{
    return process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

void SfxSession::Terminate()
{
    if (process && !HasExited()) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
}

}  // namespace e2e

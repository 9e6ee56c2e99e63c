// Not a test: brings the real stub to the four states the README shows (the
// main dialog, the directory chooser, the overwrite confirmation and the
// password prompt) and saves each as a 24-bit BMP of the screen area it covers.
// tools/readme-shots.sh prepares the archives, runs this under Wine and Xvfb
// and turns the BMPs into docs/*.png.
//
// Usage (ZELVIX_E2E_DATA holds demo.exe and demo-password.exe):
//     readmeshots.exe OUTPUT_FOLDER
#include "resources/ResourceIds.h"
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace e2e;

namespace {

const char* const ChooserCaption = "Select extract directory";
const char* const PasswordCaption = "Enter Password...";
const char* const ShownPath = "C:\\Program Files\\Zelvix Demo";

std::string outputFolder;
int failures = 0;

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT Union(RECT a, RECT b)
{
    RECT both{};
    UnionRect(&both, &a, &b);
    return both;
}

// Copies a screen rectangle into a bottom-up 24-bit BMP file. The screen DC
// reads what the X server shows, so other processes' windows are included.
bool SaveScreenRect(RECT rect, const std::string& path)
{
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(static_cast<size_t>(stride) * height);
    int rows =
        GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(pixels.data(), pixels.size());
    return WriteWholeFile(path, bytes);
}

// Lets the windows finish painting, then saves the rectangle as NAME.bmp.
void Shoot(const char* name, RECT rect)
{
    Sleep(TimeoutMs(1500));
    std::string path = outputFolder + "\\" + name + ".bmp";
    bool saved = SaveScreenRect(rect, path);
    std::printf("%s: %s\n", name, saved ? path.c_str() : "FAILED");
    if (!saved)
        ++failures;
}

bool Fail(const char* what, const SfxSession& session)
{
    std::printf("readmeshots: %s\n%s\n", what, session.Describe().c_str());
    ++failures;
    return false;
}

// The main dialog, then the directory chooser over it, then the overwrite
// question for a file already in the destination.
bool MainChooserAndOverwrite()
{
    SfxSession session("demo.exe");
    if (!session.Launch() || !session.WaitForMainWindow(TimeoutMs(30000)))
        return Fail("the main dialog did not appear", session);
    HWND main = session.MainWindow();
    session.SetControlText(IDC_EXTRACTPATH, ShownPath);
    Shoot("main-dialog", WindowRect(main));

    session.Click(IDC_BROWSE);
    HWND chooser = session.WaitForDialog(ChooserCaption, TimeoutMs(20000));
    if (!chooser)
        return Fail("the directory chooser did not appear", session);
    Shoot("directory-chooser", Union(WindowRect(main), WindowRect(chooser)));
    PostClick(GetDlgItem(chooser, IDCANCEL));
    session.WaitForWindowGone(chooser);

    std::string out = session.WorkFile("out");
    CreateDirectoryA(out.c_str(), nullptr);
    WriteWholeFile(out + "\\readme.txt", "an older copy\r\n");
    session.SetControlText(IDC_EXTRACTPATH, out);
    session.Click(IDOK);
    HWND question = session.WaitForDialog(OverwriteCaption, TimeoutMs(20000));
    if (!question)
        return Fail("the overwrite question did not appear", session);
    Shoot("overwrite-confirmation", Union(WindowRect(main), WindowRect(question)));
    PostClick(GetDlgItem(question, IDCANCEL));  // "&No"
    session.WaitForWindowGone(question);
    session.Terminate();
    return true;
}

bool PasswordPrompt()
{
    SfxSession session("demo-password.exe");
    if (!session.Launch() || !session.WaitForMainWindow(TimeoutMs(30000)))
        return Fail("the main dialog did not appear", session);
    HWND main = session.MainWindow();
    session.SetControlText(IDC_EXTRACTPATH, session.WorkFile("out"));
    session.Click(IDOK);
    HWND prompt = session.WaitForDialog(PasswordCaption, TimeoutMs(20000));
    if (!prompt)
        return Fail("the password prompt did not appear", session);
    session.SetDialogText(PasswordCaption, IDC_PASSWORD, "zelvix");
    Shoot("password-prompt", Union(WindowRect(main), WindowRect(prompt)));
    session.Terminate();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: readmeshots.exe OUTPUT_FOLDER\n");
        return 2;
    }
    outputFolder = argv[1];
    MainChooserAndOverwrite();
    PasswordPrompt();
    return failures ? 1 : 0;
}

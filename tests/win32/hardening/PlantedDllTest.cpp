// A self-extracting file is run from wherever it was downloaded, next to
// whatever else was downloaded there. A DLL carrying the name of mpr, planted
// beside it, must not be loaded when "&Network..." is pressed: the stub takes
// mpr, like comctl32, from the system directory only.
//
// Wine prefers its own builtin DLLs to a file found beside the program, which
// would make this test pass whatever the stub did; a per-program DllOverrides
// entry in the prefix's registry makes it take the native file first, as
// Windows does, and a naive loader shows that it then does. comctl32 cannot be
// tested so under Wine: Wine's own shell32 loads it through a path of its own,
// beside the program first, whatever the process asked for, as soon as the
// chooser asks the shell for its icons. The import-table test covers it.
#include "resources/ChooserIds.h"
#include "resources/ResourceIds.h"
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <cstdlib>
#include <string>

using namespace e2e;

namespace {

const char* const PlantedNames[] = {"comctl32.dll", "mpr.dll"};
const char* const StubName = "planted-setup.exe";
const char* const LoaderName = "planted-loader.exe";

// The folder of the planted DLLs and the loader (ZELVIX_PLANTED_DIR).
std::string PlantedDirectory()
{
    const char* folder = std::getenv("ZELVIX_PLANTED_DIR");
    return folder ? folder : "";
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Copies the planted DLLs into `folder`.
void Plant(const std::string& folder)
{
    for (const char* name : PlantedNames) {
        std::string from = PlantedDirectory() + "\\" + name;
        ASSERT_TRUE(CopyFileA(from.c_str(), (folder + "\\" + name).c_str(), FALSE)) << from;
    }
}

// Native before builtin for mpr, for the programs named `exeName`, while the
// object lives (Wine's HKCU\Software\Wine\AppDefaults\<program>\DllOverrides).
class PreferPlantedMpr {
public:
    explicit PreferPlantedMpr(const std::string& exeName)
        : key("Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides")
    {
        HKEY overrides = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &overrides, nullptr),
                  ERROR_SUCCESS);
        const char order[] = "native,builtin";
        EXPECT_EQ(RegSetValueExA(overrides, "mpr", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order),
                  ERROR_SUCCESS);
        RegCloseKey(overrides);
    }
    ~PreferPlantedMpr()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, key.substr(0, key.rfind('\\')).c_str());
    }

private:
    std::string key;
};

DWORD RunAndWait(const std::string& program, const std::string& directory)
{
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &started))
        return GetLastError();
    WaitForSingleObject(started.hProcess, TimeoutMs(DefaultTimeoutMs));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(started.hProcess, &code);
    if (code == STILL_ACTIVE)
        TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return code;
}

// The full path of module `name` in process `processId`; empty when it is not loaded.
std::string LoadedModulePath(DWORD processId, const char* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return "";
    std::string path;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module))
        if (lstrcmpiA(module.szModule, name) == 0)
            path = module.szExePath;
    CloseHandle(snapshot);
    return path;
}

std::string SystemDirectory()
{
    char folder[MAX_PATH + 1] = "";
    GetSystemDirectoryA(folder, MAX_PATH);
    return folder;
}

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, TimeoutMs(DefaultTimeoutMs),
                                    &result));
    return static_cast<LRESULT>(result);
}

TEST(PlantedDll, ANaiveLoaderTakesThePlantedCopies)
{
    ASSERT_FALSE(PlantedDirectory().empty()) << "ZELVIX_PLANTED_DIR is not set: run through ctest";
    TemporaryDirectory folder;
    Plant(folder.Path());
    std::string loader = folder.File(LoaderName);
    ASSERT_TRUE(CopyFileA((PlantedDirectory() + "\\NaiveLoader.exe").c_str(), loader.c_str(), FALSE));
    PreferPlantedMpr nativeFirst(LoaderName);
    EXPECT_EQ(RunAndWait(loader, folder.Path()), 0u);
    EXPECT_TRUE(Exists(folder.File("mpr.dll.loaded")))
        << "the emulator did not take mpr.dll from beside the loader";
}

TEST(PlantedDll, TheStubTakesMprFromTheSystemDirectory)
{
    ASSERT_FALSE(PlantedDirectory().empty()) << "ZELVIX_PLANTED_DIR is not set: run through ctest";
    SfxSession session("chooser-one-file.exe", StubName);
    Plant(session.WorkDirectory());
    ASSERT_TRUE(CreateDirectoryA(session.WorkFile("Folder").c_str(), nullptr));
    PreferPlantedMpr nativeFirst(StubName);
    ASSERT_TRUE(session.Launch());
    ASSERT_TRUE(session.WaitForMainWindow());

    // The chooser on a folder with a subdirectory, painted at once: its icons are drawn.
    ASSERT_TRUE(session.SetControlText(IDC_EXTRACTPATH, session.WorkDirectory()));
    ASSERT_TRUE(session.Click(IDC_BROWSE));
    HWND chooser = session.WaitForDialog("Select extract directory");
    ASSERT_TRUE(chooser) << session.Describe();
    EXPECT_TRUE(RedrawWindow(GetDlgItem(chooser, IDC_DIRLIST), nullptr, nullptr,
                             RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW));
    SendTo(chooser, WM_NULL, 0, 0);
    // "&Network..." runs the system's connection dialog, or returns at once
    // where there is no network; either way it is dismissed before the check.
    ASSERT_TRUE(PostClick(GetDlgItem(chooser, IDC_NETWORK)));
    SendTo(chooser, WM_NULL, 0, 0);
    for (HWND window : session.TopLevelWindows())
        if (window != chooser && window != session.MainWindow() && IsWindowVisible(window))
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    SendTo(chooser, WM_NULL, 0, 0);

    EXPECT_FALSE(Exists(session.WorkFile("mpr.dll.loaded"))) << "the planted mpr.dll was loaded";
    const std::string system = SystemDirectory();
    std::string loaded = LoadedModulePath(session.ProcessId(), "mpr.dll");
    EXPECT_EQ(lstrcmpiA(loaded.substr(0, system.size()).c_str(), system.c_str()), 0)
        << "mpr.dll loaded from [" << loaded << "], expected the system directory " << system;
    EXPECT_TRUE(PostClick(GetDlgItem(chooser, IDCANCEL)));
    EXPECT_TRUE(session.WaitForWindowGone(chooser));
    session.Close();
    EXPECT_EQ(session.WaitForExit(), 0u);
}

}  // namespace

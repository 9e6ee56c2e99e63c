// The file-system helpers on real directories under Wine: each test works in
// a fresh directory under the temporary folder, which goes afterwards with
// everything in it, and gets its starting current directory back.

#include "fsutil/FileSystem.h"
#include "fsutil/MemberList.h"

#include "fsutil/PathString.h"
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::string CurrentDirectory()
{
    char path[MAX_PATH + 1] = "";
    GetCurrentDirectoryA(sizeof path, path);
    return path;
}

class FileSystem : public testing::Test {
protected:
    void SetUp() override
    {
        startDirectory = CurrentDirectory();
        char temp[MAX_PATH + 1] = "";
        ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
        static unsigned counter = 0;
        base = std::string(temp) + "zelvix-fs-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter);
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr)) << base;
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(startDirectory.c_str());  // a directory in use cannot be removed
        EXPECT_TRUE(e2e::DeleteTree(base)) << base;
    }

    std::string At(const std::string& relative) const { return base + "\\" + relative; }
    void MakeDirectory(const std::string& relative) const
    {
        ASSERT_TRUE(CreateDirectoryA(At(relative).c_str(), nullptr)) << relative;
    }
    void MakeFile(const std::string& relative) const
    {
        HANDLE file = CreateFileA(At(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
        CloseHandle(file);
    }
    bool Exists(const std::string& relative) const
    {
        return GetFileAttributesA(At(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool IsFolder(const std::string& relative) const
    {
        DWORD attributes = GetFileAttributesA(At(relative).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    int EntryCount() const
    {
        int count = 0;
        WIN32_FIND_DATAA entry;
        HANDLE finder = FindFirstFileA((base + "\\*").c_str(), &entry);
        if (finder == INVALID_HANDLE_VALUE)
            return -1;
        do {
            std::string name = entry.cFileName;
            count += name != "." && name != "..";
        } while (FindNextFileA(finder, &entry));
        FindClose(finder);
        return count;
    }
    // Enters the base, as the directory chooser does before the new-subdirectory dialog.
    void EnterBase() const { ASSERT_TRUE(SetCurrentDirectoryA(base.c_str())); }

    std::string base;  // without a trailing backslash
    std::string startDirectory;
};

// The first drive letter from Z down that names no drive ("" when all do).
std::string MissingDrive()
{
    DWORD drives = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter)
        if (!(drives & (1u << (letter - 'A'))))
            return std::string(1, letter) + ":";
    return "";
}

}  // namespace

TEST_F(FileSystem, PathExistsFindsFilesAndDirectories)
{
    MakeDirectory("Dir");
    MakeFile("File.txt");
    EXPECT_TRUE(PathExists(At("Dir").c_str()));
    EXPECT_TRUE(PathExists(At("Dir\\").c_str()));
    EXPECT_TRUE(PathExists(At("File.txt").c_str()));
    EXPECT_TRUE(PathExists((base + "\\").c_str()));

    EXPECT_FALSE(PathExists(At("Missing").c_str()));
    EXPECT_FALSE(PathExists(At("Missing\\").c_str()));
    EXPECT_FALSE(PathExists(At("Missing\\File.txt").c_str()));
    EXPECT_FALSE(PathExists(At("Missing\\Sub\\").c_str()));
    EXPECT_FALSE(PathExists(""));
}

// A trailing backslash asks for that directory: an entry that only begins
// with the same letters, or a plain file of that name, must not answer.
TEST_F(FileSystem, PathExistsWithTrailingBackslashWantsThatDirectory)
{
    MakeFile("Data.txt");
    MakeDirectory("Database");
    MakeFile("Plain");
    MakeDirectory("Empty");
    EXPECT_FALSE(PathExists(At("Data\\").c_str()));
    EXPECT_FALSE(PathExists(At("Plain\\").c_str()));
    EXPECT_TRUE(PathExists(At("Empty\\").c_str()));
    EXPECT_TRUE(PathExists(At("Database\\").c_str()));
}

// The search pattern is the path with "*.*" after its final backslash, built
// in a 255-byte buffer: a path of 251 characters fits, 252 do not.
TEST_F(FileSystem, PathExistsRefusesPathsTooLongForThePatternBuffer)
{
    auto directoryWithLength = [&](size_t length) { return At(std::string(length - base.size() - 1, 'd')); };
    std::string fits = directoryWithLength(250);
    std::string tooLong = directoryWithLength(251);
    ASSERT_TRUE(CreateDirectoryA(fits.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(tooLong.c_str(), nullptr));
    EXPECT_TRUE(PathExists((fits + "\\").c_str()));
    EXPECT_FALSE(PathExists((tooLong + "\\").c_str()));
    EXPECT_TRUE(PathExists(tooLong.c_str())) << "without the backslash no pattern is built";

    std::string huge = base + "\\" + std::string(1000, 'x') + "\\";
    EXPECT_FALSE(PathExists(huge.c_str()));
}

TEST_F(FileSystem, IsDirectoryWantsADirectory)
{
    MakeDirectory("Dir");
    MakeFile("File.txt");
    EXPECT_TRUE(IsDirectory(At("Dir").c_str()));
    EXPECT_TRUE(IsDirectory(At("Dir\\").c_str()));
    EXPECT_FALSE(IsDirectory(At("File.txt").c_str()));
    EXPECT_FALSE(IsDirectory(At("Missing").c_str()));
    EXPECT_FALSE(IsDirectory(""));
}

TEST_F(FileSystem, CreateDirectoryChainCreatesEveryMissingLevel)
{
    CreateDirectoryChain(At("New\\Sub\\").c_str());
    EXPECT_TRUE(IsFolder("New"));
    EXPECT_TRUE(IsFolder("New\\Sub"));

    CreateDirectoryChain(At("A\\B\\C").c_str());
    EXPECT_TRUE(IsFolder("A\\B\\C"));
    CreateDirectoryChain(At("A\\B\\C").c_str());  // all there: nothing to do, nothing breaks
    EXPECT_TRUE(IsFolder("A\\B\\C"));
    EXPECT_EQ(EntryCount(), 2);

    CreateDirectoryChain("");
    CreateDirectoryChain("C:\\");
    CreateDirectoryChain("C:");
}

TEST_F(FileSystem, CreateDirectoryChainStopsAtAFileInTheWay)
{
    MakeFile("Block");
    CreateDirectoryChain(At("Block\\Deeper\\Leaf").c_str());
    EXPECT_FALSE(IsFolder("Block"));
    EXPECT_FALSE(Exists("Block\\Deeper"));
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(FileSystem, EnsureDirectoryReportsWhetherTheDirectoryIsThere)
{
    MakeDirectory("Here");
    EXPECT_TRUE(EnsureDirectory(At("Here").c_str()));
    EXPECT_EQ(EntryCount(), 1);

    EXPECT_TRUE(EnsureDirectory(At("Made\\Two").c_str()));
    EXPECT_TRUE(IsFolder("Made\\Two"));

    MakeFile("Block");
    EXPECT_FALSE(EnsureDirectory(At("Block\\Below").c_str()));

    std::string drive = MissingDrive();
    if (drive.empty())
        GTEST_SKIP() << "every drive letter is in use";
    EXPECT_FALSE(EnsureDirectory((drive + "\\Zelvix\\Out").c_str()));
    EXPECT_FALSE(IsDirectory((drive + "\\Zelvix").c_str()));
}

TEST_F(FileSystem, DriveRelativeThreeCharacterPathsEndTheChain)
{
    // "X:y" is its own directory part; the chain used to recurse on it until
    // the stack ran out (an extract path typed as "C:q").
    std::string drive = MissingDrive();
    if (drive.empty())
        GTEST_SKIP() << "every drive letter is in use";
    EXPECT_FALSE(EnsureDirectory((drive + "q").c_str()));
    CreateDirectoryChain((drive + "q\\").c_str());
}

TEST_F(FileSystem, MakeSubdirectoryCurrentRefusesColonsAndEmptyNames)
{
    EnterBase();
    std::string withSlash = base + "\\";
    for (const char* name : {"a:b", "C:\\Elsewhere", "x:", "\\", "\\\\\\", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(MakeSubdirectoryCurrent(withSlash.c_str(), name));
        EXPECT_EQ(EntryCount(), 0) << "nothing is created";
        EXPECT_STRCASEEQ(CurrentDirectory().c_str(), base.c_str());
    }
}

TEST_F(FileSystem, MakeSubdirectoryCurrentCreatesAndEnters)
{
    std::string withSlash = base + "\\";
    struct Case {
        const char* name;
        const char* enters;  // relative to the base
    };
    const Case cases[] = {
        {"\\Lead", "Lead"},      // one leading backslash is dropped
        {"A\\B\\C", "A\\B\\C"},  // every level, the deepest entered
        {"Plain", "Plain"},
        {"Plain", "Plain"},  // already there: entered again
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EnterBase();
        EXPECT_TRUE(MakeSubdirectoryCurrent(withSlash.c_str(), c.name));
        EXPECT_TRUE(IsFolder(c.enters));
        EXPECT_STRCASEEQ(CurrentDirectory().c_str(), At(c.enters).c_str());
    }
}

TEST_F(FileSystem, MakeSubdirectoryCurrentCanCreateASibling)
{
    MakeDirectory("Base");
    ASSERT_TRUE(SetCurrentDirectoryA(At("Base").c_str()));
    EXPECT_TRUE(MakeSubdirectoryCurrent(At("Base\\").c_str(), "..\\Sibling"));
    EXPECT_TRUE(IsFolder("Sibling"));
    EXPECT_STRCASEEQ(CurrentDirectory().c_str(), At("Sibling").c_str());
}

// A plain file of the typed name: the directory cannot be made, and saying
// otherwise would leave the caller in the wrong directory.
TEST_F(FileSystem, MakeSubdirectoryCurrentFailsWhenAFileHasTheName)
{
    MakeFile("Taken");
    EnterBase();
    EXPECT_FALSE(MakeSubdirectoryCurrent((base + "\\").c_str(), "Taken"));
    EXPECT_FALSE(IsFolder("Taken"));
    EXPECT_STRCASEEQ(CurrentDirectory().c_str(), base.c_str());
}

// The rule for member names exists because of how Windows resolves paths; the
// system itself is the oracle here: no name that the rule lets through may
// resolve outside the destination or to a device.
// A temporary file that cannot go yet is reported, not dropped in silence;
// once nothing holds it, it goes.
TEST_F(FileSystem, DeleteTemporarySaysWhetherTheFileIsGone)
{
    char temporary[MAX_PATH];
    FileHandle file = CreateTemporaryIn(base.c_str(), temporary);
    ASSERT_NE(file, NoFile);
    CloseFile(file);
    HANDLE holder =
        CreateFileA(temporary, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteTemporary(temporary));
    EXPECT_EQ(EntryCount(), 1);
    CloseHandle(holder);
    EXPECT_TRUE(DeleteTemporary(temporary));
    EXPECT_EQ(EntryCount(), 0);
}

// The ordinal goes to the item just added, and nowhere when none was: a
// refused LB_ADDSTRING gives LB_ERR (-1), and LB_SETITEMDATA at -1 sets every item
// as Windows documents it (Wine's list ignores -1, so this one does it).
static WNDPROC ListProcedure;
static bool RefuseAdding;
static LRESULT CALLBACK RefusingList(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LB_ADDSTRING && RefuseAdding)
        return LB_ERR;
    if (message == LB_SETITEMDATA && static_cast<int>(wParam) == -1) {
        LRESULT count = CallWindowProcA(ListProcedure, list, LB_GETCOUNT, 0, 0);
        for (LRESULT index = 0; index < count; ++index)
            CallWindowProcA(ListProcedure, list, LB_SETITEMDATA, index, lParam);
        return TRUE;
    }
    return CallWindowProcA(ListProcedure, list, message, wParam, lParam);
}

TEST(MemberItems, AnItemThatCannotBeAddedLeavesTheOthersOrdinals)
{
    HWND list = CreateWindowA("LISTBOX", "", LBS_SORT, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    ListProcedure =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefusingList)));
    AddMemberItem(list, "b.txt", 0);
    AddMemberItem(list, "a.txt", 1);
    RefuseAdding = true;
    AddMemberItem(list, "c.txt", 2);
    RefuseAdding = false;
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 0, 0), 1);  // a.txt, sorted first
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 1, 0), 0);
    DestroyWindow(list);
}

TEST(UnsafeMemberName, NoAcceptedNameResolvesOutsideTheDestination)
{
    const std::string destination = "C:\\Dest\\";
    const char* names[] = {
        "..\\evil",   "a\\..\\..\\evil",   ".\\..\\x",   "..",      "...",    "a\\...\\b", ". .",
        "a\\. .\\b",  "\\\\server\\share", "\\\\abs",    "\\..\\x", "C:evil", "C:\\evil",  "a:stream",
        "con",        "CON.txt",           "aux.tar.gz", "nul",     "com1",   "lpt9.log",  "a\\prn\\b",
        "normal.txt", "dir\\file.txt",     "a..b",       "..a",     "com10",  "console",   "evil.",
        "\\lead.txt",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        char full[MAX_PATH * 2] = "";
        char* filePart = nullptr;
        std::string joined = destination + StripLeadingBackslash(name);
        GetFullPathNameA(joined.c_str(), sizeof full, full, &filePart);
        bool inside = _strnicmp(full, destination.c_str(), destination.size()) == 0 &&
                      std::string(full).size() > destination.size();
        if (!inside)
            EXPECT_TRUE(IsUnsafeMemberName(name)) << "resolves to " << full;
    }
    EXPECT_FALSE(IsUnsafeMemberName("dir\\file.txt"));
    EXPECT_FALSE(IsUnsafeMemberName("a..b"));
}

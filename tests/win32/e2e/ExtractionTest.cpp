// The working program end to end: the catalogue, extraction, the prompts and
// every message a user can meet, on archives from real writers and on damaged
// and hostile ones (fixtures/extraction.py).
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace e2e;

namespace {

const char PasswordCaption[] = "Enter Password...";
const char ArchiveErrorCaption[] = "Archive error..";
enum {
    PathField = 101,
    RestoreDirs = 401,
    MemberList = 301,
    Confirm = 503,
    Overwrite = 501,
    Skip = 502,
    SelectAll = 121,
    UnselectAll = 122,
    ExtractButton = 1,
    ExitButton = 2,
    Status = 601,
    PromptField = 101,
    DontAskAgain = 401,
    Yes = 1,
    No = 2
};

std::string Upper(std::string text)
{
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The fixtures' stub runs in the system's code page, as on Windows before 10
// 1903 (its manifest lacks the UTF-8 entry), rather than in UTF-8.
bool StubInCodePageMode()
{
    return std::getenv("ZELVIX_E2E_CODE_PAGE_MODE") != nullptr;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls until `done` holds or the time runs out.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD timeoutMs = DefaultTimeoutMs)
{
    DWORD limit = TimeoutMs(timeoutMs);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
}

class Extraction : public ::testing::Test {
protected:
    std::unique_ptr<SfxSession> session;
    std::string outDir;

    // Starts the fixture and waits until its list is filled; extraction goes to
    // a folder "out" of the session's working directory (created by the stub).
    void Start(const std::string& fixture)
    {
        session = std::make_unique<SfxSession>(fixture);
        ASSERT_TRUE(session->Launch());
        ASSERT_TRUE(session->WaitForMainWindow());
        outDir = session->WorkFile("out");
        ASSERT_TRUE(session->SetControlText(PathField, outDir));
    }

    std::string StatusText() const { return session->ControlText(Status); }

    bool WaitForStatus(const std::string& expected, DWORD timeoutMs = 20000)
    {
        bool seen = WaitUntil([&] { return StatusText() == expected; }, timeoutMs);
        if (!seen)
            ADD_FAILURE() << "status line reads '" << StatusText() << "', expected '" << expected << "'\n"
                          << session->Describe();
        return seen;
    }

    void ExtractAndExpect(const std::string& summary)
    {
        ASSERT_TRUE(session->Click(ExtractButton));
        WaitForStatus(summary);
    }

    FileMap Expected(const std::string& fixture) const { return FilesUnder(FixturePath(fixture + ".files")); }

    // Presses a button of the dialog with this caption and waits until it has gone.
    void Answer(const char* caption, int button)
    {
        HWND dialog = session->WaitForDialog(caption);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(PostClick(GetDlgItem(dialog, button)));
        ASSERT_TRUE(session->WaitForWindowGone(dialog));
    }

    void TearDown() override
    {
        if (session && !session->HasExited()) {
            session->Close();
            session->WaitForExit();
        }
    }
};

TEST_F(Extraction, ListsStoredPathsSortedAndSelectedAtStart)
{
    Start("tree-infozip.exe");
    EXPECT_EQ(session->ListItems(MemberList),
              (std::vector<std::string>{"docs\\deeper\\binary.dat", "docs\\guide.txt", "Empty.txt", "readme.txt",
                                        "runs.bin"}));
    EXPECT_EQ(session->SelectedCount(MemberList), 5);
    EXPECT_TRUE(session->IsChecked(RestoreDirs));
    EXPECT_TRUE(session->IsEnabled(RestoreDirs));
    EXPECT_TRUE(session->IsChecked(Confirm));
    EXPECT_TRUE(session->IsChecked(SelectAll));
    EXPECT_FALSE(session->IsChecked(UnselectAll));
}

TEST_F(Extraction, PathFieldStartsWithTheCurrentDirectory)
{
    session = std::make_unique<SfxSession>("flat.exe");
    ASSERT_TRUE(session->Launch());
    ASSERT_TRUE(session->WaitForMainWindow());
    std::string field = session->ControlText(PathField);
    EXPECT_EQ(Upper(field), Upper(session->WorkDirectory()));
    EXPECT_TRUE(session->HasFocus(PathField));
    // No member has a directory: the check box is cleared and disabled for good.
    EXPECT_FALSE(session->IsChecked(RestoreDirs));
    EXPECT_FALSE(session->IsEnabled(RestoreDirs));
    EXPECT_EQ(session->ListItems(MemberList), (std::vector<std::string>{"a.txt", "b.txt", "C.txt"}));
}

TEST_F(Extraction, RestoreDirectoriesRebuildsTheList)
{
    Start("tree-infozip.exe");
    ASSERT_TRUE(session->SetItemSelected(MemberList, 0, false));
    ASSERT_TRUE(session->Click(RestoreDirs));
    ASSERT_TRUE(WaitUntil([&] { return session->ListItems(MemberList).front() == "binary.dat"; }));
    EXPECT_EQ(session->ListItems(MemberList),
              (std::vector<std::string>{"binary.dat", "Empty.txt", "guide.txt", "readme.txt", "runs.bin"}));
    EXPECT_EQ(session->SelectedCount(MemberList), 5);  // "Select All" is checked: every item again

    ASSERT_TRUE(session->Click(UnselectAll));
    ASSERT_TRUE(session->Click(RestoreDirs));
    ASSERT_TRUE(WaitUntil([&] { return session->ListItems(MemberList).front() == "docs\\deeper\\binary.dat"; }));
    EXPECT_EQ(session->SelectedCount(MemberList), 0);
}

TEST_F(Extraction, ExtractsEveryMemberOfRealWritersByteForByte)
{
    for (const char* fixture : {"tree-infozip.exe", "tree-stored.exe", "tree-python.exe", "tree-7z.exe"}) {
        SCOPED_TRACE(fixture);
        Start(fixture);
        ExtractAndExpect(SuccessSummary);
        EXPECT_EQ(session->SelectedCount(MemberList), 0);
        EXPECT_EQ(FilesUnder(outDir), Expected(fixture));
        session->PressKey(VK_ESCAPE);
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

TEST_F(Extraction, WithoutRestoredDirectoriesFilesLandFlat)
{
    Start("tree-infozip.exe");
    ASSERT_TRUE(session->Click(RestoreDirs));
    ASSERT_TRUE(WaitUntil([&] { return session->ListItems(MemberList).front() == "binary.dat"; }));
    ExtractAndExpect(SuccessSummary);
    FileMap flat;
    for (const auto& [path, bytes] : Expected("tree-infozip.exe"))
        flat[path.substr(path.rfind('\\') + 1)] = bytes;
    EXPECT_EQ(FilesUnder(outDir), flat);
}

TEST_F(Extraction, UnselectAllExtractsNothingAndLeavesTheStatusEmpty)
{
    Start("flat.exe");
    ASSERT_TRUE(session->Click(UnselectAll));
    ASSERT_TRUE(WaitUntil([&] { return session->SelectedCount(MemberList) == 0; }));
    EXPECT_EQ(StatusText(), "");
    ASSERT_TRUE(session->Click(ExtractButton));
    Sleep(1000);
    EXPECT_FALSE(Exists(outDir));
    EXPECT_EQ(StatusText(), "");
}

TEST_F(Extraction, EnterExtractsIntoTheCurrentDirectoryWhenThePathIsEmpty)
{
    Start("flat.exe");
    ASSERT_TRUE(session->SetControlText(PathField, ""));
    ASSERT_TRUE(session->PressKey(VK_RETURN));
    WaitForStatus(SuccessSummary);
    std::string field = session->ControlText(PathField);
    EXPECT_EQ(Upper(field), Upper(session->WorkDirectory()));
    FileMap expected = Expected("flat.exe");
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(FilesUnder(session->WorkDirectory())[path], bytes) << path;
}

TEST_F(Extraction, ADamagedMemberStaysSelectedAndIsRetriedAlone)
{
    Start("damaged-member.exe");
    ExtractAndExpect(FailureSummary);
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"docs\\guide.txt"}));
    FileMap got = FilesUnder(outDir);
    EXPECT_EQ(got["readme.txt"], Expected("damaged-member.exe")["readme.txt"]);
    EXPECT_NE(got["docs\\guide.txt"], Expected("damaged-member.exe")["docs\\guide.txt"]);

    // Extract again: only the failed member is written (the others' files are gone and stay gone).
    DeleteFileA((outDir + "\\readme.txt").c_str());
    ASSERT_TRUE(session->SetControlText(Status, ""));
    ASSERT_TRUE(session->Click(ExtractButton));
    Answer(OverwriteCaption, Yes);  // the failed file is still there
    WaitForStatus(FailureSummary);
    EXPECT_FALSE(Exists(outDir + "\\readme.txt"));
}

TEST_F(Extraction, SkipModeLeavesExistingFilesAndUnselectsThem)
{
    Start("flat.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\b.txt", "mine");
    ASSERT_TRUE(session->Click(Skip));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir)["b.txt"], "mine");
    EXPECT_EQ(FilesUnder(outDir)["a.txt"], Expected("flat.exe")["a.txt"]);
}

TEST_F(Extraction, ConfirmAsksPerFileAndDontAskAgainSetsTheRadioButtons)
{
    Start("flat.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    for (const char* name : {"a.txt", "b.txt", "C.txt"})
        WriteWholeFile(outDir + "\\" + name, "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    // Members come in archive order: b.txt, a.txt, C.txt.
    EXPECT_EQ(session->DialogText(OverwriteCaption, 101), "b.txt...already exists, overwrite?");
    Answer(OverwriteCaption, Yes);
    EXPECT_EQ(session->DialogText(OverwriteCaption, 101), "a.txt...already exists, overwrite?");
    HWND prompt = session->WaitForDialog(OverwriteCaption);
    ASSERT_TRUE(PostClick(GetDlgItem(prompt, DontAskAgain)));
    ASSERT_TRUE(WaitUntil([&] { return SendMessageA(GetDlgItem(prompt, DontAskAgain), BM_GETCHECK, 0, 0) == 1; }));
    Answer(OverwriteCaption, No);
    WaitForStatus(SuccessSummary);  // C.txt skipped without a question
    EXPECT_EQ(session->FindDialog(OverwriteCaption), nullptr);
    FileMap got = FilesUnder(outDir);
    EXPECT_EQ(got["b.txt"], Expected("flat.exe")["b.txt"]);
    EXPECT_EQ(got["a.txt"], "mine");
    EXPECT_EQ(got["C.txt"], "mine");
    EXPECT_TRUE(session->IsChecked(Skip));
    EXPECT_FALSE(session->IsChecked(Confirm));

    // The next Extract reads the radio buttons again: still skipping, no question.
    ASSERT_TRUE(session->Click(SelectAll));
    ASSERT_TRUE(WaitUntil([&] { return session->SelectedCount(MemberList) == 3; }));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir)["a.txt"], "mine");
}

TEST_F(Extraction, EscapeOnTheConfirmationAnswersNo)
{
    Start("flat.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\b.txt", "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    HWND prompt = session->WaitForDialog(OverwriteCaption);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0));
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir)["b.txt"], "mine");
}

TEST_F(Extraction, EncryptedMembersShareOnePromptAndExtractWhole)
{
    for (const char* fixture : {"encrypted-infozip.exe", "encrypted-stored.exe", "encrypted-7z.exe"}) {
        SCOPED_TRACE(fixture);
        Start(fixture);
        EXPECT_EQ(session->ListCount(MemberList), 3);
        ASSERT_TRUE(session->Click(ExtractButton));
        ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "secret"));
        ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
        WaitForStatus(SuccessSummary);
        EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
        EXPECT_EQ(session->FindDialog(ArchiveErrorCaption), nullptr);
        EXPECT_EQ(FilesUnder(outDir), Expected(fixture));
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

TEST_F(Extraction, PasswordPromptIgnoresEscapeAndAWrongEntryAsksAgain)
{
    Start("encrypted-single.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    HWND prompt = session->WaitForDialog(PasswordCaption);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0));
    Sleep(500);
    EXPECT_TRUE(IsWindow(prompt));  // only "&Ok" leaves the prompt
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "wrong"));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }));
    EXPECT_EQ(session->DialogText(PasswordCaption, PromptField), "");  // asks again, field empty
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "secret"));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("encrypted-single.exe"));
}

TEST_F(Extraction, ThreeWrongPasswordsEndThePassSilently)
{
    Start("encrypted-infozip.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    for (const char* guess : {"one", "two", ""}) {
        ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, guess));
        HWND prompt = session->WaitForDialog(PasswordCaption);
        ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(prompt); }));
    }
    Sleep(1000);
    EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
    EXPECT_EQ(FilesUnder(outDir).size(), 0u);
    EXPECT_EQ(StatusText().rfind("CRC", 0), std::string::npos);
    EXPECT_EQ(session->SelectedCount(MemberList), 3);
    // The pass never reached sub\three.txt: the list still shows directories,
    // so "Res&tore directories" keeps its state.
    EXPECT_TRUE(session->IsChecked(RestoreDirs));
    EXPECT_TRUE(session->IsEnabled(RestoreDirs));
}

TEST_F(Extraction, ADisagreeingDescriptorStopsTheWalkWithAMessage)
{
    Start("encrypted-bad-descriptor.exe");
    EXPECT_EQ(session->WaitForMessageBox(ArchiveErrorCaption).find("one.txt") != std::string::npos, true);
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    EXPECT_EQ(session->ListItems(MemberList), (std::vector<std::string>{"one.txt"}));
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "secret"));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    EXPECT_EQ(FilesUnder(outDir)["one.txt"], Expected("encrypted-bad-descriptor.exe")["one.txt"]);
    Sleep(300);
    EXPECT_NE(StatusText(), SuccessSummary);
}

TEST_F(Extraction, HostileNamesAreRefusedOneByOneAndNothingLeavesTheDestination)
{
    Start("hostile-names.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    for (int refused = 0; refused < 4; ++refused) {
        std::string text = session->WaitForMessageBox(UnableCaption);
        // Each box names its member: three "evil" names, then the device name.
        EXPECT_NE(text.find(refused < 3 ? "evil" : "CON.txt"), std::string::npos) << text;
        ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    }
    WaitForStatus(FailureSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("hostile-names.exe"));
    EXPECT_EQ(FilesUnder(session->WorkDirectory()).count("evil.txt"), 0u);
    EXPECT_EQ(session->SelectedCount(MemberList), 4);
}

// Names with a colon in an archive without directories: the item was listed
// whole, so the extracting pass must look up that same name and refuse it.
TEST_F(Extraction, NamesWithAColonAreRefusedWithTheBoxNamingThem)
{
    Start("colon-names.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    for (const char* name : {"EVIL-10.txt:hidden", "aaa:b"}) {
        std::string text = session->WaitForMessageBox(UnableCaption);
        EXPECT_EQ(text.rfind(std::string(name) + "\r\n", 0), 0u) << text;
        ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    }
    WaitForStatus(FailureSummary);
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"aaa:b", "EVIL-10.txt:hidden"}));
    EXPECT_EQ(FilesUnder(outDir), Expected("colon-names.exe"));
}

// A short relative extract path is created in the current directory (the
// session's working directory) with everything below it.
TEST_F(Extraction, AShortRelativeExtractPathIsCreated)
{
    Start("flat.exe");
    for (const char* path : {"x", "ab\\out"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(session->SetControlText(PathField, path));
        ASSERT_TRUE(session->Click(SelectAll));
        ASSERT_TRUE(WaitUntil([&] { return session->SelectedCount(MemberList) == 3; }));
        ExtractAndExpect(SuccessSummary);
        EXPECT_EQ(session->FindDialog("Couldn't open..."), nullptr);
        EXPECT_EQ(FilesUnder(session->WorkFile(path)), Expected("flat.exe"));
    }
}

// Names marked as UTF-8 by three writers, in code page 1252 (the suite's own).
TEST_F(Extraction, Utf8NamesExtractUnderTheirOwnNames)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    for (const char* fixture : {"utf8-python.exe", "utf8-7z.exe", "utf8-mksfx.exe"}) {
        SCOPED_TRACE(fixture);
        if (!Exists(FixturePath(fixture)))
            continue;  // made without mksfx
        Start(fixture);
        EXPECT_EQ(session->ListItems(MemberList), (std::vector<std::string>{"caf\xE9.txt", "plain.txt"}));
        ExtractAndExpect(SuccessSummary);
        EXPECT_EQ(FilesUnder(outDir), Expected(fixture));
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

// Fullwidth solidus and reverse solidus have no exact form in code page 1252
// (best fit would make them "/" and "\"), and a name marked as UTF-8 that is not.
TEST_F(Extraction, Utf8NamesWithoutAnExactFormAreRefusedSayingWhy)
{
    if (GetACP() != 1252 || !StubInCodePageMode())
        GTEST_SKIP() << "code page " << GetACP() << (StubInCodePageMode() ? "" : ", stub in UTF-8");
    Start("utf8-refused.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    for (const char* why : {"cannot write", "cannot write", "not valid UTF-8"}) {
        std::string text = session->WaitForMessageBox(UnableCaption);
        EXPECT_NE(text.find(why), std::string::npos) << text;
        ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    }
    WaitForStatus(FailureSummary);
    EXPECT_EQ(FilesUnder(session->WorkDirectory()).size(), 2u) << "the program and good.txt only";
    EXPECT_EQ(FilesUnder(outDir), Expected("utf8-refused.exe"));
}

// Code page 932 (ctest runs these under LC_ALL=ja_JP.UTF-8): into a folder
// ending in 表 (95 5C), names whose second bytes are backslashes, in
// Shift-JIS as stored and in UTF-8 converted; café.txt has no form there,
// which only a stub in code-page mode needs.
TEST_F(Extraction, CodePage932NamesLandInsideAFolderEndingInATrailBackslash)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "code page " << GetACP();
    const std::string timetable = "\x8E\x9E\x8D\x8F\x95\x5C";  // 時刻表
    for (const char* fixture : {"cp932-sjis.exe", "cp932-utf8.exe"}) {
        SCOPED_TRACE(fixture);
        Start(fixture);
        outDir = session->WorkFile(timetable);
        ASSERT_TRUE(CreateDirectoryA(outDir.c_str(), nullptr));
        ASSERT_TRUE(session->SetControlText(PathField, outDir));
        ASSERT_TRUE(session->Click(ExtractButton));
        bool hasCafe = std::string(fixture) == "cp932-utf8.exe";
        bool refusesCafe = hasCafe && StubInCodePageMode();
        if (refusesCafe) {
            EXPECT_NE(session->WaitForMessageBox(UnableCaption).find("cannot write"), std::string::npos);
            ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
        }
        WaitForStatus(refusesCafe ? FailureSummary : SuccessSummary);
        FileMap extracted = FilesUnder(outDir);
        FileMap expected = Expected(fixture);
        if (hasCafe && !refusesCafe) {
            // café.txt, under the name this test program's code page gives it.
            EXPECT_EQ(extracted.size(), expected.size() + 1);
            for (auto file = extracted.begin(); file != extracted.end();)
                file = expected.count(file->first) ? std::next(file) : extracted.erase(file);
        }
        EXPECT_EQ(extracted, expected);
        FileMap everything = FilesUnder(session->WorkDirectory());
        EXPECT_EQ(everything.size(), FilesUnder(outDir).size() + 1) << "nothing beside the folder";
        EXPECT_FALSE(Exists(session->WorkFile("\x8E\x9E\x8D\x8F")));  // 時刻
        EXPECT_FALSE(Exists(outDir + "\\\x88\xEA\x97\x97"));          // 一覧
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

TEST_F(Extraction, UnsupportedMethodEndsThePassWithoutCreatingAFile)
{
    Start("bzip2-member.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\packed.txt", "keep me");
    ASSERT_TRUE(session->Click(Overwrite));
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_EQ(session->WaitForMessageBox(UnableCaption), "Unsupported compression method");
    ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    Sleep(500);
    FileMap got = FilesUnder(outDir);
    EXPECT_EQ(got["packed.txt"], "keep me");
    EXPECT_EQ(got["first.txt"], "first\n");
    EXPECT_EQ(got.count("last.txt"), 0u);
    EXPECT_EQ(StatusText().rfind("CRC", 0), std::string::npos);
}

TEST_F(Extraction, ATruncatedArchiveIsReportedAndNeverSucceeds)
{
    Start("truncated.exe");
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    WaitForStatus(FailureSummary);  // the cut member stays selected
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"runs.bin"}));
}

TEST_F(Extraction, OverlappingStoredMembersFailWithoutACopy)
{
    Start("overlapping.exe");
    ExtractAndExpect(FailureSummary);
    EXPECT_EQ(session->SelectedItems(MemberList).size(), 20u);
    FileMap got = FilesUnder(outDir);
    EXPECT_EQ(got.size(), 20u);
    for (const auto& [path, bytes] : got)
        EXPECT_TRUE(bytes.empty()) << path;
}

TEST_F(Extraction, StreamedMembersWithZeroSizesDoNotVerify)
{
    Start("streamed.exe");
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption, 10000));
    WaitForStatus(FailureSummary);
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"streamed.txt"}));
}

TEST_F(Extraction, ArchivesThatCannotBeListedSayWhy)
{
    Start("junk.exe");
    EXPECT_EQ(session->WaitForMessageBox("Error..."), "Can't read archive header");
    ASSERT_TRUE(session->DismissMessageBox("Error..."));
    EXPECT_TRUE(WaitUntil([&] { return !session->IsEnabled(RestoreDirs); }));
    session->Close();
    EXPECT_EQ(session->WaitForExit(), 0u);

    Start("only-directory.exe");
    EXPECT_EQ(session->WaitForMessageBox("Error..."), "Can't read archive header");
    ASSERT_TRUE(session->DismissMessageBox("Error..."));
    EXPECT_TRUE(session->IsEnabled(RestoreDirs));  // docs\ has a directory part
    session->Close();
    EXPECT_EQ(session->WaitForExit(), 0u);

    Start("zero-name.exe");
    EXPECT_EQ(session->WaitForMessageBox(ArchiveErrorCaption), "Error retreiving filename.");
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    EXPECT_EQ(session->ListItems(MemberList), (std::vector<std::string>{"first.txt"}));
}

TEST_F(Extraction, ANameLongerThanTheNameBufferIsRefusedNotCut)
{
    Start("long-name.exe");
    EXPECT_EQ(session->WaitForMessageBox(ArchiveErrorCaption), "Error retreiving filename.");
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    EXPECT_EQ(session->ListItems(MemberList), (std::vector<std::string>{"first.txt"}));
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_EQ(session->WaitForMessageBox(ArchiveErrorCaption), "Error retreiving filename.");
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    ASSERT_TRUE(WaitUntil([&] { return FilesUnder(outDir).size() == 1; }));
    EXPECT_EQ(FilesUnder(outDir), Expected("long-name.exe"));
    EXPECT_EQ(StatusText().rfind("CRC", 0), std::string::npos);  // no summary after that message
}

TEST_F(Extraction, AnOutputPathTooLongForWindowsIsReportedWholeAndSkipped)
{
    Start("tree-infozip.exe");
    std::string base = outDir + "\\" + std::string(245 - outDir.size() - 1, 'd');  // 245 characters
    ASSERT_TRUE(session->SetControlText(PathField, base));
    ASSERT_TRUE(session->Click(ExtractButton));
    // base + "\docs\guide.txt" is 260 characters, one more than a path holds.
    EXPECT_EQ(session->WaitForMessageBox("Couldn't open..."), base + "\\docs\\guide.txt");
    ASSERT_TRUE(session->DismissMessageBox("Couldn't open..."));
    EXPECT_EQ(session->WaitForMessageBox("Couldn't open..."), base + "\\docs\\deeper\\binary.dat");
    ASSERT_TRUE(session->DismissMessageBox("Couldn't open..."));
    WaitForStatus(FailureSummary);
    EXPECT_EQ(session->SelectedItems(MemberList),
              (std::vector<std::string>{"docs\\deeper\\binary.dat", "docs\\guide.txt"}));
    EXPECT_EQ(FilesUnder(base)["readme.txt"], Expected("tree-infozip.exe")["readme.txt"]);
}

// Archives made by `mksfx create` (fixtures/mksfx.py): deflated and stored
// members, nested directories, an empty file, and the encryption header mksfx
// writes. Skipped when the fixtures were made without an mksfx.
TEST_F(Extraction, PlainArchiveMadeByMksfxExtractsByteForByte)
{
    if (!Exists(FixturePath("mksfx_plain.exe")))
        GTEST_SKIP() << "made without mksfx";
    Start("mksfx_plain.exe");
    EXPECT_EQ(session->ListCount(MemberList), 4);  // directory entries are not listed
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("mksfx_plain.exe"));
}

// Signing appends the certificate table after the central directory; the walk
// from the stub's end still reaches every member.
TEST_F(Extraction, SignedArchiveMadeByMksfxExtractsByteForByte)
{
    if (!Exists(FixturePath("mksfx_signed.exe")))
        GTEST_SKIP() << "made without mksfx or osslsigncode";
    Start("mksfx_signed.exe");
    EXPECT_EQ(session->ListCount(MemberList), 4);
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("mksfx_signed.exe"));
}

TEST_F(Extraction, EncryptedArchiveMadeByMksfxTakesItsPasswordOnce)
{
    if (!Exists(FixturePath("mksfx_encrypted.exe")))
        GTEST_SKIP() << "made without mksfx";
    std::string password;
    ASSERT_TRUE(ReadWholeFile(FixturePath("mksfx_encrypted.exe.password"), password));
    Start("mksfx_encrypted.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, password));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);  // one prompt for every member
    EXPECT_EQ(FilesUnder(outDir), Expected("mksfx_encrypted.exe"));
}

TEST_F(Extraction, ClicksThatWouldChangeARunningPassAreUndone)
{
    Start("encrypted-infozip.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_NE(session->WaitForDialog(PasswordCaption), nullptr);
    // The main dialog stays enabled under the prompt; these clicks must not
    // change the names the pass looks up or the selection its summary counts.
    ASSERT_TRUE(session->Click(RestoreDirs));
    ASSERT_TRUE(session->Click(UnselectAll));
    Sleep(500);
    EXPECT_TRUE(session->IsChecked(RestoreDirs));
    EXPECT_TRUE(session->IsChecked(SelectAll));
    EXPECT_FALSE(session->IsChecked(UnselectAll));
    EXPECT_EQ(session->SelectedCount(MemberList), 3);
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "secret"));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("encrypted-infozip.exe"));
}

TEST_F(Extraction, NoAfterTheModeChangedUnderThePromptStillKeepsTheFile)
{
    Start("flat.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\b.txt", "mine");
    WriteWholeFile(outDir + "\\a.txt", "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    Answer(OverwriteCaption, Yes);                                 // b.txt
    ASSERT_NE(session->WaitForDialog(OverwriteCaption), nullptr);  // a.txt
    ASSERT_TRUE(session->Click(Overwrite));
    Answer(OverwriteCaption, No);
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir)["a.txt"], "mine");
    EXPECT_EQ(FilesUnder(outDir)["b.txt"], Expected("flat.exe")["b.txt"]);
}

TEST_F(Extraction, AnEncryptionHeaderCutShortFailsTheMemberWithoutAPrompt)
{
    Start("encrypted-cut.exe");
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_FALSE(session->WaitForMessageBox(ArchiveErrorCaption).empty());
    ASSERT_TRUE(session->DismissMessageBox(ArchiveErrorCaption));
    WaitForStatus(FailureSummary);
    EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"only.txt"}));
}

TEST_F(Extraction, AMemberShorterThanItsEncryptionHeaderFailsWithoutAPrompt)
{
    Start("encrypted-short.exe");
    ExtractAndExpect(FailureSummary);
    EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
    EXPECT_EQ(FilesUnder(outDir), Expected("encrypted-short.exe"));
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"a.txt"}));
}

TEST_F(Extraction, TheStatusLineNamesAMemberBeforeItsBoxOrItsLongDecoding)
{
    // The refused method: first.txt has just been shown, and the line is
    // throttled, yet the box comes with packed.txt named.
    Start("bzip2-member.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_EQ(session->WaitForMessageBox(UnableCaption), "Unsupported compression method");
    EXPECT_EQ(StatusText(), "Extracting: " + outDir + "\\packed.txt");
    ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    session->Close();
    EXPECT_EQ(session->WaitForExit(), 0u);

    // 4 MiB inflated from 4 KB right after small.txt: its name is shown
    // before it decodes, and still there when last.txt's question comes.
    Start("long-inflation.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\last.txt", "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_NE(session->WaitForDialog(OverwriteCaption), nullptr);
    EXPECT_EQ(StatusText(), "Extracting: " + outDir + "\\big.bin");
    Answer(OverwriteCaption, Yes);
    WaitForStatus(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("long-inflation.exe"));
}

TEST_F(Extraction, FilesNearThePathLimitsAreReplaced)
{
    // An output path of 259 characters, and a name of 255: neither leaves
    // room for a suffix after the name, and neither needs one.
    struct Case {
        const char* fixture;
        bool deepFolder;  // the extract path grows until the output path is 259 characters
    };
    char startDirectory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof startDirectory, startDirectory);
    for (Case c : {Case{"replace-long-path.exe", true}, Case{"replace-longest-name.exe", false}}) {
        SCOPED_TRACE(c.fixture);
        Start(c.fixture);
        // Paths from the working directory, also the stub's current one: with
        // the longest name an absolute path would be too long to name at all.
        ASSERT_TRUE(SetCurrentDirectoryA(session->WorkDirectory().c_str()));
        std::string name = Expected(c.fixture).begin()->first;
        std::string folder = "o";
        if (c.deepFolder) {
            CreateDirectoryA(outDir.c_str(), nullptr);
            folder = outDir + "\\" + std::string(259 - outDir.size() - 2 - name.size(), 'd');
        }
        std::string file = folder + "\\" + name;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        ASSERT_TRUE(WriteWholeFile(file, "mine"));
        ASSERT_TRUE(session->SetControlText(PathField, folder));
        ASSERT_TRUE(session->Click(Overwrite));
        ExtractAndExpect(SuccessSummary);
        EXPECT_EQ(FilesUnder(folder), (FileMap{{name, "from the archive\n"}}));
        DeleteFileA(file.c_str());  // the session's own clean-up names it by its absolute path
        SetCurrentDirectoryA(startDirectory);
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

TEST_F(Extraction, WhatCannotBeReplacedFailsBeforeDecodingAndIsKept)
{
    // Overwrite mode, flat.exe (b.txt, a.txt, C.txt), with a.txt already there
    // as a folder, or as a file that CREATE_ALWAYS would refuse.
    for (DWORD attributes :
         {DWORD{FILE_ATTRIBUTE_DIRECTORY}, DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
        SCOPED_TRACE(attributes);
        Start("flat.exe");
        CreateDirectoryA(outDir.c_str(), nullptr);
        std::string target = outDir + "\\a.txt";
        if (attributes == FILE_ATTRIBUTE_DIRECTORY) {
            ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
        } else {
            ASSERT_TRUE(WriteWholeFile(target, "mine"));
            ASSERT_TRUE(SetFileAttributesA(target.c_str(), attributes));
        }
        ASSERT_TRUE(session->Click(Overwrite));
        ASSERT_TRUE(session->Click(ExtractButton));
        EXPECT_EQ(session->WaitForMessageBox("Couldn't open..."), target);
        // Nothing was decoded for it: no temporary file beside it.
        FileMap before = {{"b.txt", Expected("flat.exe")["b.txt"]}};
        if (attributes != FILE_ATTRIBUTE_DIRECTORY)
            before["a.txt"] = "mine";
        EXPECT_EQ(FilesUnder(outDir), before);
        ASSERT_TRUE(session->DismissMessageBox("Couldn't open..."));
        WaitForStatus(FailureSummary);
        EXPECT_EQ(GetFileAttributesA(target.c_str()) & attributes, attributes);
        SetFileAttributesA(target.c_str(),
                           attributes == FILE_ATTRIBUTE_DIRECTORY ? attributes : FILE_ATTRIBUTE_NORMAL);
        before["C.txt"] = "sea";
        EXPECT_EQ(FilesUnder(outDir), before);
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

TEST_F(Extraction, ExitDuringAPromptWaitsForThePassToEnd)
{
    Start("encrypted-single.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_NE(session->WaitForDialog(PasswordCaption), nullptr);
    ASSERT_TRUE(session->Command(ExitButton));     // the main dialog stays enabled while the prompt is open
    ASSERT_TRUE(session->Command(ExtractButton));  // ignored: a pass is running
    Sleep(500);
    EXPECT_EQ(session->HasExited(), false);
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, "secret"));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    EXPECT_EQ(session->WaitForExit(10000), 0u);
    EXPECT_EQ(FilesUnder(outDir), Expected("encrypted-single.exe"));
}

TEST_F(Extraction, ClicksUnderTheConfirmationNeitherHideAFailureNorCheckTwoButtons)
{
    Start("damaged-member.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\runs.bin", "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    // docs\guide.txt has failed by the time runs.bin is asked about; the user
    // unselects its item, picks "&Skip", then answers "&Yes" for good.
    HWND prompt = session->WaitForDialog(OverwriteCaption);
    ASSERT_NE(prompt, nullptr);
    ASSERT_EQ(session->ListItems(MemberList)[1], "docs\\guide.txt");
    ASSERT_TRUE(session->SetItemSelected(MemberList, 1, false));
    ASSERT_TRUE(session->Click(Skip));
    ASSERT_TRUE(PostClick(GetDlgItem(prompt, DontAskAgain)));
    ASSERT_TRUE(WaitUntil([&] { return SendMessageA(GetDlgItem(prompt, DontAskAgain), BM_GETCHECK, 0, 0) == 1; }));
    Answer(OverwriteCaption, Yes);
    WaitForStatus(FailureSummary);
    EXPECT_EQ(FilesUnder(outDir)["runs.bin"], Expected("damaged-member.exe")["runs.bin"]);
    EXPECT_TRUE(session->IsChecked(Overwrite));
    EXPECT_FALSE(session->IsChecked(Skip));
    EXPECT_FALSE(session->IsChecked(Confirm));
}

TEST_F(Extraction, AFailedMemberNeverReplacesTheFileItWouldOverwrite)
{
    // Overwrite mode: a damaged member leaves the existing file as it was, a
    // good one replaces its file, and no temporary file is left behind.
    Start("damaged-member.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    CreateDirectoryA((outDir + "\\docs").c_str(), nullptr);
    WriteWholeFile(outDir + "\\docs\\guide.txt", "mine");
    WriteWholeFile(outDir + "\\readme.txt", "old");
    ASSERT_TRUE(session->Click(Overwrite));
    ExtractAndExpect(FailureSummary);
    FileMap expected = Expected("damaged-member.exe");
    expected["docs\\guide.txt"] = "mine";
    EXPECT_EQ(FilesUnder(outDir), expected);
    EXPECT_EQ(session->SelectedItems(MemberList), (std::vector<std::string>{"docs\\guide.txt"}));
    session->Close();
    EXPECT_EQ(session->WaitForExit(), 0u);

    // "&Yes" after a wrong password that passes the one-byte check.
    std::string password;
    ASSERT_TRUE(ReadWholeFile(FixturePath("encrypted-collision.exe.password"), password));
    Start("encrypted-collision.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\only.txt", "mine");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, password));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    Answer(OverwriteCaption, Yes);
    WaitForStatus(FailureSummary);
    EXPECT_EQ(FilesUnder(outDir), (FileMap{{"only.txt", "mine"}}));
}

TEST_F(Extraction, UndecodableMembersAreCheckedAfterTheOverwriteDecisionWithoutAPassword)
{
    // Skip mode passes over an existing file whatever its member's method.
    Start("bzip2-member.exe");
    CreateDirectoryA(outDir.c_str(), nullptr);
    WriteWholeFile(outDir + "\\packed.txt", "keep me");
    ASSERT_TRUE(session->Click(Skip));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir),
              (FileMap{{"first.txt", "first\n"}, {"packed.txt", "keep me"}, {"last.txt", "last\n"}}));
    session->Close();
    EXPECT_EQ(session->WaitForExit(), 0u);

    // WinZip AES and strong encryption: no password prompt, the method box
    // after the policy's decision, and nothing created.
    for (const char* fixture : {"aes.exe", "strong-encryption.exe", "strong-unencrypted.exe"}) {
        SCOPED_TRACE(fixture);
        bool pair = std::string(fixture) == "aes.exe";
        Start(fixture);
        CreateDirectoryA(outDir.c_str(), nullptr);
        if (pair)
            WriteWholeFile(outDir + "\\one.txt", "mine");
        ASSERT_TRUE(session->Click(Skip));
        ASSERT_TRUE(session->Click(ExtractButton));
        EXPECT_EQ(session->WaitForMessageBox(UnableCaption), "Unsupported compression method");
        EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
        ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
        Sleep(300);
        EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);
        EXPECT_EQ(FilesUnder(outDir), pair ? FileMap({{"one.txt", "mine"}}) : FileMap());
        session->Close();
        EXPECT_EQ(session->WaitForExit(), 0u);
    }
}

}  // namespace

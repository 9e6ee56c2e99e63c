// Names in every script, driven from a test program that runs in UTF-8 itself
// (Utf8Process.manifest), so that its ANSI calls see the names whole. The
// stub runs in UTF-8 unless ZELVIX_E2E_CODE_PAGE_MODE says that the fixtures
// carry its code-page variant; the system's code page is the Unix locale's
// (1252 by default, 1251 and 932 in the ctest runs that set LC_ALL).
#include "fsutil/MemberName.h"
#include "resources/ChooserIds.h"
#include "resources/ResourceIds.h"
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace e2e;

namespace {

bool StubInCodePageMode()
{
    return std::getenv("ZELVIX_E2E_CODE_PAGE_MODE") != nullptr;
}

// Paths as Windows compares them: the chooser's listing may change the case.
::testing::AssertionResult SamePath(const std::string& a, const std::string& b)
{
    if (lstrcmpiA(a.c_str(), b.c_str()) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "[" << a << "] is not [" << b << "]";
}

std::vector<std::string> Sorted(std::vector<std::string> items)
{
    std::sort(items.begin(), items.end());
    return items;
}

UINT SystemAnsiCodePage()
{
    DWORD codePage = 0;
    GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPSTR>(&codePage), sizeof codePage);
    return codePage;
}

class UnicodeNames : public ::testing::Test {
protected:
    std::unique_ptr<SfxSession> session;
    std::string outDir;

    void SetUp() override { ASSERT_EQ(GetACP(), 65001u) << "the test program's manifest was not honoured"; }

    void Start(const std::string& fixture, const std::string& destination = "out")
    {
        session = std::make_unique<SfxSession>(fixture);
        ASSERT_TRUE(session->Launch());
        ASSERT_TRUE(session->WaitForMainWindow());
        outDir = session->WorkFile(destination);
        ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, outDir));
    }

    void Restore(bool restore)
    {
        if (session->IsChecked(IDC_RESTOREDIRS) != restore)
            ASSERT_TRUE(session->Click(IDC_RESTOREDIRS));
        ASSERT_TRUE(WaitUntil([&] { return session->IsChecked(IDC_RESTOREDIRS) == restore; }));
    }

    template <typename Predicate>
    static bool WaitUntil(Predicate done)
    {
        for (DWORD waited = 0; waited < TimeoutMs(DefaultTimeoutMs); waited += 50, Sleep(50))
            if (done())
                return true;
        return done();
    }

    void ExtractAndExpect(const char* summary)
    {
        ASSERT_TRUE(session->Click(IDOK));
        EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == summary; }))
            << session->ControlText(IDC_STATUS) << "\n"
            << session->Describe();
    }

    // Expects one "Unable to extract..." box for each name, in order, each
    // giving its reason, and closes them.
    void ExpectRefusals(const std::vector<std::pair<std::string, std::string>>& refusals)
    {
        for (const auto& [name, why] : refusals) {
            std::string text = session->WaitForMessageBox(UnableCaption);
            EXPECT_EQ(text.rfind(name + "\r\n", 0), 0u) << text;
            EXPECT_NE(text.find(why), std::string::npos) << text;
            ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
        }
    }

    FileMap Expected(const std::string& fixture) const { return FilesUnder(FixturePath(fixture + ".files")); }

    FileMap ExpectedFlat(const std::string& fixture) const
    {
        FileMap flat;
        for (const auto& [path, bytes] : Expected(fixture))
            flat[path.substr(path.rfind('\\') + 1)] = bytes;
        return flat;
    }

    void TearDown() override
    {
        if (session && !session->HasExited()) {
            session->Close();
            session->WaitForExit();
        }
    }
};

std::string LongName()  // as unicode.py makes it
{
    std::string name;
    for (int i = 0; i < 100; ++i)
        name += i == 80 ? "\\長" : "長";
    return name + ".txt";
}

// The six names of a new user's first archive and a name of 100 Japanese
// characters, with directories restored and without, then the confirmation
// naming the file already there.
TEST_F(UnicodeNames, EveryScriptIsListedAndExtractedUnderItsOwnName)
{
    if (StubInCodePageMode())
        GTEST_SKIP() << "code page " << SystemAnsiCodePage() << " cannot write them all";
    Start("unicode-scripts.exe");
    EXPECT_EQ(Sorted(session->ListItems(IDC_MEMBERLIST)),
              Sorted({"café.txt", "Ελληνικά\\κείμενο.txt", "Привет.txt", "中文.txt", "日本語\\表.txt", "😀.txt",
                      LongName()}));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("unicode-scripts.exe"));

    Restore(false);
    ASSERT_TRUE(session->Click(IDC_SELECTALL));
    ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, outDir + "\\flat"));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir + "\\flat"), ExpectedFlat("unicode-scripts.exe"));

    std::vector<std::string> flat = session->ListItems(IDC_MEMBERLIST);
    int russian = static_cast<int>(std::find(flat.begin(), flat.end(), "Привет.txt") - flat.begin());
    ASSERT_TRUE(session->SetItemSelected(IDC_MEMBERLIST, russian, true));  // into the first folder again
    ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, outDir));
    ASSERT_TRUE(session->SetControlText(IDC_STATUS, ""));
    ASSERT_TRUE(WriteWholeFile(outDir + "\\Привет.txt", "mine"));
    ASSERT_TRUE(session->Click(IDOK));
    EXPECT_EQ(session->DialogText(OverwriteCaption, IDC_EXISTQUESTION), "Привет.txt...already exists, overwrite?");
    ASSERT_TRUE(session->AnswerDialog(OverwriteCaption, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == SuccessSummary; }));
    EXPECT_EQ(FilesUnder(outDir)["Привет.txt"], Expected("unicode-scripts.exe")["Привет.txt"]);
}

// U+FF3C and U+2215 are characters of a name in UTF-8, not separators: the
// files land inside the destination under their own names.
TEST_F(UnicodeNames, LookalikeSlashesStayInsideTheDestinationUnderTheirOwnNames)
{
    if (StubInCodePageMode())
        GTEST_SKIP() << "refused in a code page (Extraction.Utf8NamesWithoutAnExactFormAreRefusedSayingWhy)";
    Start("unicode-lookalikes.exe", "Документы\\新しい");  // an extract path in two scripts
    ASSERT_TRUE(session->Click(IDOK));
    ExpectRefusals({{"bad\xEF\xBF\xBD(.txt", "is not valid UTF-8."}});
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == FailureSummary; }));
    EXPECT_EQ(FilesUnder(outDir), Expected("unicode-lookalikes.exe"));
    EXPECT_EQ(FilesUnder(session->WorkDirectory()).size(), 3u) << "the program and the two files only";
}

// Without directories only the file name is written, so only it may refuse a
// member: a folder a code page cannot write, or one that is not UTF-8.
TEST_F(UnicodeNames, AFolderThatIsNotRestoredRefusesNothing)
{
    Start("unicode-folders.exe");
    Restore(false);
    ASSERT_TRUE(session->Click(IDC_SELECTALL));
    ExtractAndExpect(SuccessSummary);
    EXPECT_EQ(FilesUnder(outDir), Expected("unicode-folders.exe"));

    Restore(true);
    ASSERT_TRUE(session->Click(IDC_SELECTALL));
    ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, outDir + "\\tree"));
    ASSERT_TRUE(session->Click(IDOK));
    if (StubInCodePageMode())
        ExpectRefusals({{"??\\readme.txt", "has characters this system cannot write."}});
    std::string text = session->WaitForMessageBox(UnableCaption);
    EXPECT_NE(text.find("is not valid UTF-8."), std::string::npos) << text;
    ASSERT_TRUE(session->DismissMessageBox(UnableCaption));
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == FailureSummary; }));
}

// Names without bit 11 are read in the system's code page (ctest runs this
// under ru_RU.UTF-8 and ja_JP.UTF-8); bytes that are no text there are
// refused, in a folder only while directories are restored.
TEST_F(UnicodeNames, NamesWithoutTheUtf8FlagAreReadInTheSystemCodePage)
{
    UINT system = SystemAnsiCodePage();
    if (system != 1251 && system != 932)
        GTEST_SKIP() << "system code page " << system;
    std::string fixture = system == 1251 ? "unicode-cp1251.exe" : "unicode-cp932.exe";
    Start(fixture);
    ASSERT_TRUE(session->Click(IDOK));
    bool refuses = system == 932 && !StubInCodePageMode();  // a code page takes the bytes as they are
    const char* why = "is not valid in this system's code page.";
    if (refuses)
        ExpectRefusals({{"\xEF\xBF\xBD ad.txt", why}, {"\xEF\xBF\xBD ad\\ok.txt", why}});
    const char* summary = refuses ? FailureSummary : SuccessSummary;
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == summary; }));
    FileMap extracted = FilesUnder(outDir);
    FileMap expected = Expected(fixture);
    if (system == 932 && !refuses) {
        // The bytes 81 20, taken as they are, under whatever names this system gives them.
        for (auto file = extracted.begin(); file != extracted.end();)
            file = expected.count(file->first) ? std::next(file) : extracted.erase(file);
        EXPECT_EQ(FilesUnder(outDir).size(), expected.size() + 2);
    }
    EXPECT_EQ(extracted, expected);
    if (!refuses)
        return;

    Restore(false);
    ASSERT_TRUE(session->Click(IDC_SELECTALL));
    ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, outDir + "\\flat"));
    ASSERT_TRUE(session->Click(IDOK));
    ExpectRefusals({{"\xEF\xBF\xBD ad.txt", why}});
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == FailureSummary; }));
    EXPECT_EQ(FilesUnder(outDir + "\\flat"), (FileMap{{"ok.txt", "ok\r\n"}, {"表.txt", "plain\r\n"}}));
}

// A password's bytes are the system's code page, as archivers take what is
// typed, while the stub's own text is UTF-8.
TEST_F(UnicodeNames, APasswordIsTakenInTheSystemCodePage)
{
    if (SystemAnsiCodePage() != 1252)
        GTEST_SKIP() << "system code page " << SystemAnsiCodePage();
    Start("unicode-password.exe");
    ASSERT_TRUE(session->Click(IDOK));
    ASSERT_TRUE(session->SetDialogText("Enter Password...", IDC_PASSWORD, "café"));
    ASSERT_TRUE(session->AnswerDialog("Enter Password...", IDOK));
    EXPECT_TRUE(WaitUntil([&] { return session->ControlText(IDC_STATUS) == SuccessSummary; }))
        << session->ControlText(IDC_STATUS);
    EXPECT_EQ(FilesUnder(outDir), Expected("unicode-password.exe"));
}

// Each name becomes UTF-8 where the header is read, as the stub does it in
// this process's code page (UTF-8): rows for other system code pages are
// passed over (ctest runs this under 1252, 1251 and 932).
TEST(StoredNames, BecomeUtf8ReadInTheSystemCodePage)
{
    struct Case {
        UINT codePage;
        bool markedUtf8;
        std::string stored;
        std::string text;
        NameFault fault;
    };
    std::string japanese, shiftJis;
    for (int i = 0; i < 100; ++i) {
        japanese += "表";
        shiftJis += "\x95\x5C";  // its second byte is the backslash's
    }
    const Case cases[] = {
        {0, true, "Привет/😀.txt", "Привет/😀.txt", NameFault::None},
        {0, true, "\xC0\xAF.txt", "\xC0\xAF.txt", NameFault::NotUtf8},          // an overlong "/"
        {0, true, "\xED\xA0\x80.txt", "\xED\xA0\x80.txt", NameFault::NotUtf8},  // a surrogate
        {0, true, "\xF4\x90\x80\x80", "\xF4\x90\x80\x80", NameFault::NotUtf8},  // past U+10FFFF
        {1252, false, "caf\xE9 \x80.txt", "café €.txt", NameFault::None},
        {1251, false, "\xCF\xF0\xE8\xE2\xE5\xF2.txt", "Привет.txt", NameFault::None},
        {932, false, "\x95\x5C\\\xB2.txt", "表\\ｲ.txt", NameFault::None},
        {932, false, shiftJis + ".txt", japanese + ".txt", NameFault::None},  // 100 characters
        {932, false, "\x81 ad.txt", "\x81 ad.txt", NameFault::NotInSystemCodePage},
    };
    SetUpNameText();
    ASSERT_EQ(::SystemCodePage, SystemAnsiCodePage());
    for (const Case& c : cases) {
        if (c.codePage != 0 && c.codePage != ::SystemCodePage)
            continue;
        SCOPED_TRACE(c.stored);
        std::vector<char> name(DisplayNameSize);
        std::copy(c.stored.begin(), c.stored.end(), name.begin());
        EXPECT_EQ(TakeStoredName(name.data(), c.markedUtf8), c.fault);
        EXPECT_EQ(std::string(name.data()), c.text);
    }
}

// The chooser opens in a Cyrillic folder and New... makes a Japanese one in
// it; the label of each entry is drawn from its UTF-16 form.
TEST_F(UnicodeNames, TheChooserOpensAndCreatesFoldersInAnyScript)
{
    if (StubInCodePageMode())
        GTEST_SKIP() << "code page " << SystemAnsiCodePage() << " cannot write them";
    Start("unicode-cp1251.exe");
    std::string documents = session->WorkFile("d1\\Документы");
    ASSERT_TRUE(CreateDirectoryA(session->WorkFile("d1").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(documents.c_str(), nullptr));
    ASSERT_TRUE(session->SetControlText(IDC_EXTRACTPATH, documents));
    ASSERT_TRUE(session->Click(IDC_BROWSE));
    HWND chooser = session->WaitForDialog("Select extract directory");
    ASSERT_TRUE(chooser) << session->Describe();
    EXPECT_TRUE(SamePath(WindowText(GetDlgItem(chooser, IDC_LISTEDDIR)), documents));
    ASSERT_TRUE(PostClick(GetDlgItem(chooser, IDC_NEWDIR)));
    HWND dialog = session->WaitForDialog("Create subdirectory");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(SetText(GetDlgItem(dialog, IDC_NEWDIRNAME), "新しい"));
    ASSERT_TRUE(PostClick(GetDlgItem(dialog, IDOK)));
    ASSERT_TRUE(session->WaitForWindowGone(dialog));
    WaitUntil([&] { return SamePath(WindowText(GetDlgItem(chooser, IDC_LISTEDDIR)), documents + "\\新しい"); });
    EXPECT_TRUE(SamePath(WindowText(GetDlgItem(chooser, IDC_LISTEDDIR)), documents + "\\新しい"));
    ASSERT_TRUE(PostClick(GetDlgItem(chooser, IDOK)));
    ASSERT_TRUE(session->WaitForWindowGone(chooser));
    WaitUntil([&] { return SamePath(session->ControlText(IDC_EXTRACTPATH), documents + "\\新しい\\"); });
    EXPECT_TRUE(SamePath(session->ControlText(IDC_EXTRACTPATH), documents + "\\新しい\\"));
    DWORD attributes = GetFileAttributesA((documents + "\\新しい").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace

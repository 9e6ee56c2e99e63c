// Every member has a list item of its own, whatever its name and wherever it
// stands in the archive (fixtures/members.py).
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace e2e;

namespace {

enum {
    PathField = 101,
    MemberList = 301,
    RestoreDirs = 401,
    Overwrite = 501,
    ExtractButton = 1,
    Status = 601,
    Yes = 1,
    No = 2
};

// What is on disk, by upper-case path: Windows names equal but for case are one file.
FileMap FilesIgnoringCase(const std::string& root)
{
    FileMap files;
    for (const auto& [path, bytes] : FilesUnder(root)) {
        std::string upper = path;
        CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
        files[upper] = bytes;
    }
    return files;
}

class MemberItems : public ::testing::Test {
protected:
    std::unique_ptr<SfxSession> session;

    void Start(const std::string& fixture, int members)
    {
        session = std::make_unique<SfxSession>(fixture);
        ASSERT_TRUE(session->Launch());
        ASSERT_TRUE(session->WaitForMainWindow());
        ASSERT_EQ(session->ListCount(MemberList), members);
    }

    void ExtractInto(const std::string& folder)
    {
        ASSERT_TRUE(session->SetControlText(PathField, session->WorkFile(folder)));
        ASSERT_TRUE(session->Click(ExtractButton));
    }

    void ExpectSummary()
    {
        for (DWORD waited = 0; waited < TimeoutMs(20000) && session->ControlText(Status) != SuccessSummary;
             waited += 50)
            Sleep(50);
        EXPECT_EQ(session->ControlText(Status), SuccessSummary) << session->Describe();
        EXPECT_EQ(session->SelectedCount(MemberList), 0);
    }

    void Answer(int button, const std::string& question)
    {
        HWND prompt = session->WaitForDialog(OverwriteCaption);
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(session->DialogText(OverwriteCaption, 101), question);
        ASSERT_TRUE(PostClick(GetDlgItem(prompt, button)));
        ASSERT_TRUE(session->WaitForWindowGone(prompt));
    }

    void TearDown() override
    {
        if (session && !session->HasExited()) {
            session->Close();
            session->WaitForExit();
        }
    }
};

TEST_F(MemberItems, NamesEqualButForCaseAreEachExtractedAndMeetTheOverwritePolicy)
{
    Start("case-pairs.exe", 4);
    ExtractInto("out");
    // The second of each pair finds the first one's file.
    Answer(Yes, "a.txt...already exists, overwrite?");
    Answer(No, "x...already exists, overwrite?");
    ExpectSummary();
    EXPECT_EQ(FilesIgnoringCase(session->WorkFile("out")),
              (FileMap{{"A.TXT", "lower a\n"}, {"DIR\\X", "upper DIR x\n"}}));
}

TEST_F(MemberItems, AnArchiveInReverseNameOrderExtractsInFull)
{
    Start("reverse-order.exe", 12);
    ExtractInto("tree");
    ExpectSummary();
    EXPECT_EQ(FilesUnder(session->WorkFile("tree")), FilesUnder(FixturePath("reverse-order.exe.files")));

    // Without stored directories each file name stands for three members:
    // every one is extracted, and the last in the archive (d0) is the one kept.
    ASSERT_TRUE(session->Click(RestoreDirs));
    ASSERT_TRUE(session->Click(Overwrite));
    for (DWORD waited = 0; waited < TimeoutMs(5000) && session->ListItems(MemberList).front() != "f0.txt";
         waited += 50)
        Sleep(50);
    ASSERT_EQ(session->ListItems(MemberList).front(), "f0.txt");
    ASSERT_EQ(session->SelectedCount(MemberList), 12);
    ExtractInto("flat");
    ExpectSummary();
    FileMap flat;
    for (int f = 0; f < 4; ++f)
        flat["f" + std::to_string(f) + ".txt"] = "contents of d0/f" + std::to_string(f) + ".txt\n";
    EXPECT_EQ(FilesUnder(session->WorkFile("flat")), flat);
}

}  // namespace

// Archives made by `mksfx create` (fixtures/mksfx.py) extract in the stub:
// deflated and stored members, nested directories, an empty file, and the
// traditional encryption with the header mksfx writes. Skipped when the
// fixtures were made without an mksfx.
#include "tests/win32/e2e/SfxSession.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

using namespace e2e;

namespace {

const char SuccessSummary[] = "CRC validation passed on all file( s )... extraction successful";
const char PasswordCaption[] = "Enter Password...";
enum { PathField = 101, MemberList = 301, ExtractButton = 1, Status = 601, PromptField = 101 };

bool WaitForStatus(const SfxSession& session, const std::string& expected)
{
    DWORD limit = TimeoutMs(20000);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (session.ControlText(Status) == expected)
            return true;
        Sleep(50);
    }
    return session.ControlText(Status) == expected;
}

class MksfxArchive : public ::testing::Test {
protected:
    std::unique_ptr<SfxSession> session;
    std::string outDir;

    // Starts the fixture with extraction into "out" of its working directory.
    void Start(const std::string& fixture)
    {
        session = std::make_unique<SfxSession>(fixture);
        ASSERT_TRUE(session->Launch());
        ASSERT_TRUE(session->WaitForMainWindow());
        outDir = session->WorkFile("out");
        ASSERT_TRUE(session->SetControlText(PathField, outDir));
    }

    void TearDown() override
    {
        if (session && !session->HasExited()) {
            session->Close();
            session->WaitForExit();
        }
    }
};

bool FixtureExists(const std::string& name)
{
    return GetFileAttributesA(FixturePath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(MksfxArchive, PlainArchiveExtractsByteForByte)
{
    if (!FixtureExists("mksfx_plain.exe"))
        GTEST_SKIP() << "made without mksfx";
    Start("mksfx_plain.exe");
    EXPECT_EQ(session->ListCount(MemberList), 4);  // directory entries are not listed
    ASSERT_TRUE(session->Click(ExtractButton));
    EXPECT_TRUE(WaitForStatus(*session, SuccessSummary)) << session->Describe();
    EXPECT_EQ(FilesUnder(outDir), FilesUnder(FixturePath("mksfx_plain.exe.files")));
}

TEST_F(MksfxArchive, EncryptedArchiveTakesItsPasswordOnceAndExtractsByteForByte)
{
    if (!FixtureExists("mksfx_encrypted.exe"))
        GTEST_SKIP() << "made without mksfx";
    std::string password;
    ASSERT_TRUE(ReadWholeFile(FixturePath("mksfx_encrypted.exe.password"), password));
    Start("mksfx_encrypted.exe");
    ASSERT_TRUE(session->Click(ExtractButton));
    ASSERT_TRUE(session->SetDialogText(PasswordCaption, PromptField, password));
    ASSERT_TRUE(session->AnswerDialog(PasswordCaption, IDOK));
    EXPECT_TRUE(WaitForStatus(*session, SuccessSummary)) << session->Describe();
    EXPECT_EQ(session->FindDialog(PasswordCaption), nullptr);  // one prompt for every member
    EXPECT_EQ(FilesUnder(outDir), FilesUnder(FixturePath("mksfx_encrypted.exe.files")));
}

}  // namespace

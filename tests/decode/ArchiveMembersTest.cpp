#include "tests/support/ArchiveMembers.h"

#include "archive/LocalHeader.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Source files that exercise the decoders: text, a program, incompressible
// data, runs, and sizes at the window's edges.
class RealArchives : public ::testing::Test {
protected:
    TempDir dir;
    std::map<std::string, Bytes> sources;

    void SetUp() override
    {
        std::string text;
        for (int i = 0; text.size() < 300000; ++i)
            text += "line " + std::to_string(i * 7919 % 10007) + " of the member list, extracted\n";
        Add("text.txt", Bytes(text.begin(), text.end()));
        Bytes program = ReadWholeFile("/proc/self/exe");
        program.resize(std::min<size_t>(program.size(), 3u << 20));
        Add("program.bin", program);
        Add("random.bin", RandomBytes(100000, 11));
        Add("window.bin", RandomBytes(32768, 12));
        Add("window+1.bin", RandomBytes(32769, 13));
        Add("runs.bin", Bytes(1 << 20, 'r'));
        Add("empty.txt", Bytes());
        Add("sub/one.txt", Bytes{'1'});
    }
    void Add(const std::string& name, const Bytes& bytes)
    {
        sources[name] = bytes;
        WriteWholeFile(dir / ("src/" + name), bytes);
    }
    std::string Make(const std::string& archive, const std::string& command)
    {
        std::string path = dir / archive;
        RunOrFail("cd " + ShellQuote(dir / "src") + " && " + command + " " + ShellQuote(path) +
                  " . >/dev/null 2>&1");
        return path;
    }
    // Every file member decoded, verified and equal to its source.
    void ExpectAllMembersDecode(const std::vector<DecodedMember>& members, bool encrypted)
    {
        size_t files = 0;
        for (const DecodedMember& member : members) {
            if (!member.name.empty() && member.name.back() == '/')
                continue;
            SCOPED_TRACE(member.name);
            std::string name = member.name.rfind("./", 0) == 0 ? member.name.substr(2) : member.name;
            ASSERT_EQ(sources.count(name), 1u);
            EXPECT_EQ((member.flags & FlagEncrypted) != 0, encrypted);
            EXPECT_TRUE(member.passwordAccepted);
            EXPECT_TRUE(member.decoded);
            EXPECT_TRUE(member.crcMatches);
            EXPECT_TRUE(member.output == sources[name]);
            ++files;
        }
        EXPECT_EQ(files, sources.size());
    }
};

}  // namespace

TEST_F(RealArchives, InfoZipAtEveryLevel)
{
    for (const char* level : {"-0", "-1", "-6", "-9"}) {
        SCOPED_TRACE(level);
        std::string path = Make(std::string("zip") + level + ".zip", std::string("zip -q -r ") + level);
        ExpectAllMembersDecode(DecodeArchive(path), false);
    }
}

TEST_F(RealArchives, SevenZipDeflate)
{
    std::string path = Make("7z.zip", "7z a -tzip -mm=Deflate -mx=9");
    ExpectAllMembersDecode(DecodeArchive(path), false);
}

TEST_F(RealArchives, InfoZipEncryptedMembersCheckTheTimeByte)
{
    for (const char* level : {"-0", "-6"}) {
        SCOPED_TRACE(level);
        std::string path = Make(std::string("zipP") + level + ".zip", std::string("zip -q -r -P secret ") + level);
        std::vector<DecodedMember> members = DecodeArchive(path, "secret");
        ExpectAllMembersDecode(members, true);
        for (const DecodedMember& member : members)
            if (member.flags & FlagEncrypted)
                EXPECT_TRUE(member.flags & FlagDataDescriptor) << member.name;
    }
}

TEST_F(RealArchives, SevenZipZipCryptoMembersCheckTheCrcByte)
{
    for (const char* method : {"-mx=0", "-mm=Deflate -mx=9"}) {
        SCOPED_TRACE(method);
        std::string path = Make(std::string("7zP") + method[4] + ".zip",
                                std::string("7z a -tzip -psecret -mem=ZipCrypto ") + method);
        std::vector<DecodedMember> members = DecodeArchive(path, "secret");
        ExpectAllMembersDecode(members, true);
        for (const DecodedMember& member : members)
            if (member.flags & FlagEncrypted)
                EXPECT_FALSE(member.flags & FlagDataDescriptor) << member.name;
    }
}

TEST_F(RealArchives, WrongPasswordsAreRejectedOrFailTheCrc)
{
    std::string infoZip = Make("wrong-zip.zip", "zip -q -r -P secret -6");
    std::string sevenZip = Make("wrong-7z.zip", "7z a -tzip -psecret -mem=ZipCrypto -mm=Deflate");
    size_t checks = 0, rejected = 0;
    for (const std::string& path : {infoZip, sevenZip}) {
        for (const char* password : {"Secret", "secret ", "wrong", "s", "0123456789abcdefghijklmn", "terces"}) {
            for (const DecodedMember& member : DecodeArchive(path, password)) {
                if (!(member.flags & FlagEncrypted))
                    continue;
                ++checks;
                const Bytes& source = sources[member.name.substr(member.name.rfind("./", 0) == 0 ? 2 : 0)];
                if (!member.passwordAccepted)
                    ++rejected;
                else if (!source.empty())  // the check byte matched by chance (1 in 256): the data cannot verify
                    EXPECT_FALSE(member.decoded && member.crcMatches && member.output == source) << member.name;
                // An empty member has no data to get wrong: a password that passes
                // the check byte "extracts" it, whatever the password was.
            }
        }
        for (const DecodedMember& member : DecodeArchive(path, ""))
            if (member.flags & FlagEncrypted)
                EXPECT_FALSE(member.passwordAccepted) << "empty password";
    }
    EXPECT_GE(rejected * 10, checks * 9) << rejected << " of " << checks;
}

TEST_F(RealArchives, MembersBehindAStub)
{
    std::string path = Make("stubbed.zip", "zip -q -r -6");
    WriteWholeFile(dir / "sfx.exe", WithFakeStub(ReadWholeFile(path)));
    // Info-ZIP's offsets do not know about the stub, but the local headers are
    // found by walking from the stub's end.
    ExpectAllMembersDecode(DecodeArchive(dir / "sfx.exe", "", static_cast<uint32_t>(WithFakeStub({}).size())),
                           false);
}

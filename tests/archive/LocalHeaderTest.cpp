#include "archive/LocalHeader.h"

#include "archive/StubSize.h"
#include "fileio/FileIo.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct WalkedMember {
    std::string name;  // raw name bytes up to the first zero byte
    uint32_t start;
    uint64_t dataOffset;
    LocalFileHeader header;
};

struct Walk {
    std::vector<WalkedMember> members;
    WalkEnd end = WalkEnd::NotEnded;
};

// Walks a self-extracting file the way every archive pass does: from the stub
// size, header by header, never reading the central directory.
Walk WalkFile(const std::string& path)
{
    Walk walk;
    ArchiveFile = OpenFileForReading(path.c_str());
    EXPECT_NE(ArchiveFile, NoFile);
    SeekArchive(StubSize);
    EXPECT_EQ(CurrentHeaderOffset, static_cast<int32_t>(StubSize));
    bool more = ReadLocalHeader();
    if (!more)
        walk.end = ClassifyWalkEnd();
    for (int guard = 0; more && guard < 100000; ++guard) {
        WalkedMember member;
        member.start = static_cast<uint32_t>(CurrentHeaderOffset);
        member.header = CurrentHeader;
        member.dataOffset = LayOutMember(member.start, member.header).dataOffset;
        std::string raw(member.header.nameLength, '\0');
        ReadFromFile(ArchiveFile, raw.data(), member.header.nameLength);
        member.name = raw.c_str();
        walk.members.push_back(member);
        more = StepToNextMember(member.start, member.header, &walk.end);
    }
    CloseFile(ArchiveFile);
    ArchiveFile = NoFile;
    return walk;
}

class ArchiveWalk : public ::testing::Test {
protected:
    TempDir dir;

    // Builds an archive with a shell command run in a folder of source files,
    // then appends it to a stand-in stub.
    std::string MakeSfx(const std::string& command, const std::string& zipName = "a.zip")
    {
        WriteWholeFile(dir / "src/hello.txt", "hello, world\n");
        WriteWholeFile(dir / "src/docs/readme.txt", std::string(5000, 'r'));
        WriteWholeFile(dir / "src/bin/random.dat", RandomBytes(70000, 3));
        RunOrFail("cd " + ShellQuote(dir / "src") + " && " + command + " >/dev/null");
        std::string sfx = dir / "a.exe";
        WriteWholeFile(sfx, WithFakeStub(ReadWholeFile(dir / ("src/" + zipName))));
        return sfx;
    }

    std::string SfxFromPython(const std::string& script)
    {
        WriteWholeFile(dir / "make.py", script);
        RunOrFail("cd " + ShellQuote(dir.path()) + " && python3 make.py");
        std::string sfx = dir / "a.exe";
        WriteWholeFile(sfx, WithFakeStub(ReadWholeFile(dir / "a.zip")));
        return sfx;
    }
};

TEST_F(ArchiveWalk, FindsEveryMemberOfAnInfoZipArchiveAndEndsAtTheCentralDirectory)
{
    Walk walk = WalkFile(MakeSfx("zip -q -r a.zip hello.txt docs bin"));
    std::vector<std::string> names;
    for (const auto& m : walk.members)
        names.push_back(m.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"hello.txt", "docs/", "docs/readme.txt", "bin/", "bin/random.dat"}));
    EXPECT_EQ(walk.end, WalkEnd::AtCentralDirectory);
    EXPECT_EQ(walk.members[0].start, StubSize);
    EXPECT_EQ(walk.members[2].header.method, 8);
    EXPECT_EQ(walk.members[2].header.uncompressedSize, 5000u);
}

TEST_F(ArchiveWalk, StepsOverExtraFieldsToTheData)
{
    // Info-ZIP writes extended-timestamp and Unix extra fields; the data starts after them.
    Walk walk = WalkFile(MakeSfx("zip -q -0 a.zip hello.txt"));
    ASSERT_EQ(walk.members.size(), 1u);
    const WalkedMember& m = walk.members[0];
    EXPECT_GT(m.header.extraLength, 0);
    Bytes file = ReadWholeFile(dir / "a.exe");
    std::string data(file.begin() + static_cast<long>(m.dataOffset),
                     file.begin() + static_cast<long>(m.dataOffset + m.header.compressedSize));
    EXPECT_EQ(data, "hello, world\n");
    EXPECT_EQ(walk.end, WalkEnd::AtCentralDirectory);
}

TEST_F(ArchiveWalk, ReadsPythonZipfileArchivesWithCustomExtraFields)
{
    Walk walk = WalkFile(SfxFromPython(R"(
import zipfile
with zipfile.ZipFile('a.zip', 'w') as z:
    info = zipfile.ZipInfo('with-extra.txt')
    info.extra = b'\xfe\xca\x04\x00abcd'
    z.writestr(info, 'payload')
    z.writestr('plain.txt', 'x' * 408, compress_type=zipfile.ZIP_DEFLATED)
)"));
    ASSERT_EQ(walk.members.size(), 2u);
    EXPECT_EQ(walk.members[0].name, "with-extra.txt");
    EXPECT_EQ(walk.members[0].header.extraLength, 8);
    EXPECT_EQ(walk.members[0].dataOffset, StubSize + 30u + 14u + 8u);
    EXPECT_EQ(walk.members[1].name, "plain.txt");
    EXPECT_EQ(walk.end, WalkEnd::AtCentralDirectory);
}

TEST_F(ArchiveWalk, BytesThatAreNoHeaderYieldNoMembers)
{
    std::string sfx = dir / "junk.exe";
    WriteWholeFile(sfx, WithFakeStub(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'}));
    Walk walk = WalkFile(sfx);
    EXPECT_TRUE(walk.members.empty());
    EXPECT_EQ(walk.end, WalkEnd::Damaged);

    WriteWholeFile(sfx, WithFakeStub(Bytes{0x50}));  // one byte after the stub
    EXPECT_TRUE(WalkFile(sfx).members.empty());
}

// A local header whose signature and sizes the test chooses; the name follows it.
Bytes HandMadeMember(uint32_t signature, const std::string& name, uint32_t compressedSize, const Bytes& data)
{
    Bytes out(30 + name.size() + data.size(), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, signature);
    put32(18, compressedSize);
    put32(22, compressedSize);
    out[26] = static_cast<uint8_t>(name.size());
    std::copy(data.begin(), data.end(), std::copy(name.begin(), name.end(), out.begin() + 30));
    return out;
}

TEST_F(ArchiveWalk, NameIsCutAtAZeroByte)
{
    std::string sfx = dir / "zero.exe";
    WriteWholeFile(sfx, WithFakeStub(HandMadeMember(LocalHeaderSignature, std::string("ab\0cd.txt", 9), 0, {})));
    Walk walk = WalkFile(sfx);
    ASSERT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(walk.members[0].name, "ab");
    EXPECT_EQ(walk.members[0].header.nameLength, 9);
}

TEST_F(ArchiveWalk, AlternateSignaturePassesTheRecordTest)
{
    Bytes archive = HandMadeMember(0x50000000, "odd.txt", 3, Bytes{'a', 'b', 'c'});
    Bytes second = HandMadeMember(LocalHeaderSignature, "two.txt", 0, {});
    archive.insert(archive.end(), second.begin(), second.end());
    archive.insert(archive.end(), {0x50, 0x4B, 0x05, 0x06});
    std::string sfx = dir / "odd.exe";
    WriteWholeFile(sfx, WithFakeStub(archive));
    Walk walk = WalkFile(sfx);
    ASSERT_EQ(walk.members.size(), 2u);
    EXPECT_EQ(walk.members[0].name, "odd.txt");
    EXPECT_EQ(walk.members[1].start, StubSize + 30u + 7u + 3u);
    EXPECT_EQ(walk.end, WalkEnd::AtCentralDirectory);
}

TEST_F(ArchiveWalk, CompressedSizeReachingBeyondFourGigabytesEndsTheWalkAsDamaged)
{
    // Wrapping round in 32 bits would land on the member's own header and walk for ever.
    uint32_t wrap = 0xFFFFFFFFu - (StubSize + 30u + 5u) + 1u;
    std::string sfx = dir / "wrap.exe";
    WriteWholeFile(sfx, WithFakeStub(HandMadeMember(LocalHeaderSignature, "a.txt", wrap, {})));
    Walk walk = WalkFile(sfx);
    EXPECT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(walk.end, WalkEnd::Damaged);
}

TEST_F(ArchiveWalk, TruncatedArchiveEndsAsDamaged)
{
    std::string sfx = MakeSfx("zip -q a.zip hello.txt bin/random.dat");
    Bytes file = ReadWholeFile(sfx);
    file.resize(file.size() - 40000);  // cut inside the second member's data
    WriteWholeFile(sfx, file);
    Walk walk = WalkFile(sfx);
    EXPECT_EQ(walk.members.size(), 2u);
    EXPECT_EQ(walk.end, WalkEnd::Damaged);
}

TEST_F(ArchiveWalk, StepsOverDescriptorsThatRepeatTheLocalHeader)
{
    // Info-ZIP's -P sets flag bit 3 and writes a descriptor after each encrypted
    // member although the local header already carries the same values.
    Walk walk = WalkFile(MakeSfx("zip -q -X -D -P secret a.zip hello.txt docs/readme.txt bin/random.dat"));
    ASSERT_EQ(walk.members.size(), 3u);
    EXPECT_EQ(walk.members[0].header.flags & 0x0009, 0x0009);
    EXPECT_EQ(walk.members[2].name, "bin/random.dat");
    EXPECT_EQ(walk.end, WalkEnd::AtCentralDirectory);
}

TEST_F(ArchiveWalk, StopsAtADescriptorThatDisagreesWithTheLocalHeader)
{
    std::string sfx = MakeSfx("zip -q -X -D -P secret a.zip hello.txt docs/readme.txt");
    Walk before = WalkFile(sfx);
    ASSERT_EQ(before.members.size(), 2u);
    const Bytes file = ReadWholeFile(sfx);
    uint64_t descriptor = before.members[0].dataOffset + before.members[0].header.compressedSize;
    ASSERT_EQ(file[descriptor], 0x50);
    // One byte of each field changed: the descriptor agrees on the other two.
    struct Field {
        const char* name;
        uint32_t offset;  // from the descriptor's signature
    };
    for (const Field& field : {Field{"CRC-32", 4}, Field{"compressed size", 8}, Field{"uncompressed size", 12}}) {
        SCOPED_TRACE(field.name);
        Bytes changed = file;
        changed[descriptor + field.offset] ^= 0x01;
        WriteWholeFile(sfx, changed);
        Walk walk = WalkFile(sfx);
        EXPECT_EQ(walk.members.size(), 1u);
        EXPECT_EQ(walk.end, WalkEnd::Damaged);
    }
}

TEST_F(ArchiveWalk, StreamedMembersWithZeroSizesStopTheWalkAsDamaged)
{
    // A writer that streams (Python's zipfile on a pipe, jar) leaves the sizes
    // and CRC-32 of the local header at 0 and puts the real ones in a descriptor.
    Walk walk = WalkFile(SfxFromPython(R"(
import io, zipfile
class Pipe(io.RawIOBase):
    def __init__(self): self.data = bytearray()
    def writable(self): return True
    def write(self, b): self.data += b; return len(b)
pipe = Pipe()
with zipfile.ZipFile(pipe, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('one.txt', 'first member ' * 50)
    z.writestr('two.txt', 'second member')
open('a.zip', 'wb').write(pipe.data)
)"));
    ASSERT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(walk.members[0].header.flags & 0x0008, 0x0008);
    EXPECT_EQ(walk.members[0].header.compressedSize, 0u);
    EXPECT_EQ(walk.end, WalkEnd::Damaged);
}

}  // namespace

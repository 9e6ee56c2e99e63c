#include "tools/mksfx/ArchiveWalk.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/SourceArchive.h"

#include "archive/StubSize.h"
#include "fileio/FileIo.h"
#include "fsutil/PathString.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// Why the stub would not extract the member: its name, its sizes, its method
// or its flags. Empty when it would. A member whose name has no name part
// (a directory entry) is never listed by the stub, only passed over, so
// nothing but a name it cannot read refuses it.
std::string WhyStubRefusesMember(const WalkedMember& member)
{
    const LocalFileHeader& header = member.header;
    if (header.nameLength > NameBufferSize)
        return "its name is longer than " + std::to_string(NameBufferSize) + " bytes";
    if (member.name.empty())
        return "its name is empty";
    if (member.IsDirectory())
        return "";
    std::string converted = member.name;
    SlashesToBackslashes(converted.data());
    std::string unsafe = DescribeUnsafeName(converted);
    if (!unsafe.empty())
        return "its name " + unsafe;
    // A deflated member is never 0 bytes long: this one's sizes follow its data.
    if ((header.flags & FlagDataDescriptor) && header.method == MethodDeflated && header.compressedSize == 0)
        return "its sizes are in a data descriptor after its data, which the stub cannot find "
               "('mksfx convert' writes them into the header)";
    switch (WhyUndecodable(header, member.name.data(), static_cast<uint32_t>(member.name.size()))) {
    case Undecodable::None:
        break;
    case Undecodable::Method:
        return "compression method " + std::to_string(header.method) +
               "; the stub extracts stored and deflated only";
    case Undecodable::StrongEncryption:
        return "its flags mark strong encryption (bit 6); the stub decrypts the traditional cipher only";
    case Undecodable::NameNotUtf8:
        return "its name is marked as UTF-8 (flag bit 11) but is not valid UTF-8";
    }
    return "";
}

// The four bytes at `offset` of ArchiveFile as a little-endian number; 0 past the end.
uint32_t SignatureAt(uint32_t offset)
{
    uint8_t bytes[4] = {};
    if (SeekFileTo(ArchiveFile, offset) == -1 || ReadFromFile(ArchiveFile, bytes, 4) != 4)
        return 0;
    return GetLittle32(bytes);
}

// Where the central directory puts the first local header of a ZIP archive
// that the walk does not find; 0 when the file has no readable directory.
uint64_t FirstMemberOffset(const std::string& path)
{
    try {
        SourceFile source(path);
        Bytes comment;
        uint64_t first = 0;
        for (const SourceMember& member : ReadCentralDirectory(source, &comment))
            if (first == 0 || member.localHeaderOffset < first)
                first = member.localHeaderOffset;
        return first;
    } catch (const CommandError&) {
        return 0;
    }
}

}  // namespace

bool WalkedMember::IsDirectory() const
{
    return !name.empty() && (name.back() == '/' || name.back() == '\\' || name.back() == ':');
}

OpenArchive::OpenArchive(const std::string& path) : path(path)
{
    ArchiveFile = OpenFileForReading(path.c_str());
    struct stat info;
    if (ArchiveFile == NoFile || fstat(static_cast<int>(ArchiveFile), &info) != 0)
        throw CommandError(ExitFileError, "cannot open " + path + ": " + SystemErrorText(errno));
    if (!S_ISREG(info.st_mode))
        throw CommandError(ExitFileError, path + ": not a regular file");
    size = static_cast<uint64_t>(info.st_size);
    if (size > 0xFFFFFFFFu)
        throw CommandError(ExitDataError, path + ": larger than 4 GiB; the stub reads no such file");
}

OpenArchive::~OpenArchive()
{
    CloseFile(ArchiveFile);
    ArchiveFile = NoFile;
}

uint32_t FindWalkStart(const OpenArchive& archive, const ParsedCommandLine& parsed, const std::string& command)
{
    if (parsed.Has("offset")) {
        std::string text = parsed.Value("offset");
        char* end = nullptr;
        errno = 0;
        unsigned long long value = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end || errno || value > 0xFFFFFFFEu)
            ThrowUsage(command, "the offset must be a number of bytes, not '" + text + "'");
        return static_cast<uint32_t>(value);
    }
    if (SignatureAt(0) == LocalHeaderSignature)
        return 0;
    if (SignatureAt(0) == EndOfCentralDirectorySignature)
        throw CommandError(ExitDataError, archive.path + ": an empty ZIP archive: it holds no members");
    if (archive.size > StubSize && PassesRecordTest(SignatureAt(StubSize)))
        return StubSize;
    if (archive.size == StubSize)
        throw CommandError(ExitDataError, archive.path + ": a stub with no archive attached");
    // A directory that puts the first member right after the stub leaves the
    // damage there for the walk to report.
    uint64_t first = FirstMemberOffset(archive.path);
    if (first != 0 && first != StubSize && first < archive.size) {
        std::string offset = std::to_string(first);
        throw CommandError(ExitDataError, archive.path + ": a ZIP archive whose first member is at offset " +
                                              offset + ", not at its start nor after the stub; 'mksfx convert " +
                                              archive.path +
                                              " -o OUT.exe' makes a self-extracting archive of it, "
                                              "--offset " +
                                              offset + " reads it as it is");
    }
    if (archive.size < StubSize)
        throw CommandError(ExitDataError, archive.path + ": neither a ZIP archive nor a self-extracting archive");
    return StubSize;
}

void WalkMembers(const OpenArchive& archive, uint32_t start, const std::function<void(WalkedMember&)>& visit)
{
    SeekArchive(start);
    if (CurrentHeaderOffset == -1 || !ReadLocalHeader())
        throw CommandError(ExitDataError, archive.path + ": no ZIP member at offset " + std::to_string(start) +
                                              (start == StubSize ? " (the end of the stub)" : ""));
    WalkEnd end = WalkEnd::NotEnded;
    bool more = true;
    std::string lastName;
    while (more) {
        // The record test reads the signature only; the bytes the file lacks read as 0.
        if (static_cast<uint64_t>(CurrentHeaderOffset) + LocalHeaderSize > archive.size)
            throw CommandError(ExitDataError, archive.path + ": damaged archive: the local header at offset " +
                                                  std::to_string(CurrentHeaderOffset) + " is cut short");
        WalkedMember member;
        member.start = static_cast<uint32_t>(CurrentHeaderOffset);
        member.header = CurrentHeader;
        member.dataOffset = LayOutMember(member.start, member.header).dataOffset;
        std::string raw(member.header.nameLength, '\0');
        if (ReadFromFile(ArchiveFile, raw.data(), member.header.nameLength) != member.header.nameLength)
            throw CommandError(ExitDataError, archive.path + ": damaged archive: the member at offset " +
                                                  std::to_string(member.start) + " is cut short");
        member.name = raw.c_str();
        member.refusal = WhyStubRefusesMember(member);
        if (member.refusal.empty() &&
            LayOutMember(member.start, member.header).nextHeaderOffset > MaxSfxFileSize + 1)
            member.refusal = "it reaches past 2 GiB, where the stub cannot follow: it positions its file "
                             "with a signed 32-bit offset";
        visit(member);
        lastName = member.name;
        more = StepToNextMember(member.start, member.header, &end);
    }
    if (end != WalkEnd::AtCentralDirectory)
        throw CommandError(ExitDataError, archive.path + ": damaged archive: after member " + lastName +
                                              " there is neither a local header nor the central directory "
                                              "(a data descriptor or a wrong size?); the stub sees no members "
                                              "after it");
}

std::string TakeSingleOperand(const ParsedCommandLine& parsed, const std::string& command)
{
    if (parsed.operands.size() != 1)
        ThrowUsage(command, parsed.operands.empty() ? "no archive given" : "one archive at a time");
    return parsed.operands[0];
}

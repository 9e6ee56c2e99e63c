#include "tools/mksfx/SourceArchive.h"

#include "archive/LocalHeader.h"
#include "decode/Decrypt.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t Zip64LocatorSignature = 0x07064B50;
constexpr uint16_t Zip64ExtraId = 0x0001;
constexpr uint16_t FlagMaskedHeaders = 0x2000;
constexpr uint16_t MethodAes = 99;
constexpr uint32_t DosDirectoryAttribute = 0x10;  // in the low byte of the external attributes

// The extra field without Zip64 blocks (which the output never needs: its
// sizes and offsets all fit 32 bits). A field whose blocks do not add up is
// dropped whole, as readers would misread it.
Bytes WithoutZip64Blocks(const Bytes& extra, bool* hadZip64)
{
    Bytes kept;
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        uint16_t id = GetLittle16(&extra[at]);
        uint16_t length = GetLittle16(&extra[at + 2]);
        if (at + 4 + length > extra.size())
            return {};
        if (id == Zip64ExtraId)
            *hadZip64 = true;
        else
            kept.insert(kept.end(), extra.begin() + at, extra.begin() + at + 4 + length);
        at += 4 + length;
    }
    return at == extra.size() ? kept : Bytes();
}

std::string MethodName(uint16_t method)
{
    switch (method) {
    case 1:
        return "shrunk";
    case 6:
        return "imploded";
    case 9:
        return "deflate64";
    case 12:
        return "bzip2";
    case 14:
        return "LZMA";
    case 93:
        return "zstd";
    case 95:
        return "xz";
    case 98:
        return "PPMd";
    default:
        return "method " + std::to_string(method);
    }
}

std::string WhyMemberIsRefused(const SourceMember& member)
{
    const ZipEntry& entry = member.entry;
    if (member.zip64)
        return "it needs Zip64 records (4 GiB or larger)";
    // The stub passes a directory entry over, whatever its method and flags.
    bool directory = !entry.name.empty() && entry.name.back() == '/';
    LocalFileHeader header{};
    header.flags = entry.flags;
    header.method = entry.method;
    switch (directory ? Undecodable::None
                      : WhyUndecodable(header, entry.name.data(), static_cast<uint32_t>(entry.name.size()))) {
    case Undecodable::None:
        break;
    case Undecodable::Method:
        if (entry.method == MethodAes)
            return "it is AES-encrypted; the stub knows only the traditional ZIP encryption";
        return "it is " + MethodName(entry.method) + "; the stub extracts stored and deflated members only";
    case Undecodable::StrongEncryption:
        return "its flags mark strong encryption (bit 6); the stub knows only the traditional ZIP encryption";
    case Undecodable::NameNotUtf8:
        return "its name is marked as UTF-8 (flag bit 11) but is not valid UTF-8";
    }
    // Bit 13 (headers masked by strong encryption) without bit 6 is no cipher the stub knows either.
    if ((entry.flags & FlagEncrypted) && (entry.flags & FlagMaskedHeaders))
        return "it uses strong encryption; the stub knows only the traditional ZIP encryption";
    if (entry.method == MethodStored &&
        entry.compressedSize !=
            entry.uncompressedSize + ((entry.flags & FlagEncrypted) ? EncryptionHeaderSize : 0))
        return "its stored sizes disagree";
    if (entry.compressedSize > MaxMemberDataSize || entry.uncompressedSize > MaxMemberDataSize)
        return "it is 2 GiB or larger, more than the stub can extract";
    std::string why = WhyNameIsRefused(entry.name);
    if (!why.empty())
        return why;
    return "";
}

}  // namespace

SourceFile::SourceFile(const std::string& path) : SourceArchive(path, 0)
{
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        int error = errno;
        if (fd >= 0)
            close(fd);
        throw CommandError(ExitFileError, "cannot open " + path + ": " + SystemErrorText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        throw CommandError(ExitFileError, path + ": not a regular file");
    }
    size = static_cast<uint64_t>(info.st_size);
}

SourceFile::~SourceFile()
{
    close(fd);
}

bool SourceFile::ReadAt(uint64_t offset, uint8_t* bytes, size_t count) const
{
    size_t done = 0;
    while (done < count) {
        ssize_t got = pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw CommandError(ExitFileError, "cannot read " + path + ": " + SystemErrorText(errno));
        if (got == 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool SourceBytes::ReadAt(uint64_t offset, uint8_t* out, size_t count) const
{
    if (offset > size || count > size - offset)
        return false;
    if (count)
        std::memcpy(out, bytes + offset, count);
    return true;
}

CommandError Damaged(const SourceArchive& source, const std::string& what)
{
    return CommandError(ExitDataError, source.path + ": damaged ZIP archive: " + what);
}

std::vector<SourceMember> ReadCentralDirectory(const SourceArchive& source, Bytes* archiveComment)
{
    if (source.size < EndRecordSize)
        throw CommandError(ExitDataError, source.path + ": not a ZIP archive (too short)");
    uint64_t tailSize = std::min<uint64_t>(source.size, EndRecordSize + 65535);
    uint64_t tailStart = source.size - tailSize;
    Bytes tail(tailSize);
    source.ReadAt(tailStart, tail.data(), tail.size());
    // The end record is the last one whose comment reaches the end of the file;
    // failing that, the last signature that leaves room for the record.
    int64_t found = -1;
    for (int64_t at = static_cast<int64_t>(tailSize) - EndRecordSize; at >= 0; --at) {
        if (GetLittle32(&tail[at]) != EndOfCentralDirectorySignature)
            continue;
        uint16_t commentLength = GetLittle16(&tail[at + 20]);
        if (static_cast<uint64_t>(at) + EndRecordSize + commentLength == tailSize) {
            found = at;
            break;
        }
        if (found < 0 && static_cast<uint64_t>(at) + EndRecordSize + commentLength <= tailSize)
            found = at;
    }
    if (found < 0)
        throw CommandError(ExitDataError,
                           source.path + ": not a ZIP archive (no end of central directory record)");
    const uint8_t* end = &tail[found];
    uint64_t endOffset = tailStart + static_cast<uint64_t>(found);
    uint16_t disk = GetLittle16(end + 4), directoryDisk = GetLittle16(end + 6);
    uint16_t entriesHere = GetLittle16(end + 8), entriesTotal = GetLittle16(end + 10);
    uint32_t directorySize = GetLittle32(end + 12), directoryOffset = GetLittle32(end + 16);
    uint16_t commentLength = GetLittle16(end + 20);
    archiveComment->assign(end + EndRecordSize,
                           end + EndRecordSize +
                               std::min<uint64_t>(commentLength, tailSize - found - EndRecordSize));
    bool zip64Locator = false;
    if (endOffset >= 20) {
        uint8_t locator[4];
        zip64Locator = source.ReadAt(endOffset - 20, locator, 4) && GetLittle32(locator) == Zip64LocatorSignature;
    }
    // 0xFFFF is also a real count (create writes up to 65535 members): only the
    // Zip64 locator says that the fields stand for values elsewhere.
    if (zip64Locator || directorySize == 0xFFFFFFFFu || directoryOffset == 0xFFFFFFFFu)
        throw CommandError(ExitDataError, source.path + ": a Zip64 archive; the stub reads only archives below "
                                                        "4 GiB with at most 65535 members");
    if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal)
        throw CommandError(ExitDataError, source.path + ": a multi-part archive; join its parts first");
    if (directorySize > endOffset)
        throw Damaged(source, "the central directory does not fit before its end record");
    // Data put in front of the archive (another stub, say) shifts every offset.
    uint64_t directoryStart = endOffset - directorySize;
    if (directoryStart < directoryOffset)
        throw Damaged(source, "the central directory lies before its recorded offset");
    uint64_t shift = directoryStart - directoryOffset;

    Bytes directory(directorySize);
    if (!source.ReadAt(directoryStart, directory.data(), directory.size()))
        throw Damaged(source, "the central directory is cut short");
    std::vector<SourceMember> members;
    size_t at = 0;
    for (uint32_t index = 0; index < entriesTotal; ++index) {
        if (at + CentralHeaderSize > directory.size() || GetLittle32(&directory[at]) != CentralHeaderSignature)
            throw Damaged(source, "central directory entry " + std::to_string(index + 1) + " is unreadable");
        const uint8_t* record = &directory[at];
        uint16_t nameLength = GetLittle16(record + 28), extraLength = GetLittle16(record + 30);
        uint16_t entryCommentLength = GetLittle16(record + 32);
        if (at + CentralHeaderSize + nameLength + extraLength + entryCommentLength > directory.size())
            throw Damaged(source, "central directory entry " + std::to_string(index + 1) + " is cut short");
        SourceMember member;
        ZipEntry& entry = member.entry;
        entry.versionMadeBy = GetLittle16(record + 4);
        entry.versionNeeded = GetLittle16(record + 6);
        entry.flags = GetLittle16(record + 8);
        entry.method = GetLittle16(record + 10);
        entry.modificationTime = GetLittle16(record + 12);
        entry.modificationDate = GetLittle16(record + 14);
        entry.crc32 = GetLittle32(record + 16);
        entry.compressedSize = GetLittle32(record + 20);
        entry.uncompressedSize = GetLittle32(record + 24);
        entry.internalAttributes = GetLittle16(record + 36);
        entry.externalAttributes = GetLittle32(record + 38);
        uint32_t localOffset = GetLittle32(record + 42);
        const uint8_t* variable = record + CentralHeaderSize;
        entry.name.assign(reinterpret_cast<const char*>(variable), nameLength);
        Bytes extra(variable + nameLength, variable + nameLength + extraLength);
        // A Zip64 block beside 32-bit values is redundant and dropped; only a
        // value that needs it makes the member Zip64.
        bool hadZip64 = false;
        entry.centralExtra = WithoutZip64Blocks(extra, &hadZip64);
        entry.comment.assign(variable + nameLength + extraLength,
                             variable + nameLength + extraLength + entryCommentLength);
        member.zip64 = entry.compressedSize == 0xFFFFFFFFu || entry.uncompressedSize == 0xFFFFFFFFu ||
                       localOffset == 0xFFFFFFFFu;
        member.localHeaderOffset = localOffset + shift;
        // Some writers mark a folder only by the MS-DOS directory attribute; the
        // stub knows a folder by its trailing "/", and would make a file of it.
        if ((entry.externalAttributes & DosDirectoryAttribute) && entry.uncompressedSize == 0 &&
            !entry.name.empty() && entry.name.back() != '/' && entry.name.back() != '\\')
            entry.name += '/';
        member.refusal = WhyMemberIsRefused(member);
        members.push_back(std::move(member));
        at += CentralHeaderSize + nameLength + extraLength + entryCommentLength;
    }
    return members;
}

void LocateMemberData(const SourceArchive& source, SourceMember& member)
{
    ZipEntry& entry = member.entry;
    uint8_t local[LocalHeaderSize];
    if (!source.ReadAt(member.localHeaderOffset, local, sizeof local) ||
        GetLittle32(local) != LocalHeaderSignature)
        throw Damaged(source, "member " + entry.name + " has no local header where the central directory says");
    LocalFileHeader header = DecodeLocalHeader(local, LocalHeaderSize);
    member.sourceHeader = header;
    uint64_t extraOffset = member.localHeaderOffset + LocalHeaderSize + header.nameLength;
    Bytes localExtra(header.extraLength);
    if (!source.ReadAt(extraOffset, localExtra.data(), localExtra.size()))
        throw Damaged(source, "member " + entry.name + " is cut short");
    bool localZip64 = false;
    entry.localExtra = WithoutZip64Blocks(localExtra, &localZip64);
    member.dataOffset = extraOffset + header.extraLength;
    if (member.dataOffset + entry.compressedSize > source.size)
        throw Damaged(source, "member " + entry.name + " is cut short");
    // The stub checks a password against the time's high byte when flag bit 3
    // is set, and the source's writer made the check byte that way: such a
    // member keeps bit 3 and the time of its local header (the writer adds a
    // descriptor that repeats the header). Everywhere else bit 3 goes: the
    // local header now carries the real CRC-32 and sizes.
    // Some writers (fastjar) set bit 3 in the local header only.
    if ((entry.flags & FlagEncrypted) && ((entry.flags | header.flags) & FlagDataDescriptor)) {
        entry.flags |= FlagDataDescriptor;
        entry.modificationTime = header.modificationTime;
        entry.modificationDate = header.modificationDate;
    } else {
        entry.flags &= static_cast<uint16_t>(~FlagDataDescriptor);
    }
}

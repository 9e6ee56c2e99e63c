#include "archive/LocalHeader.h"

#include "fileio/FileIo.h"
#include "fsutil/Utf8.h"

LocalFileHeader CurrentHeader;
int32_t CurrentHeaderOffset;  // set by SeekArchive before any use

static uint16_t ReadLittle16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

static uint32_t ReadLittle32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

LocalFileHeader DecodeLocalHeader(const uint8_t* bytes, uint32_t available)
{
    uint8_t full[LocalHeaderSize] = {};
    for (uint32_t i = 0; i < available && i < LocalHeaderSize; ++i)
        full[i] = bytes[i];
    LocalFileHeader header;
    header.signature = ReadLittle32(full);
    header.versionNeeded = ReadLittle16(full + 4);
    header.flags = ReadLittle16(full + 6);
    header.method = ReadLittle16(full + 8);
    header.modificationTime = ReadLittle16(full + 10);
    header.modificationDate = ReadLittle16(full + 12);
    header.crc32 = ReadLittle32(full + 14);
    header.compressedSize = ReadLittle32(full + 18);
    header.uncompressedSize = ReadLittle32(full + 22);
    header.nameLength = ReadLittle16(full + 26);
    header.extraLength = ReadLittle16(full + 28);
    return header;
}

bool PassesRecordTest(uint32_t signature)
{
    return signature == LocalHeaderSignature || signature == AlternateHeaderSignature;
}

Undecodable WhyUndecodable(const LocalFileHeader& header)
{
    if (header.method != MethodStored && header.method != MethodDeflated)
        return Undecodable::Method;
    if (header.flags & FlagStrongEncryption)
        return Undecodable::StrongEncryption;
    return Undecodable::None;
}

Undecodable WhyUndecodable(const LocalFileHeader& header, const char* name, uint32_t length)
{
    Undecodable data = WhyUndecodable(header);
    if (data != Undecodable::None)
        return data;
    if ((header.flags & FlagUtf8Name) && !IsValidUtf8(name, length))
        return Undecodable::NameNotUtf8;
    return Undecodable::None;
}

void SeekArchive(uint32_t offset)
{
    CurrentHeaderOffset = SeekFileTo(ArchiveFile, offset);
}

bool ReadLocalHeader()
{
    uint8_t bytes[LocalHeaderSize];
    uint32_t got = ReadFromFile(ArchiveFile, bytes, LocalHeaderSize);
    // Bytes not read count as 0, which clears the signature of a read that got nothing.
    CurrentHeader = DecodeLocalHeader(bytes, got);
    return PassesRecordTest(CurrentHeader.signature);
}

MemberLayout LayOutMember(uint32_t start, const LocalFileHeader& header)
{
    MemberLayout layout;
    layout.nameOffset = static_cast<uint64_t>(start) + LocalHeaderSize;
    layout.dataOffset = layout.nameOffset + header.nameLength + header.extraLength;
    layout.nextHeaderOffset = layout.dataOffset + header.compressedSize;
    return layout;
}

WalkEnd ClassifyWalkEnd()
{
    uint32_t signature = CurrentHeader.signature;
    if (signature == CentralHeaderSignature || signature == EndOfCentralDirectorySignature)
        return WalkEnd::AtCentralDirectory;
    return WalkEnd::Damaged;
}

// Info-ZIP writes a 16-byte data descriptor after encrypted members although
// their local headers already carry the same CRC-32 and sizes. The walk steps
// over such a descriptor only when it repeats the member's own header exactly;
// any other descriptor leaves the member's real length unknown.
static bool IsRepeatingDescriptor(uint32_t offset, const LocalFileHeader& member)
{
    uint8_t bytes[16];
    if (SeekFileTo(ArchiveFile, offset) == -1 || ReadFromFile(ArchiveFile, bytes, sizeof bytes) != sizeof bytes)
        return false;
    return ReadLittle32(bytes) == DataDescriptorSignature && ReadLittle32(bytes + 4) == member.crc32 &&
           ReadLittle32(bytes + 8) == member.compressedSize && ReadLittle32(bytes + 12) == member.uncompressedSize;
}

static bool ReadHeaderAt(uint64_t offset)
{
    if (offset > 0xFFFFFFFFu)
        return false;
    SeekArchive(static_cast<uint32_t>(offset));
    if (CurrentHeaderOffset == -1) {
        CurrentHeader.signature = 0;
        return false;
    }
    return ReadLocalHeader();
}

bool StepToNextMember(uint32_t start, const LocalFileHeader& member, WalkEnd* end)
{
    const LocalFileHeader stepped = member;  // the read below overwrites CurrentHeader
    uint64_t next = LayOutMember(start, stepped).nextHeaderOffset;
    bool found = ReadHeaderAt(next);
    if (!found && CurrentHeader.signature == DataDescriptorSignature && next <= 0xFFFFFFFFu &&
        IsRepeatingDescriptor(static_cast<uint32_t>(next), stepped))
        found = ReadHeaderAt(next + 16);
    *end = found ? WalkEnd::NotEnded : ClassifyWalkEnd();
    return found;
}

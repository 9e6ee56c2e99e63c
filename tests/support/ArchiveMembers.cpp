#include "tests/support/ArchiveMembers.h"

#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "fileio/FileIo.h"

#include <stdexcept>

std::vector<DecodedMember> DecodeArchive(const std::string& path, const char* password, uint32_t start)
{
    if (!CrcTable)
        SetUpCrcTable();
    TempDir dir;
    std::vector<DecodedMember> members;
    ArchiveFile = OpenFileForReading(path.c_str());
    if (ArchiveFile == NoFile)
        throw std::runtime_error("cannot open " + path);
    SeekArchive(start);
    bool more = ReadLocalHeader();
    while (more) {
        const LocalFileHeader header = CurrentHeader;
        const uint32_t offset = static_cast<uint32_t>(CurrentHeaderOffset);
        MemberLayout layout = LayOutMember(offset, header);
        DecodedMember member;
        member.flags = header.flags;
        member.method = header.method;
        std::string name(header.nameLength, '\0');
        SeekFileTo(ArchiveFile, static_cast<uint32_t>(layout.nameOffset));
        ReadFromFile(ArchiveFile, name.data(), header.nameLength);
        member.name = name;
        member.passwordAccepted = true;
        if (header.flags & FlagEncrypted) {
            uint8_t check[2 * EncryptionHeaderSize];
            SeekFileTo(ArchiveFile, static_cast<uint32_t>(layout.dataOffset));
            ReadFromFile(ArchiveFile, check + EncryptionHeaderSize, EncryptionHeaderSize);
            uint32_t timeAndDate =
                header.modificationTime | (static_cast<uint32_t>(header.modificationDate) << 16);
            member.passwordAccepted = CheckEncryptionHeader(check, EncryptionHeaderSize, header.flags, password,
                                                            timeAndDate, header.crc32);
        }
        if (member.passwordAccepted && (header.method == MethodStored || header.method == MethodDeflated)) {
            std::string outputPath = dir / ("member" + std::to_string(members.size()));
            OutputFile = CreateOutputFile(outputPath.c_str());
            DataOutcome outcome = DecodeMemberData(offset, header);
            member.decoded = outcome == DataOutcome::Verified || outcome == DataOutcome::CrcMismatch;
            member.crcMatches = outcome == DataOutcome::Verified;
            CloseFile(OutputFile);
            OutputFile = NoFile;
            member.output = ReadWholeFile(outputPath);
        }
        members.push_back(member);
        WalkEnd end;
        more = StepToNextMember(offset, header, &end);
    }
    CloseFile(ArchiveFile);
    ArchiveFile = NoFile;
    return members;
}

#include "tests/support/ArchiveMembers.h"

#include "archive/LocalHeader.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "decode/Inflate.h"
#include "decode/InputReader.h"
#include "decode/OutputWindow.h"
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
        SeekFileTo(ArchiveFile, static_cast<uint32_t>(layout.dataOffset));

        InputRemaining = static_cast<int32_t>(header.compressedSize);
        member.passwordAccepted = true;
        if (header.flags & FlagEncrypted) {
            uint8_t check[24];
            ReadFromFile(ArchiveFile, check + 12, 12);
            for (int i = 0; i < 12; ++i)
                check[i] = check[12 + i];
            uint32_t timeAndDate = header.modificationTime | (static_cast<uint32_t>(header.modificationDate) << 16);
            member.passwordAccepted =
                CheckEncryptionHeader(check, EncryptionHeaderSize, header.flags, password, timeAndDate, header.crc32);
            InputRemaining = static_cast<int32_t>(header.compressedSize - EncryptionHeaderSize);
        }
        if (member.passwordAccepted && (header.method == 0 || header.method == 8)) {
            std::string outputPath = dir / ("member" + std::to_string(members.size()));
            OutputFile = CreateOutputFile(outputPath.c_str());
            OutputCrc = 0xFFFFFFFFu;
            member.decoded = header.method == 0 ? CopyStored() : Inflate();
            member.crcMatches = ~OutputCrc == header.crc32;
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

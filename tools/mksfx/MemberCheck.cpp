#include "tools/mksfx/MemberCheck.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"

#include "archive/MemberData.h"
#include "decode/Decrypt.h"
#include "decode/OutputWindow.h"

#include <unistd.h>

PasswordKeeper::PasswordKeeper(const ParsedCommandLine& parsed) : password(TakePassword(parsed, false))
{
    interactive = password.empty() && isatty(STDIN_FILENO);
}

std::string PasswordKeeper::Unlock(const WalkedMember& member)
{
    uint8_t header[2 * EncryptionHeaderSize];
    if (member.header.compressedSize < EncryptionHeaderSize || member.dataOffset > 0xFFFFFFFFu ||
        SeekFileTo(ArchiveFile, static_cast<uint32_t>(member.dataOffset)) == -1 ||
        ReadFromFile(ArchiveFile, header + EncryptionHeaderSize, EncryptionHeaderSize) != EncryptionHeaderSize)
        return "its encryption header is cut short";
    uint32_t timeAndDate = member.header.modificationTime | (uint32_t(member.header.modificationDate) << 16);
    auto check = [&](const std::string& candidate) {
        return CheckEncryptionHeader(header, EncryptionHeaderSize, member.header.flags, candidate.c_str(),
                                     timeAndDate, member.header.crc32);
    };
    if (!password.empty() && check(password))
        return "";
    if (!interactive)
        return password.empty() ? "it is encrypted; give the password with -P or --password-file"
                                : "wrong password";
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string typed = PromptForPassword(member.name + " password: ", false);
        if (!typed.empty() && check(typed)) {
            password = typed;
            return "";
        }
    }
    return "wrong password";
}

std::string DecodeMember(const WalkedMember& member, FileHandle output)
{
    const LocalFileHeader& header = member.header;
    OutputFile = output;
    DataOutcome outcome = DecodeMemberData(member.start, header);
    OutputFile = NoFile;
    switch (outcome) {
    case DataOutcome::Verified:
        return "";
    case DataOutcome::OutOfReach:
        return "its data is 2 GiB or larger or lies beyond the end of the file, out of the stub's reach";
    case DataOutcome::SizeMismatch:
        return "it is stored, but its compressed size " + std::to_string(header.compressedSize) +
               " is not its uncompressed size " + std::to_string(header.uncompressedSize) +
               ((header.flags & FlagEncrypted) ? " plus the 12-byte encryption header" : "");
    case DataOutcome::Damaged:
        return header.method == MethodStored ? "its data is cut short or could not be written"
                                             : "its deflated data is damaged or decodes to more than its "
                                               "uncompressed size (the decoder failed)";
    case DataOutcome::CrcMismatch:
        break;
    }
    return "CRC-32 mismatch: the header says " + Hex32(header.crc32) + ", the data gives " + Hex32(~OutputCrc) +
           ((header.flags & FlagEncrypted) ? " (a wrong password can pass the check byte)" : "");
}

std::string CheckMemberData(uint32_t start, const LocalFileHeader& header, const std::string& password,
                            FileHandle output)
{
    WalkedMember member;
    member.start = start;
    member.header = header;
    member.dataOffset = LayOutMember(start, header).dataOffset;
    if (header.flags & FlagEncrypted) {
        std::string why = PasswordKeeper(password).Unlock(member);
        if (!why.empty())
            return why;
    }
    return DecodeMember(member, output);
}

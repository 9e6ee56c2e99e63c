#include "archive/MemberData.h"

#include "decode/Inflate.h"
#include "decode/InputReader.h"
#include "decode/MemberCoding.h"
#include "decode/OutputWindow.h"
#include "fileio/FileIo.h"

DataOutcome DecodeMemberData(uint32_t start, const LocalFileHeader& header)
{
    const bool encrypted = (header.flags & FlagEncrypted) != 0;
    const uint32_t headerBytes = encrypted ? EncryptionHeaderSize : 0;
    const uint64_t dataOffset = LayOutMember(start, header).dataOffset + headerBytes;
    // InputRemaining is signed 32-bit: a stored member's uncompressed size, a
    // deflated member's compressed size less its encryption header. A member
    // shorter than its encryption header has no data to count.
    const uint32_t count =
        header.method == MethodStored ? header.uncompressedSize : header.compressedSize - headerBytes;
    if (count > 0x7FFFFFFFu || header.compressedSize < headerBytes || dataOffset > 0xFFFFFFFFu ||
        SeekFileTo(ArchiveFile, static_cast<uint32_t>(dataOffset)) == -1)
        return DataOutcome::OutOfReach;
    // A stored member's data is its output: sizes that disagree would copy
    // bytes that are not its own, up to the archive's end, for every such
    // member (overlapping members, an archive bomb). Wrap-round cannot make
    // them agree, since the count fits 31 bits.
    if (header.method == MethodStored && header.compressedSize != count + headerBytes)
        return DataOutcome::SizeMismatch;
    CurrentCoding.encrypted = encrypted;
    CurrentCoding.uncompressedSize = header.uncompressedSize;
    OutputCrc = 0xFFFFFFFFu;
    InputRemaining = static_cast<int32_t>(count);
    if (!(header.method == MethodStored ? CopyStored() : Inflate()))
        return DataOutcome::Damaged;
    // The register itself is accepted beside its complement, the CRC-32 proper.
    return header.crc32 == ~OutputCrc || header.crc32 == OutputCrc ? DataOutcome::Verified
                                                                   : DataOutcome::CrcMismatch;
}

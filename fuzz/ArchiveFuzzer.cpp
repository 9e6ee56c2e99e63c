// Walks an archive given as fuzzer input with the program's own header walk and
// decodes every member as the extraction driver does: the encryption header
// checked with a fixed password, then DecodeMemberData into /dev/null. Beyond
// the sanitizers, it checks what must hold of every member: no more output
// than its uncompressed size, no read past its data, and a decoder that
// reports success has used no bit from past the end of its input.
#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "decode/InputReader.h"
#include "fileio/FileCallLog.h"
#include "fileio/FileIo.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

static uint64_t BytesWritten;  // to OutputFile, for the member being decoded

static void CountWrites(FileHandle file, bool isWrite, uint32_t, uint32_t done)
{
    if (isWrite && file == OutputFile)
        BytesWritten += done;
}

static void Require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "archive-fuzzer: %s\n", what);
        abort();
    }
}

// Decodes one member whose password check has passed and checks the outcome.
static void DecodeAndCheck(uint32_t offset, const LocalFileHeader& header)
{
    BytesWritten = 0;
    ObserveFileCall = CountWrites;
    DataOutcome outcome = DecodeMemberData(offset, header);
    ObserveFileCall = nullptr;
    Require(BytesWritten <= header.uncompressedSize, "a member wrote more than its uncompressed size");
    if (outcome == DataOutcome::OutOfReach || outcome == DataOutcome::SizeMismatch) {
        Require(BytesWritten == 0, "a member refused before decoding wrote bytes");
        return;
    }
    // Never past the member's data: its compressed size from the data's start.
    const uint64_t dataEnd = LayOutMember(offset, header).dataOffset + header.compressedSize;
    Require(static_cast<uint64_t>(lseek(static_cast<int>(ArchiveFile), 0, SEEK_CUR)) <= dataEnd,
            "a decoder read past the member's data");
    if (header.method == MethodDeflated && outcome != DataOutcome::Damaged)
        Require(BitCount >= InputOverrunBits, "Inflate succeeded on bits from past the end of its input");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int archive = -1;
    static FileHandle sink = NoFile;
    if (archive < 0) {
        archive = memfd_create("archive", 0);
        sink = CreateOutputFile("/dev/null");
        SetUpCrcTable();
        if (archive < 0 || sink == NoFile)
            abort();
    }
    // The input becomes the whole archive file.
    if (ftruncate(archive, 0) != 0 || pwrite(archive, data, size, 0) != static_cast<ssize_t>(size))
        abort();
    ArchiveFile = archive;
    OutputFile = sink;

    SeekArchive(0);
    bool more = CurrentHeaderOffset != -1 && ReadLocalHeader();
    while (more) {
        const LocalFileHeader header = CurrentHeader;
        const uint32_t offset = static_cast<uint32_t>(CurrentHeaderOffset);
        MemberLayout layout = LayOutMember(offset, header);
        bool accepted = WhyUndecodable(header) == Undecodable::None;
        if (accepted && (header.flags & FlagEncrypted)) {
            uint8_t check[2 * EncryptionHeaderSize] = {};
            accepted = layout.dataOffset <= 0xFFFFFFFFu &&
                       SeekFileTo(ArchiveFile, static_cast<uint32_t>(layout.dataOffset)) != -1 &&
                       ReadFromFile(ArchiveFile, check + EncryptionHeaderSize, EncryptionHeaderSize) ==
                           EncryptionHeaderSize &&
                       CheckEncryptionHeader(check, EncryptionHeaderSize, header.flags, "secret",
                                             header.modificationTime |
                                                 (static_cast<uint32_t>(header.modificationDate) << 16),
                                             header.crc32);
        }
        if (accepted)
            DecodeAndCheck(offset, header);
        WalkEnd end;
        more = StepToNextMember(offset, header, &end);
    }
    ArchiveFile = NoFile;
    OutputFile = NoFile;
    return 0;
}

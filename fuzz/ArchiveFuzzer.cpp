// Walks an archive given as fuzzer input with the program's own header walk and
// decodes every member as the extraction driver does: the encryption header
// checked with a fixed password, then DecodeMemberData into /dev/null.
#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "fileio/FileIo.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
        bool accepted = header.method == MethodStored || header.method == MethodDeflated;
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
            DecodeMemberData(offset, header);
        WalkEnd end;
        more = StepToNextMember(offset, header, &end);
    }
    ArchiveFile = NoFile;
    OutputFile = NoFile;
    return 0;
}

// Walks an archive given as fuzzer input with the program's own header walk and
// decodes every member as the extraction driver does: the encryption header
// checked with a fixed password, then CopyStored or Inflate into /dev/null.
#include "archive/LocalHeader.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "decode/Inflate.h"
#include "decode/InputReader.h"
#include "decode/OutputWindow.h"
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
        if (layout.dataOffset <= 0xFFFFFFFFu && SeekFileTo(ArchiveFile, static_cast<uint32_t>(layout.dataOffset)) != -1 &&
            (header.method == 0 || header.method == 8)) {
            // As the driver does: sizes of 2 GiB and more, or encrypted members
            // smaller than their header, give a negative count, which fails.
            uint32_t dataSize = header.compressedSize;
            bool accepted = true;
            if (header.flags & FlagEncrypted) {
                uint8_t check[24] = {};
                ReadFromFile(ArchiveFile, check + 12, 12);
                accepted = CheckEncryptionHeader(check, EncryptionHeaderSize, header.flags, "secret",
                                                 header.modificationTime |
                                                     (static_cast<uint32_t>(header.modificationDate) << 16),
                                                 header.crc32);
                dataSize -= EncryptionHeaderSize;
            }
            InputRemaining = static_cast<int32_t>(dataSize);
            if (accepted) {
                OutputCrc = 0xFFFFFFFFu;
                if (header.method == 0)
                    CopyStored();
                else
                    Inflate();
            }
        }
        WalkEnd end;
        more = StepToNextMember(offset, header, &end);
    }
    ArchiveFile = NoFile;
    OutputFile = NoFile;
    return 0;
}

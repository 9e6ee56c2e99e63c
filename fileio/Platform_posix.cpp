#include "fileio/FileIo.h"

#include "fileio/FileCallLog.h"
#include "fileio/Memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileCallObserver ObserveFileCall = nullptr;
FileHandle ArchiveFile = NoFile;
FileHandle OutputFile = NoFile;

// Where the file last moved by SeekFileTo stands, kept up by the reads, so that
// a seek to where it already stands makes no system call: each member's data
// mostly follows right after what was read last (its header, or the member
// before). Anything unsure forgets it; a file moved by other means than these
// functions must not be sought here.
static FileHandle PositionedFile = NoFile;
static uint64_t KnownPosition;

static void ForgetPosition(FileHandle file)
{
    if (file == PositionedFile)
        PositionedFile = NoFile;
}

FileHandle OpenFileForReading(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    ForgetPosition(fd);
    return fd < 0 ? NoFile : fd;
}

FileHandle CreateOutputFile(const char* path, bool mustBeNew)
{
    int fd = open(path, O_WRONLY | O_CREAT | (mustBeNew ? O_EXCL : O_TRUNC) | O_CLOEXEC, 0644);
    ForgetPosition(fd);
    return fd < 0 ? NoFile : fd;
}

uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count)
{
    // ReadFile on a disk file returns everything asked for up to the end of the
    // file; read() may return less, so keep asking until the end or an error.
    uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(static_cast<int>(file), static_cast<char*>(buffer) + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ForgetPosition(file);
        if (got <= 0)
            break;
        total += static_cast<uint32_t>(got);
    }
    if (file == PositionedFile)
        KnownPosition += total;
    if (ObserveFileCall)
        ObserveFileCall(file, false, count, total);
    return total;
}

uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count)
{
    ForgetPosition(file);
    uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(static_cast<int>(file), static_cast<const char*>(buffer) + total, count - total);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        total += static_cast<uint32_t>(put);
    }
    if (ObserveFileCall)
        ObserveFileCall(file, true, count, total);
    return total;
}

int32_t SeekFileTo(FileHandle file, uint32_t offset)
{
    if (file == PositionedFile && KnownPosition == offset)
        return static_cast<int32_t>(offset);
    off_t position = lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET);
    PositionedFile = position < 0 ? NoFile : file;
    KnownPosition = static_cast<uint64_t>(position);
    // SetFilePointer reports the low 32 bits as a signed value; do the same.
    return position < 0 ? -1 : static_cast<int32_t>(static_cast<uint32_t>(position));
}

uint32_t FileSizeLow(FileHandle file)
{
    struct stat info;
    if (fstat(static_cast<int>(file), &info) != 0)
        return 0xFFFFFFFFu;
    return static_cast<uint32_t>(info.st_size);
}

bool CloseFile(FileHandle file)
{
    ForgetPosition(file);
    return close(static_cast<int>(file)) == 0;
}

void* AllocateBlock(uint32_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    return block;
}

void* AllocateClearedBlock(uint32_t size)
{
    void* block = std::calloc(1, size ? size : 1);
    if (!block) {
        std::fputs("out of memory\n", stderr);
        std::abort();
    }
    return block;
}

void ReleaseBlock(void* block)
{
    std::free(block);
}

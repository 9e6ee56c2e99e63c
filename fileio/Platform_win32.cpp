#include "fileio/FileIo.h"
#include "fileio/Memory.h"

#include <windows.h>

// Null until set: zeroed, they take no bytes of the stub's image file. The
// stub opens ArchiveFile first thing and sets OutputFile before each member.
FileHandle ArchiveFile;
FileHandle OutputFile;

static HANDLE AsHandle(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

static FileHandle FromHandle(HANDLE handle)
{
    return reinterpret_cast<FileHandle>(handle);  // INVALID_HANDLE_VALUE becomes NoFile
}

FileHandle OpenFileForReading(const char* path)
{
    return FromHandle(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle CreateOutputFile(const char* path, bool mustBeNew)
{
    return FromHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  mustBeNew ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count)
{
    DWORD got = 0;  // a failed read and the end of the file look the same to every caller
    return ReadFile(AsHandle(file), buffer, count, &got, nullptr) ? got : 0;
}

uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count)
{
    DWORD written = 0;
    WriteFile(AsHandle(file), buffer, count, &written, nullptr);
    return written;
}

int32_t SeekFileTo(FileHandle file, uint32_t offset)
{
    DWORD position = SetFilePointer(AsHandle(file), static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    return position == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32_t>(position);
}

uint32_t FileSizeLow(FileHandle file)
{
    // The end's offset is the size; SetFilePointer is imported anyway, so the
    // image carries one import less than with GetFileSize.
    return SetFilePointer(AsHandle(file), 0, nullptr, FILE_END);
}

bool CloseFile(FileHandle file)
{
    return CloseHandle(AsHandle(file)) != 0;
}

void* AllocateBlock(uint32_t size)
{
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (!block)
        ExitProcess(0);  // the program does not handle memory exhaustion
    return block;
}

void* AllocateClearedBlock(uint32_t size)
{
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
    if (!block)
        ExitProcess(0);
    return block;
}

void ReleaseBlock(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

#pragma once
#include <cstdint>

// The only file access that the portable core has. fileio/Platform_win32.cpp
// implements it over kernel32 for the stub, fileio/Platform_posix.cpp over
// POSIX files for the host build; the linker picks one.

// A kernel32 HANDLE in the stub, a file descriptor on the host.
using FileHandle = intptr_t;
constexpr FileHandle NoFile = -1;  // INVALID_HANDLE_VALUE, and a failed open()

// The self-extracting file itself, open for reading from start-up to shutdown;
// every archive read goes through it and its single file position. Both
// globals start as NoFile on the host; in the stub they start null, unused.
extern FileHandle ArchiveFile;
// The member file being written, open from its creation to the end of its member.
extern FileHandle OutputFile;

// Opens an existing file for reading, others may read it too. NoFile on failure.
FileHandle OpenFileForReading(const char* path);
// Creates or truncates a file for writing; with mustBeNew, creates it only
// when nothing has that name yet. NoFile on failure.
FileHandle CreateOutputFile(const char* path, bool mustBeNew = false);
// Bytes read, at most count; a failed read and the end of the file both give 0.
uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count);
// Bytes the system reports written.
uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count);
// Moves to an absolute offset; returns the new position, or -1 when refused.
int32_t SeekFileTo(FileHandle file, uint32_t offset);
// The low 32 bits of the file's size; 0xFFFFFFFF on failure. The file
// position may be left anywhere: every reader seeks first.
uint32_t FileSizeLow(FileHandle file);
// false when the system reports that closing failed.
bool CloseFile(FileHandle file);

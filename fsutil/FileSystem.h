#pragma once

#include "fileio/FileIo.h"

// File-system tests and directory creation over kernel32. None of these shows a
// message; failures show only in the results, and CreateDirectoryChain reports
// nothing at all.

// true when FindFirstFileA finds the path (file or directory). A path ending in
// a backslash names a directory and is searched as that path followed by
// "*.*". An empty path, and one too long for the 255-byte pattern buffer
// (more than 251 characters with its backslash), test false.
bool PathExists(const char* path);

// true when the attributes can be read and name a directory.
bool IsDirectory(const char* path);

// Creates the directory and every missing ancestor, outermost first. Stops at
// anything that exists, file or directory, at the empty path, and at a root or
// bare drive ("\", "C:\", "C:"); a relative path is created in the current
// directory.
void CreateDirectoryChain(const char* path);

// true at once for an existing directory; otherwise creates the chain and
// reports whether the directory exists afterwards.
bool EnsureDirectory(const char* path);

// Creates `name` (as typed) under `base` (which ends in a backslash) and makes
// it the current directory. A name with a colon, or made only of backslashes,
// is refused. Relies on the current directory being `base`.
bool MakeSubdirectoryCurrent(const char* base, const char* name);

// Replacing an existing file: the member is decoded into a temporary file in
// the same folder, which takes the file's place only once it is verified.

// true for a file that a member may replace. A folder, and a read-only, hidden
// or system file, are never replaced (creating over them with
// FILE_ATTRIBUTE_NORMAL is refused too); nor is a path that does not answer.
bool IsReplaceableFile(const char* path);

// Creates a file of a new, short name in `folder` (GetTempFileNameA: never an
// existing file), opens it for writing and puts its path into `temporary`
// (MAX_PATH bytes). NoFile when the folder is too long or refuses it.
FileHandle CreateTemporaryIn(const char* folder, char* temporary);

// Puts `temporary` in the place of the file at `path`, which keeps its name as
// spelled, its attributes, creation time and security (ReplaceFileA); where
// the file system cannot, the temporary file is moved over it.
bool ReplaceWithTemporary(const char* path, const char* temporary);

// Deletes the temporary file, trying twice; false when it is still there.
bool DeleteTemporary(const char* temporary);

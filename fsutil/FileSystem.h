#pragma once

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

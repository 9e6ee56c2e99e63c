#include "fsutil/FileSystem.h"

#include "fsutil/PathString.h"

#include <windows.h>

bool PathExists(const char* path)
{
    uint32_t length = StringLength(path);
    if (length == 0)
        return false;
    // "C:\Data\" is searched as "C:\Data\*.*", the directory's own entries:
    // only a directory of exactly that name answers. The shorter "C:\Data*.*"
    // would also answer for a file "Data" or "Database.txt", and the callers
    // would go on into a directory that is not there. The pattern holds 254
    // units, so a trailing-backslash path of up to 251 units fits.
    char pattern[3 * 255];
    const char* search = path;
    if (EndsWithBackslash(path)) {
        if (TextUnits(path) + 3 + 1 > 255 || length + 3 + 1 > sizeof pattern)
            return false;
        CopyString(pattern, sizeof pattern, path);
        CopyString(pattern + length, sizeof pattern - length, "*.*");
        search = pattern;
    }
    WIN32_FIND_DATAA found;
    HANDLE finder = FindFirstFileA(search, &found);
    if (finder == INVALID_HANDLE_VALUE) {
        // A directory without a single entry (an empty drive's root has not
        // even ".") gives "file not found"; a missing one "path not found".
        return search == pattern && GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    FindClose(finder);
    return true;
}

bool IsDirectory(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateDirectoryChain(const char* path)
{
    uint32_t length = StringLength(path);
    char directory[3 * MAX_PATH];  // MAX_PATH - 1 units, 3 bytes each in UTF-8
    if (length == 0 || TextUnits(path) >= MAX_PATH || length >= sizeof directory)
        return;
    CopyString(directory, sizeof directory, path);
    if (EndsWithBackslash(directory))
        directory[--length] = '\0';  // only one trailing backslash goes
    // The chain ends at what needs no creating: the empty path (a relative
    // path's own start, or the root "\" without its backslash), a bare drive
    // ("C:", or the root "C:\" without its backslash), or anything that exists.
    // A relative "x" or "ab\out" is created in the current directory.
    bool bareDrive = length == 2 && directory[1] == ':';
    if (length == 0 || bareDrive || PathExists(directory))
        return;
    char parent[sizeof directory];
    // A three-character path with a colon ("C:x") is its own directory part:
    // recursing on it would never end, so only a shorter parent is created.
    if (PathDirPart(directory, parent, sizeof parent) < length)
        CreateDirectoryChain(parent);
    CreateDirectoryA(directory, nullptr);  // a failure shows up in the callers' later steps
}

bool EnsureDirectory(const char* path)
{
    if (IsDirectory(path))
        return true;
    CreateDirectoryChain(path);
    return IsDirectory(path);
}

bool MakeSubdirectoryCurrent(const char* base, const char* name)
{
    if (ContainsChar(name, ':'))
        return false;
    while (*name == '\\')
        ++name;
    if (*name == '\0')
        return false;
    char target[3 * MAX_PATH + 1];  // MAX_PATH units, 3 bytes each in UTF-8
    uint32_t baseLength = CopyString(target, sizeof target, base);
    if (TextUnits(base) + TextUnits(name) > MAX_PATH || baseLength + StringLength(name) >= sizeof target)
        return false;  // too long for any Windows path: nothing is created
    CopyString(target + baseLength, sizeof target - baseLength, name);
    CreateDirectoryChain(target);
    char relative[sizeof target];
    uint32_t nameLength = CopyString(relative, sizeof relative - 1, name);
    relative[nameLength] = '\0';
    AppendBackslash(relative);
    if (!PathExists(relative))
        return false;
    SetCurrentDirectoryA(name);
    return true;
}

bool IsReplaceableFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

FileHandle CreateTemporaryIn(const char* folder, char* temporary)
{
    if (!GetTempFileNameA(folder, "zlx", 0, temporary))
        return NoFile;
    FileHandle file = CreateOutputFile(temporary);
    if (file == NoFile)
        DeleteTemporary(temporary);
    return file;
}

bool ReplaceWithTemporary(const char* path, const char* temporary)
{
    return ReplaceFileA(path, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
           MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING);
}

bool DeleteTemporary(const char* temporary)
{
    // A second try outlasts a scanner or indexer that opened the new file.
    if (DeleteFileA(temporary))
        return true;
    Sleep(100);
    return DeleteFileA(temporary);
}

#include "fsutil/FileSystem.h"

#include "fsutil/PathString.h"

#include <windows.h>

bool PathExists(const char* path)
{
    uint32_t length = StringLength(path);
    if (length == 0)
        return false;
    // "C:\Data\" is searched as "C:\Data*.*": the pattern buffer holds 255
    // bytes, so a trailing-backslash path of up to 252 characters fits.
    char pattern[255];
    const char* search = path;
    if (path[length - 1] == '\\') {
        if (length - 1 + 4 > sizeof pattern)
            return false;
        for (uint32_t i = 0; i < length - 1; ++i)
            pattern[i] = path[i];
        CopyString(pattern + length - 1, 4 + 1, "*.*");
        search = pattern;
    }
    WIN32_FIND_DATAA found;
    HANDLE finder = FindFirstFileA(search, &found);
    if (finder == INVALID_HANDLE_VALUE)
        return false;
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
    if (length == 0 || length >= MAX_PATH)
        return;
    char directory[MAX_PATH];
    CopyString(directory, sizeof directory, path);
    if (directory[length - 1] == '\\')
        directory[--length] = '\0';  // only one trailing backslash goes
    if (length < 3 || PathExists(directory))
        return;
    char parent[MAX_PATH];
    PathDirPart(directory, parent, sizeof parent);
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
    char target[MAX_PATH + 1];
    uint32_t baseLength = CopyString(target, sizeof target, base);
    if (baseLength + StringLength(name) >= sizeof target)
        return false;  // too long for any Windows path: nothing is created
    CopyString(target + baseLength, sizeof target - baseLength, name);
    CreateDirectoryChain(target);
    char relative[MAX_PATH + 1];
    uint32_t nameLength = CopyString(relative, sizeof relative - 1, name);
    relative[nameLength] = '\0';
    AppendBackslash(relative);
    if (!PathExists(relative))
        return false;
    SetCurrentDirectoryA(name);
    return true;
}

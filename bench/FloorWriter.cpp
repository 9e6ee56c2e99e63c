// The floor for extracting many members under Wine: writes the files of a pack
// with nothing but the calls any extractor must make per file (CreateDirectoryA
// for each parent, CreateFileA, WriteFile, CloseHandle), no decoding and no
// window. tools/time-many.sh runs it beside the stub and prints their ratio.
//
//     floorwriter.exe PACK DESTINATION
//
// A pack is a text index, one line per file ("SIZE relative\path"), an empty
// line, then the files' bytes in index order. Prints the milliseconds from the
// first directory to the last closed file; reading the pack is not counted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct PackedFile {
    std::string path;  // relative, with backslashes
    size_t size;
    size_t offset;  // of its bytes in the pack
};

bool ReadPack(const char* packPath, std::vector<char>& pack, std::vector<PackedFile>& files)
{
    HANDLE file = CreateFileA(packPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    pack.resize(size);
    DWORD got = 0;
    bool read = ReadFile(file, pack.data(), size, &got, nullptr) && got == size;
    CloseHandle(file);
    if (!read)
        return false;
    size_t at = 0;
    while (at < pack.size() && pack[at] != '\n') {
        size_t end = at;
        while (end < pack.size() && pack[end] != '\n')
            ++end;
        std::string line(pack.data() + at, end - at);
        size_t space = line.find(' ');
        if (space == std::string::npos || end == pack.size())
            return false;
        files.push_back({line.substr(space + 1), std::strtoul(line.c_str(), nullptr, 10), 0});
        at = end + 1;
    }
    size_t offset = at + 1;  // past the empty line
    for (PackedFile& packed : files) {
        packed.offset = offset;
        offset += packed.size;
    }
    return offset <= pack.size();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: floorwriter PACK DESTINATION\n");
        return 2;
    }
    std::vector<char> pack;
    std::vector<PackedFile> files;
    if (!ReadPack(argv[1], pack, files)) {
        std::fprintf(stderr, "floorwriter: cannot read the pack %s\n", argv[1]);
        return 1;
    }
    std::string destination = argv[2];
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CreateDirectoryA(destination.c_str(), nullptr);
    int failures = 0;
    for (const PackedFile& packed : files) {
        std::string path = destination + "\\" + packed.path;
        for (size_t slash = destination.size() + 1; (slash = path.find('\\', slash)) != std::string::npos; ++slash)
            CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
        HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            ++failures;
            continue;
        }
        DWORD written = 0;
        if (!WriteFile(out, pack.data() + packed.offset, static_cast<DWORD>(packed.size), &written, nullptr) ||
            written != packed.size)
            ++failures;
        CloseHandle(out);
    }
    QueryPerformanceCounter(&end);
    std::printf("%lld\n", (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
    if (failures)
        std::fprintf(stderr, "floorwriter: %d files failed\n", failures);
    return failures ? 1 : 0;
}

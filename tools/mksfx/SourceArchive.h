#pragma once
#include "tools/mksfx/Console.h"
#include "tools/mksfx/SfxWriter.h"

#include "archive/LocalHeader.h"

#include <cstdint>
#include <string>
#include <vector>

// An archive that convert reads, through its central directory: a file, or
// bytes in memory. Nothing in it is trusted.
class SourceArchive {
public:
    SourceArchive(const std::string& path, uint64_t size) : path(path), size(size) {}
    virtual ~SourceArchive() = default;
    SourceArchive(const SourceArchive&) = delete;
    SourceArchive& operator=(const SourceArchive&) = delete;

    // Reads exactly `count` bytes at `offset`; false when the archive ends first.
    virtual bool ReadAt(uint64_t offset, uint8_t* bytes, size_t count) const = 0;

    std::string path;  // what messages call it
    uint64_t size;
};

// A file read with positioned reads; throws CommandError when it cannot be opened.
class SourceFile : public SourceArchive {
public:
    explicit SourceFile(const std::string& path);
    ~SourceFile() override;
    bool ReadAt(uint64_t offset, uint8_t* bytes, size_t count) const override;
    int Descriptor() const { return fd; }

private:
    int fd = -1;
};

// Bytes that the caller keeps alive.
class SourceBytes : public SourceArchive {
public:
    SourceBytes(const std::string& path, const uint8_t* bytes, size_t size)
        : SourceArchive(path, size), bytes(bytes)
    {
    }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t count) const override;

private:
    const uint8_t* bytes;
};

// One member of the source as its central directory describes it.
struct SourceMember {
    ZipEntry entry;
    uint64_t localHeaderOffset = 0;  // where the local header really is in the source
    uint64_t dataOffset = 0;         // where its data starts; set by LocateMemberData
    LocalFileHeader sourceHeader{};  // the local header found there; set by LocateMemberData
    bool zip64 = false;
    std::string refusal;  // why the stub cannot take it; empty when it can
};

// "PATH: damaged ZIP archive: WHAT", exit code 1.
CommandError Damaged(const SourceArchive& source, const std::string& what);

// Reads the end record and the central directory. Throws CommandError for
// what is no ZIP archive, a Zip64 or multi-part one, and a damaged directory;
// a member the stub cannot take comes back with its refusal set.
std::vector<SourceMember> ReadCentralDirectory(const SourceArchive& source, Bytes* archiveComment);

// Reads the member's local header and makes the entry ready to copy: its
// local extra field, the flag bit 3 and time it keeps, and dataOffset, with
// the whole of its data inside the source. Throws CommandError when damaged.
void LocateMemberData(const SourceArchive& source, SourceMember& member);

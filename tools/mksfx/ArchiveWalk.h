#pragma once
#include "tools/mksfx/CommandLine.h"

#include "archive/LocalHeader.h"

#include <cstdint>
#include <functional>
#include <string>

// list, test and extract find the members exactly as the stub finds them, by
// walking the local headers from the stub size (or from 0 for a plain ZIP
// archive); the central directory is never read.

struct WalkedMember {
    uint32_t start = 0;  // offset of its local header
    LocalFileHeader header{};
    uint64_t dataOffset = 0;
    std::string name;     // the stored bytes up to the first zero byte, "/" as stored
    std::string refusal;  // why the stub would not extract it; empty when it would
    // A name with no name part, ending in "/", "\\" or ":": the stub lists no
    // such member and passes it over.
    bool IsDirectory() const;
};

// Opens the file as ArchiveFile for the length of a command.
class OpenArchive {
public:
    explicit OpenArchive(const std::string& path);
    ~OpenArchive();
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

    std::string path;
    uint64_t size = 0;
};

// Where the walk starts: --offset, else 0 for a file that starts with a local
// header (a plain ZIP archive), else the stub size. Throws, saying what to do,
// for an empty ZIP archive, a bare stub, and a ZIP archive whose central
// directory puts its first member elsewhere.
uint32_t FindWalkStart(const OpenArchive& archive, const ParsedCommandLine& parsed, const std::string& command);

// Walks every member and hands it to `visit`, which may move ArchiveFile's
// position as it likes. Throws when the start holds no local header, and when
// the walk ends on anything but the central directory (members after that
// point would go unseen by the stub too).
void WalkMembers(const OpenArchive& archive, uint32_t start, const std::function<void(WalkedMember&)>& visit);

// The one archive operand of list, test and extract.
std::string TakeSingleOperand(const ParsedCommandLine& parsed, const std::string& command);

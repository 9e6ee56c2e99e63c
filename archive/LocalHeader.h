#pragma once
#include <cstdint>

#include "decode/Decrypt.h"

// The ZIP local file header, the one ZIP record the program reads. Each member
// of the archive opens with one, followed by the name, the extra field and the
// member's data (which starts with the 12-byte encryption header when flag
// bit 0 is set). Fields are decoded from little-endian bytes, so the layout
// holds on any host.
struct LocalFileHeader {
    uint32_t signature;
    uint16_t versionNeeded;
    uint16_t flags;             // bit 0: encrypted; bit 3: check byte is the time's high byte; bit 11: UTF-8 name
    uint16_t method;            // MethodStored or MethodDeflated; others are refused
    uint16_t modificationTime;  // DOS format
    uint16_t modificationDate;
    uint32_t crc32;
    uint32_t compressedSize;  // includes the encryption header when flag bit 0 is set
    uint32_t uncompressedSize;
    uint16_t nameLength;
    uint16_t extraLength;
};

constexpr uint32_t LocalHeaderSize = 30;
constexpr uint32_t LocalHeaderSignature = 0x04034B50;
// Accepted like the real signature by the record test.
constexpr uint32_t AlternateHeaderSignature = 0x50000000;
constexpr uint32_t CentralHeaderSignature = 0x02014B50;
constexpr uint32_t EndOfCentralDirectorySignature = 0x06054B50;
constexpr uint32_t DataDescriptorSignature = 0x08074B50;
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagDataDescriptor = 0x0008;
constexpr uint16_t FlagStrongEncryption = 0x0040;  // a cipher other than the traditional one
constexpr uint16_t FlagUtf8Name = 0x0800;          // the name is UTF-8, not the system's code page
static_assert(FlagDataDescriptor == FlagCheckByteIsTime, "the password check reads the same flag bit");
constexpr uint16_t MethodStored = 0;
constexpr uint16_t MethodDeflated = 8;

// What keeps the stub from decoding a member, or None. The one rule for the
// stub's extraction driver, mksfx's walk and convert, and the archive fuzzer,
// so that "passes mksfx test" keeps meaning "extracts in the stub". Checked in
// the order of the values.
enum class Undecodable : uint8_t {
    None,
    Method,            // neither MethodStored nor MethodDeflated
    StrongEncryption,  // flag bit 6: a cipher the stub cannot know, whatever the method; no password is asked
    NameNotUtf8,       // flag bit 11 on a name that is not valid UTF-8
};
// From the method and the flags: what the stub's driver judges. It has judged
// the name already, while reading it (ConvertUtf8Name, which Windows makes
// refuse what IsValidUtf8 refuses).
Undecodable WhyUndecodable(const LocalFileHeader& header);
// The same and the stored name, `length` bytes up to its first zero byte.
Undecodable WhyUndecodable(const LocalFileHeader& header, const char* name, uint32_t length);

// The current header: each ReadLocalHeader overwrites it.
extern LocalFileHeader CurrentHeader;
// File offset of the current header; -1 after a seek the system refused.
// Meaningless before the first SeekArchive.
extern int32_t CurrentHeaderOffset;

// Positions ArchiveFile at an absolute offset and keeps the resulting position
// as CurrentHeaderOffset (-1 when the system refuses the seek).
void SeekArchive(uint32_t offset);

// Clears the signature, reads 30 bytes at the file position into CurrentHeader
// and returns whether the record test passes. A read at or past the end of the
// file reads nothing, so the cleared signature fails the test.
bool ReadLocalHeader();

// Decodes 30 header bytes; the bytes past `available` read as 0.
LocalFileHeader DecodeLocalHeader(const uint8_t* bytes, uint32_t available);

bool PassesRecordTest(uint32_t signature);

// Where a member's parts lie, from its header at `start`. Offsets are 64-bit so
// that hostile sizes cannot wrap round to an earlier position.
struct MemberLayout {
    uint64_t nameOffset;
    uint64_t dataOffset;
    uint64_t nextHeaderOffset;
};
MemberLayout LayOutMember(uint32_t start, const LocalFileHeader& header);

// How a walk ended. Only a central-directory header or the end record after the
// last member is a clean end: anything else means members may have gone unseen.
enum class WalkEnd { NotEnded, AtCentralDirectory, Damaged };

// Steps from the member at `start` (whose header is `member`) to the next local
// header: seeks there and reads it, stepping over a data descriptor that repeats
// the member's CRC-32 and sizes. Returns true when another member follows.
// When it returns false, *end tells whether the walk reached the central
// directory or stopped at something it cannot read. A next offset beyond 4 GiB
// ends the walk as damaged.
bool StepToNextMember(uint32_t start, const LocalFileHeader& member, WalkEnd* end);

// Classifies the record that failed the test at the current position.
WalkEnd ClassifyWalkEnd();

#pragma once
#include <csignal>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "archive/LocalHeader.h"
#include "decode/Decrypt.h"

using Bytes = std::vector<uint8_t>;

// The stub walks a member's data with a signed 32-bit count, so no member's
// data may reach 2 GiB; it positions its file with a signed 32-bit offset
// (SetFilePointer without the high part), so no byte of the file may lie at
// 2 GiB or beyond either. The archive has no Zip64 records: the entry count
// must fit the end record's 16-bit field.
constexpr uint64_t MaxMemberDataSize = 0x7FFFFFFFu;
constexpr uint64_t MaxSfxFileSize = 0x7FFFFFFFu;
constexpr uint32_t MaxEntryCount = 65535;

// "... must stay below 2 GiB (2147483648 bytes): ..." for refusals.
std::string DescribeFileSizeLimit();

constexpr uint32_t DataDescriptorSize = 16;  // signature, CRC-32, both sizes
constexpr uint32_t CentralHeaderSize = 46;   // before the name, extra field and comment
constexpr uint32_t EndRecordSize = 22;       // before the archive comment

// One member as the central directory records it.
struct ZipEntry {
    uint16_t versionMadeBy = (3 << 8) | 20;  // Unix, format 2.0
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = MethodStored;
    uint16_t modificationTime = 0;  // DOS format
    uint16_t modificationDate = 0;
    uint32_t crc32 = 0;
    uint32_t compressedSize = 0;  // including the 12-byte encryption header
    uint32_t uncompressedSize = 0;
    std::string name;
    Bytes localExtra;
    Bytes centralExtra;
    Bytes comment;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint32_t localHeaderOffset = 0;  // from the start of the whole file, stub included
};

// Writes a self-extracting file: the stub, then each member's complete local
// header and data, then the central directory and the end record, with every
// offset counted from the start of the whole file, so ordinary ZIP readers
// accept the file as it is. Everything goes to a temporary file beside the
// output, renamed over it by Commit; until then the output path is untouched,
// and a failure, an exception or a signal (RemoveOnSignal) removes the temporary file.
class SfxWriter {
public:
    explicit SfxWriter(const std::string& outputPath);
    ~SfxWriter();
    SfxWriter(const SfxWriter&) = delete;
    SfxWriter& operator=(const SfxWriter&) = delete;

    void WriteStub(const Bytes& stub);
    // Writes the local header (always with the entry's real CRC-32 and sizes),
    // the name and the local extra field; the caller then writes exactly
    // compressedSize bytes with WriteData. Refuses an entry that would break the
    // limits above. An entry that keeps flag bit 3 gets a data descriptor that
    // repeats its header's CRC-32 and sizes (see EndMember).

    void BeginMember(ZipEntry entry);
    void WriteData(const uint8_t* bytes, size_t count);
    void Commit(const Bytes& archiveComment);

    uint64_t Position() const { return position; }
    size_t EntryCount() const { return entries.size(); }
    // True for the temporary file itself, so that an input walk over the
    // output's own directory leaves it out.
    bool IsOwnFile(const struct stat& info) const;
    const std::string& OutputPath() const { return outputPath; }

private:
    void Write(const void* bytes, size_t count);
    void Flush();
    // Closes the member written last. Only an encrypted member converted from a
    // writer that set flag bit 3 keeps the bit, since its password check byte is
    // the time's high byte under that bit; Info-ZIP unzip rejects such a member
    // without its descriptor (it finds the next header "overlapping" it), and
    // the walk steps over a descriptor that repeats the local header exactly.
    void EndMember();

    std::string outputPath;
    std::string temporaryPath;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    uint64_t position = 0;
    uint64_t memberEnd = 0;  // where the current member's data must end
    Bytes buffer;
    std::vector<ZipEntry> entries;
    bool committed = false;
};

// The one temporary file that SIGINT, SIGTERM and SIGHUP remove (`name` under
// the directory descriptor, or AT_FDCWD) before the process ends with the
// signal's status; KeepOnSignal forgets it once it is renamed or removed.
void RemoveOnSignal(int directory, const std::string& name);
void KeepOnSignal();

// Holds those signals back while it lives, so that creating a temporary file
// and registering it are one step for them.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous;
};

// DOS date and time of a moment in local time, as ZIP writers store them;
// moments before 1980 become 1980-01-01 00:00:00, after 2107 the last second of 2107.
void ToDosTime(time_t moment, uint16_t* time, uint16_t* date);
time_t FromDosTime(uint16_t time, uint16_t date);

// The process's file-creation mask, read without changing it: the modes of
// the files mksfx writes follow it.
mode_t CurrentUmask();

// The encrypting side of the traditional ZIP encryption: the stub's key
// schedule over a key set of its own (the stub decrypts with CipherKeys).
class TraditionalEncryptor {
public:
    explicit TraditionalEncryptor(const std::string& password);
    void Encrypt(uint8_t* bytes, size_t count);

private:
    CipherKeySet keys;
};

// The 12-byte encryption header for a member, already encrypted: eleven bytes
// from the system's random source and the check byte the stub compares (with
// flag bit 3 clear, the CRC-32's high byte).
Bytes MakeEncryptionHeader(TraditionalEncryptor& encryptor, uint32_t crc32);

// Why a name (after "/" became "\\") is one the stub never writes, said after
// "its name " or "the name ": "leads outside the destination folder" and the
// like; empty for a safe name.
std::string DescribeUnsafeName(const std::string& converted);

// Name checks shared by create and convert. Returns an empty string when the
// stub can read and safely write the name, else why it cannot.
std::string WhyNameIsRefused(const std::string& name);

// Names that Windows would put on one file: stored twice, equal without
// regard to case, or a file and a folder of the same name. Allowed (the stub asks before
// replacing a file), but each pair gets a warning line naming both.
std::vector<std::string> DescribeNameClashes(const std::vector<std::string>& names);

void PutLittle16(Bytes& out, uint16_t value);
void PutLittle32(Bytes& out, uint32_t value);
uint16_t GetLittle16(const uint8_t* bytes);
uint32_t GetLittle32(const uint8_t* bytes);

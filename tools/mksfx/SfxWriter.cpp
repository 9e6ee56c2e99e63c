#include "tools/mksfx/SfxWriter.h"

#include "archive/LocalHeader.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "fsutil/PathString.h"
#include "tools/mksfx/Console.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/random.h>
#include <unistd.h>

void PutLittle16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLittle32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint16_t GetLittle16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t GetLittle32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

mode_t CurrentUmask()
{
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// The temporary file that a signal must remove, relative to PendingDirectory;
// fixed storage because the handler may only make async-signal-safe calls.
static char PendingTemporary[4096];
static volatile int PendingDirectory = AT_FDCWD;

static void RemovePendingAndDie(int signal)
{
    if (PendingTemporary[0])
        unlinkat(PendingDirectory, PendingTemporary, 0);
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void RemoveOnSignal(int directory, const std::string& name)
{
    PendingTemporary[0] = '\0';  // the handler sees no half-written name
    if (name.empty() || name.size() >= sizeof PendingTemporary)
        return;
    PendingDirectory = directory;
    std::memcpy(PendingTemporary + 1, name.c_str() + 1, name.size());
    PendingTemporary[0] = name[0];
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, RemovePendingAndDie);
}

void KeepOnSignal()
{
    PendingTemporary[0] = '\0';
}

SignalsHeld::SignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous);
}

SignalsHeld::~SignalsHeld()
{
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

SfxWriter::SfxWriter(const std::string& outputPath) : outputPath(outputPath)
{
    size_t slash = outputPath.rfind('/');
    std::string directory = slash == std::string::npos ? "." : outputPath.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    if (base.empty())
        throw CommandError(ExitUsageError, outputPath + ": the output must be a file name");
    std::string pattern = (slash == std::string::npos ? std::string() : directory) + "." + base + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    {
        SignalsHeld held;
        fd = mkstemp(name.data());
        if (fd >= 0)
            RemoveOnSignal(AT_FDCWD, name.data());
    }
    if (fd < 0)
        throw CommandError(ExitFileError, "cannot create " + outputPath + ": " + SystemErrorText(errno));
    temporaryPath = name.data();
    struct stat info;
    if (fstat(fd, &info) == 0) {
        device = info.st_dev;
        inode = info.st_ino;
    }
    buffer.reserve(1 << 20);
}

SfxWriter::~SfxWriter()
{
    if (fd >= 0)
        close(fd);
    if (!committed && !temporaryPath.empty())
        unlink(temporaryPath.c_str());
    KeepOnSignal();
}

bool SfxWriter::IsOwnFile(const struct stat& info) const
{
    return info.st_dev == device && info.st_ino == inode;
}

void SfxWriter::Flush()
{
    size_t done = 0;
    while (done < buffer.size()) {
        ssize_t put = write(fd, buffer.data() + done, buffer.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            throw CommandError(ExitFileError, "cannot write " + outputPath + ": " + SystemErrorText(errno));
        done += static_cast<size_t>(put);
    }
    buffer.clear();
}

void SfxWriter::Write(const void* bytes, size_t count)
{
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    if (buffer.size() + count > buffer.capacity())
        Flush();
    if (count >= buffer.capacity()) {
        buffer.assign(from, from + count);
        Flush();
    } else {
        buffer.insert(buffer.end(), from, from + count);
    }
    position += count;
}

void SfxWriter::WriteStub(const Bytes& stub)
{
    Write(stub.data(), stub.size());
}

void SfxWriter::EndMember()
{
    if (entries.empty())
        return;
    if (position != memberEnd)
        throw std::logic_error("member data shorter than its compressed size");
    const ZipEntry& last = entries.back();
    if (last.flags & FlagDataDescriptor) {
        Bytes descriptor;
        PutLittle32(descriptor, DataDescriptorSignature);
        PutLittle32(descriptor, last.crc32);
        PutLittle32(descriptor, last.compressedSize);
        PutLittle32(descriptor, last.uncompressedSize);
        Write(descriptor.data(), descriptor.size());
        memberEnd = position;
    }
}

// The run of fields that the local header and the central-directory record
// share, from the flags to the uncompressed size.
static void PutSharedFields(Bytes& record, const ZipEntry& entry)
{
    PutLittle16(record, entry.flags);
    PutLittle16(record, entry.method);
    PutLittle16(record, entry.modificationTime);
    PutLittle16(record, entry.modificationDate);
    PutLittle32(record, entry.crc32);
    PutLittle32(record, entry.compressedSize);
    PutLittle32(record, entry.uncompressedSize);
}

void SfxWriter::BeginMember(ZipEntry entry)
{
    EndMember();
    if (entries.size() >= MaxEntryCount)
        throw CommandError(ExitDataError, outputPath + ": more than " + std::to_string(MaxEntryCount) +
                                              " members (the archive has no Zip64 records)");
    if (entry.compressedSize > MaxMemberDataSize || entry.uncompressedSize > MaxMemberDataSize)
        throw CommandError(ExitDataError, outputPath + ": member " + entry.name +
                                              " is 2 GiB or larger, more than the stub can extract");
    uint64_t end = position + LocalHeaderSize + entry.name.size() + entry.localExtra.size() + entry.compressedSize;
    uint64_t descriptorSize = (entry.flags & FlagDataDescriptor) ? DataDescriptorSize : 0;
    if (end + descriptorSize > MaxSfxFileSize)
        throw CommandError(ExitDataError, outputPath + ": the archive reaches 2 GiB at member " + entry.name +
                                              "; " + DescribeFileSizeLimit());
    entry.localHeaderOffset = static_cast<uint32_t>(position);
    Bytes header;
    PutLittle32(header, LocalHeaderSignature);
    PutLittle16(header, entry.versionNeeded);
    PutSharedFields(header, entry);
    PutLittle16(header, static_cast<uint16_t>(entry.name.size()));
    PutLittle16(header, static_cast<uint16_t>(entry.localExtra.size()));
    header.insert(header.end(), entry.name.begin(), entry.name.end());
    header.insert(header.end(), entry.localExtra.begin(), entry.localExtra.end());
    Write(header.data(), header.size());
    memberEnd = end;
    entries.push_back(std::move(entry));
}

std::string DescribeFileSizeLimit()
{
    return "a self-extracting archive must stay below 2 GiB (" + std::to_string(MaxSfxFileSize + 1) +
           " bytes), because the stub positions its file with a signed 32-bit offset";
}

void SfxWriter::WriteData(const uint8_t* bytes, size_t count)
{
    if (position + count > memberEnd)
        throw std::logic_error("member data longer than its compressed size");
    Write(bytes, count);
}

void SfxWriter::Commit(const Bytes& archiveComment)
{
    EndMember();
    uint64_t directoryStart = position;
    Bytes record;
    for (const ZipEntry& entry : entries) {
        record.clear();
        PutLittle32(record, CentralHeaderSignature);
        PutLittle16(record, entry.versionMadeBy);
        PutLittle16(record, entry.versionNeeded);
        PutSharedFields(record, entry);
        PutLittle16(record, static_cast<uint16_t>(entry.name.size()));
        PutLittle16(record, static_cast<uint16_t>(entry.centralExtra.size()));
        PutLittle16(record, static_cast<uint16_t>(entry.comment.size()));
        PutLittle16(record, 0);  // disk number
        PutLittle16(record, entry.internalAttributes);
        PutLittle32(record, entry.externalAttributes);
        PutLittle32(record, entry.localHeaderOffset);
        record.insert(record.end(), entry.name.begin(), entry.name.end());
        record.insert(record.end(), entry.centralExtra.begin(), entry.centralExtra.end());
        record.insert(record.end(), entry.comment.begin(), entry.comment.end());
        Write(record.data(), record.size());
    }
    uint64_t directorySize = position - directoryStart;
    if (position + EndRecordSize + archiveComment.size() > MaxSfxFileSize)
        throw CommandError(ExitDataError, outputPath + ": the archive reaches 2 GiB; " + DescribeFileSizeLimit());
    record.clear();
    PutLittle32(record, EndOfCentralDirectorySignature);
    PutLittle16(record, 0);
    PutLittle16(record, 0);
    PutLittle16(record, static_cast<uint16_t>(entries.size()));
    PutLittle16(record, static_cast<uint16_t>(entries.size()));
    PutLittle32(record, static_cast<uint32_t>(directorySize));
    PutLittle32(record, static_cast<uint32_t>(directoryStart));
    PutLittle16(record, static_cast<uint16_t>(archiveComment.size()));
    record.insert(record.end(), archiveComment.begin(), archiveComment.end());
    Write(record.data(), record.size());
    Flush();
    if (fchmod(fd, 0755 & ~CurrentUmask()) != 0 || fsync(fd) != 0 || close(fd) != 0) {
        fd = -1;
        throw CommandError(ExitFileError, "cannot write " + outputPath + ": " + SystemErrorText(errno));
    }
    fd = -1;
    if (rename(temporaryPath.c_str(), outputPath.c_str()) != 0)
        throw CommandError(ExitFileError, "cannot create " + outputPath + ": " + SystemErrorText(errno));
    committed = true;
}

void ToDosTime(time_t moment, uint16_t* time, uint16_t* date)
{
    struct tm parts;
    if (!localtime_r(&moment, &parts) || parts.tm_year < 80) {
        *time = 0;
        *date = (1 << 5) | 1;  // 1980-01-01
        return;
    }
    if (parts.tm_year > 207) {
        *time = (23 << 11) | (59 << 5) | 29;
        *date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
        return;
    }
    *time = static_cast<uint16_t>((parts.tm_hour << 11) | (parts.tm_min << 5) | (parts.tm_sec / 2));
    *date = static_cast<uint16_t>(((parts.tm_year - 80) << 9) | ((parts.tm_mon + 1) << 5) | parts.tm_mday);
}

time_t FromDosTime(uint16_t time, uint16_t date)
{
    struct tm parts = {};
    parts.tm_year = (date >> 9) + 80;
    parts.tm_mon = ((date >> 5) & 15) - 1;
    parts.tm_mday = date & 31;
    parts.tm_hour = time >> 11;
    parts.tm_min = (time >> 5) & 63;
    parts.tm_sec = (time & 31) * 2;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

TraditionalEncryptor::TraditionalEncryptor(const std::string& password)
{
    InitKeys(keys, password.c_str());
}

void TraditionalEncryptor::Encrypt(uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t plain = bytes[i];
        bytes[i] = plain ^ KeyStreamByte(keys);
        UpdateKeys(keys, plain);
    }
}

Bytes MakeEncryptionHeader(TraditionalEncryptor& encryptor, uint32_t crc32)
{
    Bytes header(EncryptionHeaderSize);
    size_t filled = 0;
    while (filled < EncryptionHeaderSize - 1) {
        ssize_t got = getrandom(header.data() + filled, EncryptionHeaderSize - 1 - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw CommandError(ExitFileError, "the system's random source failed: " + SystemErrorText(errno));
        filled += static_cast<size_t>(got);
    }
    header[EncryptionHeaderSize - 1] = static_cast<uint8_t>(crc32 >> 24);
    encryptor.Encrypt(header.data(), header.size());
    return header;
}

std::string DescribeUnsafeName(const std::string& converted)
{
    switch (WhyUnsafeMemberName(converted.c_str())) {
    case UnsafeName::None:
        return "";
    case UnsafeName::LeavesDestination:
        return "leads outside the destination folder (a leading separator or a part made of dots)";
    case UnsafeName::HasColon:
        return "holds ':', which on Windows names a drive or an alternate data stream";
    case UnsafeName::ReservedChar:
        break;
    case UnsafeName::Device:
        return "names a Windows device (CON, PRN, AUX, NUL, COM1-9, LPT1-9 and the like)";
    }
    for (char c : converted) {
        if (static_cast<unsigned char>(c) < 0x20)
            return "holds a control character, which Windows file names cannot hold";
        if (std::strchr("*?<>|\"", c))
            return std::string("holds '") + c + "', a character Windows file names cannot hold";
    }
    return "holds a character Windows file names cannot hold";
}

std::string WhyNameIsRefused(const std::string& name)
{
    if (name.empty())
        return "the name is empty";
    if (name.find('\0') != std::string::npos)
        return "the name holds a zero byte";
    if (name.size() > NameBufferSize)
        return "the name is longer than " + std::to_string(NameBufferSize) + " bytes";
    std::string converted = name;
    SlashesToBackslashes(converted.data());
    std::string unsafe = DescribeUnsafeName(converted);
    if (!unsafe.empty())
        return "the name " + unsafe;
    // Windows drops a trailing dot or space from every component, so "notes.txt."
    // would land on "notes.txt".
    size_t begin = 0;
    while (begin < converted.size()) {
        size_t end = converted.find('\\', begin);
        if (end == std::string::npos)
            end = converted.size();
        if (end > begin && (converted[end - 1] == '.' || converted[end - 1] == ' '))
            return "'" + name.substr(begin, end - begin) +
                   "' ends in a dot or a space, which Windows drops from a file name";
        begin = end + 1;
    }
    return "";
}

// The name as Windows compares it: "/" for either separator, no trailing
// separator, ASCII letters in lower case.
static std::string FoldedName(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded) {
        if (c == '\\')
            c = '/';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    while (!folded.empty() && folded.back() == '/')
        folded.pop_back();
    return folded;
}

std::vector<std::string> DescribeNameClashes(const std::vector<std::string>& names)
{
    std::map<std::string, std::string> files;    // folded name -> the first file of that name
    std::map<std::string, std::string> folders;  // folded name -> a folder as written, stored or implied
    for (const std::string& name : names) {
        bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
        std::string path = name;
        while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
            path.pop_back();
        for (size_t at = path.find_first_of("/\\"); at != std::string::npos;
             at = path.find_first_of("/\\", at + 1))
            folders.emplace(FoldedName(path.substr(0, at)), path.substr(0, at + 1));
        if (folder)
            folders.emplace(FoldedName(path), name);
        else
            files.emplace(FoldedName(path), name);
    }
    std::vector<std::string> clashes;
    std::set<std::string> reported;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (name.empty() || name.back() == '/' || name.back() == '\\')
            continue;
        if (!seen.insert(name).second && reported.insert("=" + name).second)
            clashes.push_back("member " + name +
                              " is stored twice; the stub extracts both to one file "
                              "(it asks before replacing)");
        std::string folded = FoldedName(name);
        const std::string& first = files.at(folded);
        if (first != name && reported.insert(folded).second)
            clashes.push_back(
                "members " + first + " and " + name +
                " differ only in case; on Windows they are one file (the stub asks before replacing)");
        auto folder = folders.find(folded);
        if (folder != folders.end() && reported.insert(folded + "/").second)
            clashes.push_back("member " + name + " is a file and " + folder->second +
                              " a folder; Windows cannot hold both under one name");
    }
    return clashes;
}

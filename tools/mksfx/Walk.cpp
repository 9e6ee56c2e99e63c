// list, test and extract: the members are found exactly as the stub finds
// them, by walking the local headers from the stub size (or from 0 for a plain
// ZIP archive); the central directory is never read. Members are decoded by
// the stub's own decoders, so a member that passes here passes in the stub.
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/MemberCheck.h"

#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "archive/StubSize.h"
#include "decode/Decrypt.h"
#include "decode/OutputWindow.h"
#include "fileio/FileIo.h"
#include "fsutil/PathString.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct WalkedMember {
    uint32_t start = 0;  // offset of its local header
    LocalFileHeader header{};
    uint64_t dataOffset = 0;
    std::string name;     // the stored bytes up to the first zero byte, "/" as stored
    std::string refusal;  // why the stub would not extract it; empty when it would
    bool IsDirectory() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
};

// Opens the file as ArchiveFile for the length of a command.
class OpenArchive {
public:
    explicit OpenArchive(const std::string& path) : path(path)
    {
        ArchiveFile = OpenFileForReading(path.c_str());
        struct stat info;
        if (ArchiveFile == NoFile || fstat(static_cast<int>(ArchiveFile), &info) != 0)
            throw CommandError(ExitFileError, "cannot open " + path + ": " + SystemErrorText(errno));
        if (!S_ISREG(info.st_mode))
            throw CommandError(ExitFileError, path + ": not a regular file");
        size = static_cast<uint64_t>(info.st_size);
        if (size > 0xFFFFFFFFu)
            throw CommandError(ExitDataError, path + ": larger than 4 GiB; the stub reads no such file");
    }
    ~OpenArchive()
    {
        CloseFile(ArchiveFile);
        ArchiveFile = NoFile;
    }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

    std::string path;
    uint64_t size = 0;
};

// Where the walk starts: --offset, else 0 for a file that starts with a local
// header (a plain ZIP archive), else the stub size.
uint32_t FindWalkStart(const OpenArchive& archive, const ParsedCommandLine& parsed, const std::string& command)
{
    if (parsed.Has("offset")) {
        std::string text = parsed.Value("offset");
        char* end = nullptr;
        errno = 0;
        unsigned long long value = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end || errno || value > 0xFFFFFFFEu)
            ThrowUsage(command, "the offset must be a number of bytes, not '" + text + "'");
        return static_cast<uint32_t>(value);
    }
    uint8_t first[4] = {};
    SeekFileTo(ArchiveFile, 0);
    if (ReadFromFile(ArchiveFile, first, 4) == 4 &&
        (first[0] | first[1] << 8 | first[2] << 16 | static_cast<uint32_t>(first[3]) << 24) == LocalHeaderSignature)
        return 0;
    if (archive.size == StubSize)
        throw CommandError(ExitDataError, archive.path + ": a stub with no archive attached");
    if (archive.size < StubSize)
        throw CommandError(ExitDataError, archive.path + ": neither a ZIP archive nor a self-extracting archive");
    return StubSize;
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string WhyStubRefusesName(const LocalFileHeader& header, const std::string& name)
{
    if (header.nameLength > NameBufferSize)
        return "its name is longer than " + std::to_string(NameBufferSize) + " bytes";
    if (name.empty())
        return "its name is empty";
    std::string converted = name;
    SlashesToBackslashes(converted.data());
    if (IsUnsafeMemberName(converted.c_str()))
        return "its name would leave the destination directory or names a device";
    // A deflated member is never 0 bytes long: this one's sizes follow its data.
    if ((header.flags & FlagDataDescriptor) && header.method == MethodDeflated && header.compressedSize == 0)
        return "its sizes are in a data descriptor after its data, which the stub cannot find "
               "('mksfx convert' writes them into the header)";
    if (header.method != MethodStored && header.method != MethodDeflated)
        return "compression method " + std::to_string(header.method) + "; the stub extracts stored and deflated only";
    // The stub takes this flag for an unknown cipher whatever the method, and
    // never asks for a password for it.
    if (header.flags & FlagStrongEncryption)
        return "its flags mark strong encryption (bit 6); the stub decrypts the traditional cipher only";
    return "";
}

// Walks every member and hands it to `visit`, which may move ArchiveFile's
// position as it likes. Throws when the start holds no local header, and when
// the walk ends on anything but the central directory (members after that
// point would go unseen by the stub too).
void WalkMembers(const OpenArchive& archive, uint32_t start, const std::function<void(WalkedMember&)>& visit)
{
    SeekArchive(start);
    if (CurrentHeaderOffset == -1 || !ReadLocalHeader())
        throw CommandError(ExitDataError, archive.path + ": no ZIP member at offset " + std::to_string(start) +
                                              (start == StubSize ? " (the end of the stub)" : ""));
    WalkEnd end = WalkEnd::NotEnded;
    bool more = true;
    std::string lastName;
    while (more) {
        WalkedMember member;
        member.start = static_cast<uint32_t>(CurrentHeaderOffset);
        member.header = CurrentHeader;
        member.dataOffset = LayOutMember(member.start, member.header).dataOffset;
        std::string raw(member.header.nameLength, '\0');
        if (ReadFromFile(ArchiveFile, raw.data(), member.header.nameLength) != member.header.nameLength)
            throw CommandError(ExitDataError, archive.path + ": damaged archive: the member at offset " +
                                                  std::to_string(member.start) + " is cut short");
        member.name = raw.c_str();
        member.refusal = WhyStubRefusesName(member.header, member.name);
        if (member.refusal.empty() &&
            LayOutMember(member.start, member.header).nextHeaderOffset > MaxSfxFileSize + 1)
            member.refusal = "it reaches past 2 GiB, where the stub cannot follow: it positions its file "
                             "with a signed 32-bit offset";
        visit(member);
        lastName = member.name;
        more = StepToNextMember(member.start, member.header, &end);
    }
    if (end != WalkEnd::AtCentralDirectory)
        throw CommandError(ExitDataError, archive.path + ": damaged archive: after member " + lastName +
                                              " there is neither a local header nor the central directory "
                                              "(a data descriptor or a wrong size?); the stub sees no members "
                                              "after it");
}

std::string DateText(const LocalFileHeader& header)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980 + (header.modificationDate >> 9),
                  (header.modificationDate >> 5) & 15, header.modificationDate & 31, header.modificationTime >> 11,
                  (header.modificationTime >> 5) & 63);
    return text;
}

const std::vector<OptionSpec> ListOptions = {
    {"offset", 0, true},
    {"quiet", 'q', false},
    {"verbose", 'v', false},
};

// Password state of a test or extract run: like the stub, the last accepted
// password is tried first for every encrypted member.
class PasswordKeeper {
public:
    PasswordKeeper(const ParsedCommandLine& parsed) : password(TakePassword(parsed, false))
    {
        interactive = password.empty() && isatty(STDIN_FILENO);
    }
    // Only this password, never a prompt.
    explicit PasswordKeeper(const std::string& password) : password(password) {}

    // Reads the member's encryption header and checks the password, asking on
    // the terminal when none fits and one may be asked. Leaves the keys at the
    // member's data and ArchiveFile just after the header. Returns the error, or "".
    std::string Unlock(const WalkedMember& member)
    {
        uint8_t header[2 * EncryptionHeaderSize];
        if (member.header.compressedSize < EncryptionHeaderSize || member.dataOffset > 0xFFFFFFFFu ||
            SeekFileTo(ArchiveFile, static_cast<uint32_t>(member.dataOffset)) == -1 ||
            ReadFromFile(ArchiveFile, header + EncryptionHeaderSize, EncryptionHeaderSize) != EncryptionHeaderSize)
            return "its encryption header is cut short";
        uint32_t timeAndDate = member.header.modificationTime | (uint32_t(member.header.modificationDate) << 16);
        auto check = [&](const std::string& candidate) {
            return CheckEncryptionHeader(header, EncryptionHeaderSize, member.header.flags, candidate.c_str(),
                                         timeAndDate, member.header.crc32);
        };
        if (!password.empty() && check(password))
            return "";
        if (!interactive)
            return password.empty() ? "it is encrypted; give the password with -P or --password-file"
                                    : "wrong password";
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::string typed = PromptForPassword(member.name + " password: ", false);
            if (!typed.empty() && check(typed)) {
                password = typed;
                return "";
            }
        }
        return "wrong password";
    }

private:
    std::string password;
    bool interactive = false;
};

// Decodes the member's data from ArchiveFile into `output` exactly as the stub
// does. For an encrypted member PasswordKeeper::Unlock has run. Returns the
// error, or "".
std::string DecodeMember(const WalkedMember& member, FileHandle output)
{
    const LocalFileHeader& header = member.header;
    OutputFile = output;
    DataOutcome outcome = DecodeMemberData(member.start, header);
    OutputFile = NoFile;
    switch (outcome) {
    case DataOutcome::Verified:
        return "";
    case DataOutcome::OutOfReach:
        return "its data is 2 GiB or larger or lies beyond the end of the file, out of the stub's reach";
    case DataOutcome::SizeMismatch:
        return "it is stored, but its compressed size " + std::to_string(header.compressedSize) +
               " is not its uncompressed size " + std::to_string(header.uncompressedSize) +
               ((header.flags & FlagEncrypted) ? " plus the 12-byte encryption header" : "");
    case DataOutcome::Damaged:
        return header.method == MethodStored ? "its data is cut short or could not be written"
                                             : "its deflated data is damaged or decodes to more than its "
                                               "uncompressed size (the decoder failed)";
    case DataOutcome::CrcMismatch:
        break;
    }
    return "CRC-32 mismatch: the header says " + Hex32(header.crc32) + ", the data gives " + Hex32(~OutputCrc) +
           ((header.flags & FlagEncrypted) ? " (a wrong password can pass the check byte)" : "");
}

const std::vector<OptionSpec> TestOptions = {
    {"password", 'P', true}, {"password-file", 0, true}, {"offset", 0, true},
    {"quiet", 'q', false},   {"verbose", 'v', false},
};

const std::vector<OptionSpec> ExtractOptions = {
    {"directory", 'd', true}, {"junk-paths", 'j', false}, {"overwrite", 0, false},
    {"skip-existing", 0, false}, {"password", 'P', true}, {"password-file", 0, true},
    {"offset", 0, true},      {"quiet", 'q', false},      {"verbose", 'v', false},
};

std::string TakeSingleOperand(const ParsedCommandLine& parsed, const std::string& command)
{
    if (parsed.operands.size() != 1)
        ThrowUsage(command, parsed.operands.empty() ? "no archive given" : "one archive at a time");
    return parsed.operands[0];
}

// Creates `path` and its missing parents; returns the error, or "".
std::string MakeDirectories(const std::string& path)
{
    std::string partial;
    size_t at = 0;
    while (at <= path.size()) {
        size_t slash = path.find('/', at);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        at = slash + 1;
        if (partial.empty() || partial == "." || partial == "/")
            continue;
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return "cannot create directory " + partial + ": " + SystemErrorText(errno);
        struct stat info;
        if (stat(partial.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return "cannot create directory " + partial + ": a file of that name is in the way";
    }
    return "";
}

// A directory descriptor that closes itself.
class DirectoryHandle {
public:
    explicit DirectoryHandle(int fd = -1) : fd(fd) {}
    ~DirectoryHandle()
    {
        if (fd >= 0)
            close(fd);
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;
    void Reset(int next)
    {
        if (fd >= 0)
            close(fd);
        fd = next;
    }
    int fd;
};

// Opens the directory `relative` ("a/b", "" for the destination itself) under
// the destination, creating what is missing, one component at a time with
// O_NOFOLLOW: nothing under the destination is ever reached through a symbolic
// link, whatever the archive or another process put there. `shownBase` is the
// destination as messages show it. Returns the descriptor, or -1 and the error.
int OpenUnderDestination(int destination, const std::string& relative, const std::string& shownBase,
                         std::string* why)
{
    DirectoryHandle current(dup(destination));
    std::string reached = shownBase;
    size_t at = 0;
    while (current.fd >= 0 && at < relative.size()) {
        size_t slash = relative.find('/', at);
        if (slash == std::string::npos)
            slash = relative.size();
        std::string part = relative.substr(at, slash - at);
        at = slash + 1;
        if (part.empty() || part == ".")
            continue;
        reached += "/" + part;
        if (mkdirat(current.fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
            *why = "cannot create directory " + reached + ": " + SystemErrorText(errno);
            return -1;
        }
        int next = openat(current.fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            int error = errno;
            struct stat info;
            if (fstatat(current.fd, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
                *why = reached + " is a symbolic link; nothing is written through a link";
            else if (error == ENOTDIR || error == ELOOP)
                *why = "cannot create directory " + reached + ": a file of that name is in the way";
            else
                *why = "cannot open directory " + reached + ": " + SystemErrorText(error);
            return -1;
        }
        current.Reset(next);
    }
    if (current.fd < 0)
        *why = "cannot open " + shownBase + ": " + SystemErrorText(errno);
    int opened = current.fd;
    current.fd = -1;
    return opened;
}

// Creates a file for writing under a fresh hidden name in `directory`, never
// through a link (O_CREAT | O_EXCL). Returns the descriptor, or -1.
int CreateTemporaryIn(int directory, std::string* name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint8_t random[8];
        if (getrandom(random, sizeof random, 0) != sizeof random)
            return -1;
        *name = ".mksfx-";
        for (uint8_t byte : random)
            *name += letters[byte % (sizeof letters - 1)];
        int fd = openat(directory, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

mode_t CurrentUmask()
{
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

std::string CheckMemberData(uint32_t start, const LocalFileHeader& header, const std::string& password,
                            FileHandle output)
{
    WalkedMember member;
    member.start = start;
    member.header = header;
    member.dataOffset = LayOutMember(start, header).dataOffset;
    if (header.flags & FlagEncrypted) {
        std::string why = PasswordKeeper(password).Unlock(member);
        if (!why.empty())
            return why;
    }
    return DecodeMember(member, output);
}

int RunList(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, ListOptions, "list");
    SetVerbosity(parsed);
    OpenArchive archive(TakeSingleOperand(parsed, "list"));
    uint32_t start = FindWalkStart(archive, parsed, "list");
    bool verbose = OutputLevel == Verbosity::Verbose;
    bool quiet = OutputLevel == Verbosity::Quiet;
    if (!quiet)
        std::printf(verbose ? " Length  Method     Size  Cmpr  Date       Time   CRC-32    Name\n"
                              "--------  ------  -------  ----  ---------- -----  --------  ----\n"
                            : "  Length  Date       Time   Name\n"
                              "--------  ---------- -----  ----\n");
    uint64_t totalLength = 0, totalSize = 0;
    unsigned count = 0, refused = 0;
    std::vector<std::string> problems;
    WalkMembers(archive, start, [&](WalkedMember& member) {
        const LocalFileHeader& header = member.header;
        ++count;
        totalLength += header.uncompressedSize;
        totalSize += header.compressedSize;
        std::string name = EscapeForTerminal(member.name);
        if (header.flags & FlagEncrypted)
            name += verbose ? "" : " (encrypted)";
        if (quiet) {
            std::printf("%s\n", EscapeForTerminal(member.name).c_str());
        } else if (verbose) {
            unsigned ratio = header.uncompressedSize
                                 ? static_cast<unsigned>(100 - uint64_t(header.compressedSize) * 100 /
                                                                   std::max<uint32_t>(header.uncompressedSize, 1))
                                 : 0;
            if (header.compressedSize > header.uncompressedSize)
                ratio = 0;
            const char* method = header.method == 0 ? "Stored" : header.method == 8 ? "Defl" : "Other";
            std::printf("%8u  %-6s %8u  %3u%%  %s  %s%s %s\n", header.uncompressedSize, method,
                        header.compressedSize, ratio, DateText(header).c_str(), Hex32(header.crc32).c_str(),
                        (header.flags & FlagEncrypted) ? "*" : " ", name.c_str());
        } else {
            std::printf("%8u  %s  %s\n", header.uncompressedSize, DateText(header).c_str(), name.c_str());
        }
        if (!member.refusal.empty()) {
            ++refused;
            problems.push_back(archive.path + ": member " + member.name + ": the stub cannot extract it: " +
                               member.refusal);
        }
    });
    if (!quiet) {
        if (verbose)
            std::printf("--------          -------  ----                              -------\n"
                        "%8llu          %7llu  %3u%%                              %u members\n",
                        static_cast<unsigned long long>(totalLength), static_cast<unsigned long long>(totalSize),
                        totalLength ? static_cast<unsigned>(totalSize >= totalLength ? 0 : 100 - totalSize * 100 / totalLength) : 0,
                        count);
        else
            std::printf("--------                    -------\n%8llu                    %u members\n",
                        static_cast<unsigned long long>(totalLength), count);
    }
    std::fflush(stdout);
    for (const std::string& problem : problems)
        ReportError(problem);
    return refused ? ExitDataError : ExitSuccess;
}

int RunTest(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, TestOptions, "test");
    SetVerbosity(parsed);
    OpenArchive archive(TakeSingleOperand(parsed, "test"));
    uint32_t start = FindWalkStart(archive, parsed, "test");
    PasswordKeeper passwords(parsed);
    FileHandle sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink == NoFile)
        throw CommandError(ExitFileError, "cannot open /dev/null: " + SystemErrorText(errno));
    unsigned count = 0, failed = 0;
    {
        ProgressBar progress(archive.path, archive.size - start);
        progress.FollowFileOffset(static_cast<int>(ArchiveFile), start);
        WalkMembers(archive, start, [&](WalkedMember& member) {
            ++count;
            std::string error = member.refusal;
            if (error.empty() && !member.IsDirectory()) {
                if (member.header.flags & FlagEncrypted)
                    error = passwords.Unlock(member);
                if (error.empty())
                    error = DecodeMember(member, sink);
            }
            if (!error.empty()) {
                ++failed;
                ReportError(archive.path + ": member " + member.name + ": " + error);
            } else {
                SayVerbose("    OK  " + member.name);
            }
        });
    }
    close(static_cast<int>(sink));
    if (failed) {
        ReportError(archive.path + ": " + std::to_string(failed) + " of " + std::to_string(count) +
                    " members failed");
        return ExitDataError;
    }
    Say(archive.path + ": " + std::to_string(count) + " members OK");
    return ExitSuccess;
}

int RunExtract(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, ExtractOptions, "extract");
    SetVerbosity(parsed);
    if (parsed.Has("overwrite") && parsed.Has("skip-existing"))
        ThrowUsage("extract", "--overwrite and --skip-existing exclude each other");
    OpenArchive archive(TakeSingleOperand(parsed, "extract"));
    uint32_t start = FindWalkStart(archive, parsed, "extract");
    PasswordKeeper passwords(parsed);
    std::string destination = parsed.Value("directory", ".");
    std::string error = MakeDirectories(destination);
    if (!error.empty())
        throw CommandError(ExitFileError, error);
    // The destination itself is the user's to choose, link or not; below it
    // every step goes through OpenUnderDestination.
    DirectoryHandle destinationDirectory(open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (destinationDirectory.fd < 0)
        throw CommandError(ExitFileError, "cannot open " + destination + ": " + SystemErrorText(errno));
    bool junkPaths = parsed.Has("junk-paths");
    mode_t fileMode = 0666 & ~CurrentUmask();
    unsigned count = 0, failed = 0, written = 0;
    {
        ProgressBar progress(archive.path, archive.size - start);
        progress.FollowFileOffset(static_cast<int>(ArchiveFile), start);
        WalkMembers(archive, start, [&](WalkedMember& member) {
            ++count;
            auto fail = [&](const std::string& why) {
                ++failed;
                ReportError(archive.path + ": member " + member.name + ": " + why);
            };
            if (!member.refusal.empty())
                return fail(member.refusal);
            // The stub's output path: "/" becomes "\", one leading "\" goes; here
            // "\" then separates directories as "/" does on this system.
            std::string relative = member.name;
            SlashesToBackslashes(relative.data());
            relative = StripLeadingBackslash(relative.c_str());
            if (junkPaths) {
                char namePart[MaxNamePart + 1];
                PathNamePart(relative.c_str(), namePart, sizeof namePart);
                relative = namePart;
            }
            for (char& c : relative)
                if (c == '\\')
                    c = '/';
            std::string path = destination + "/" + relative;
            if (member.IsDirectory()) {
                if (!junkPaths) {
                    std::string why;
                    int fd = OpenUnderDestination(destinationDirectory.fd, relative, destination, &why);
                    if (fd < 0)
                        return fail(why);
                    close(fd);
                }
                return;
            }
            size_t slash = relative.rfind('/');
            std::string leaf = slash == std::string::npos ? relative : relative.substr(slash + 1);
            std::string why;
            DirectoryHandle parent(OpenUnderDestination(
                destinationDirectory.fd, slash == std::string::npos ? "" : relative.substr(0, slash), destination,
                &why));
            if (parent.fd < 0)
                return fail(why);
            // A link at the final name is replaced by the rename below, never followed.
            struct stat existing;
            if (fstatat(parent.fd, leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
                if (parsed.Has("skip-existing")) {
                    SayVerbose("  skipping: " + path + " (exists)");
                    return;
                }
                if (!parsed.Has("overwrite"))
                    return fail(path + " exists (--overwrite replaces it, --skip-existing keeps it)");
                if (S_ISDIR(existing.st_mode))
                    return fail(path + " is a directory");
            }
            if (member.header.flags & FlagEncrypted) {
                why = passwords.Unlock(member);
                if (!why.empty())
                    return fail(why);
            }
            // Written under a temporary name and renamed when verified, so a
            // member that fails leaves no file behind and never half-replaces one.
            std::string temporary;
            int fd = CreateTemporaryIn(parent.fd, &temporary);
            if (fd < 0)
                return fail("cannot create " + path + ": " + SystemErrorText(errno));
            why = DecodeMember(member, fd);
            if (why.empty()) {
                time_t modified = FromDosTime(member.header.modificationTime, member.header.modificationDate);
                struct timespec times[2] = {{modified, 0}, {modified, 0}};
                futimens(fd, times);
                if (fchmod(fd, fileMode) != 0)
                    why = "cannot write " + path + ": " + SystemErrorText(errno);
            }
            if (close(fd) != 0 && why.empty())
                why = "cannot write " + path + ": " + SystemErrorText(errno);
            if (why.empty() && renameat(parent.fd, temporary.c_str(), parent.fd, leaf.c_str()) != 0)
                why = "cannot create " + path + ": " + SystemErrorText(errno);
            if (!why.empty()) {
                unlinkat(parent.fd, temporary.c_str(), 0);
                return fail(why);
            }
            ++written;
            SayVerbose("  extracted: " + path);
        });
    }
    if (failed) {
        ReportError(archive.path + ": " + std::to_string(failed) + " of " + std::to_string(count) +
                    " members failed");
        return ExitDataError;
    }
    Say(archive.path + ": " + std::to_string(written) + " files extracted to " + destination);
    return ExitSuccess;
}

#include "tools/mksfx/ArchiveWalk.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/MemberCheck.h"

#include "fileio/FileIo.h"
#include "fsutil/PathString.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::vector<OptionSpec> ExtractOptions = {
    {"directory", 'd', true},    {"junk-paths", 'j', false}, {"overwrite", 0, false},
    {"skip-existing", 0, false}, {"password", 'P', true},    {"password-file", 0, true},
    {"offset", 0, true},         {"quiet", 'q', false},      {"verbose", 'v', false},
};

// An errno that a failed write of the output leaves: the member failed for
// the disk, not for its data.
bool IsWriteError(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EIO || error == EROFS;
}

std::string LinkTarget(const std::string& link)
{
    char target[4096];
    ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length < 0 ? "?" : std::string(target, static_cast<size_t>(length));
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

}  // namespace

int RunExtract(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, ExtractOptions, "extract");
    SetVerbosity(parsed);
    if (parsed.Has("overwrite") && parsed.Has("skip-existing"))
        ThrowUsage("extract", "--overwrite and --skip-existing exclude each other");
    if (parsed.Has("directory") && parsed.Value("directory").empty())
        ThrowUsage("extract", "the destination directory is empty (-d ''); name one, or leave -d out for the "
                              "current directory");
    OpenArchive archive(TakeSingleOperand(parsed, "extract"));
    uint32_t start = FindWalkStart(archive, parsed, "extract");
    PasswordKeeper passwords(parsed);
    std::string destination = parsed.Value("directory", ".");
    struct stat link;
    if (lstat(destination.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && access(destination.c_str(), F_OK) != 0)
        throw CommandError(ExitFileError, destination + ": a symbolic link to " + LinkTarget(destination) +
                                              ", which does not exist; create that directory or give another -d");
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
    bool unwritable = false;  // a member failed for its output, not for what the archive holds
    {
        ProgressBar progress(archive.path, archive.size - start);
        progress.FollowFileOffset(static_cast<int>(ArchiveFile), start);
        WalkMembers(archive, start, [&](WalkedMember& member) {
            ++count;
            auto fail = [&](const std::string& why, ExitCode code = ExitDataError) {
                ++failed;
                unwritable |= code == ExitFileError;
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
                std::string converted = member.name;
                SlashesToBackslashes(converted.data());
                std::string unsafe = DescribeUnsafeName(converted);
                if (!unsafe.empty()) {
                    // The stub passes every directory entry over; this one is not made either.
                    ReportWarning(archive.path + ": member " + member.name + ": its name " + unsafe +
                                  "; no directory made");
                    return;
                }
                if (!junkPaths) {
                    std::string why;
                    int fd = OpenUnderDestination(destinationDirectory.fd, relative, destination, &why);
                    if (fd < 0)
                        return fail(why, ExitFileError);
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
                return fail(why, ExitFileError);
            // A link at the final name is replaced by the rename below, never followed.
            struct stat existing;
            if (fstatat(parent.fd, leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
                if (parsed.Has("skip-existing")) {
                    SayVerbose("  skipping: " + path + " (exists)");
                    return;
                }
                if (!parsed.Has("overwrite"))
                    return fail(path + " exists (--overwrite replaces it, --skip-existing keeps it)",
                                ExitFileError);
                if (S_ISDIR(existing.st_mode))
                    return fail(path + " is a directory", ExitFileError);
            }
            if (member.header.flags & FlagEncrypted) {
                why = passwords.Unlock(member);
                if (!why.empty())
                    return fail(why);
            }
            // Written under a temporary name and renamed when verified, so a
            // member that fails leaves no file behind and never half-replaces one.
            std::string temporary;
            int fd;
            {
                SignalsHeld held;
                fd = CreateTemporaryIn(parent.fd, &temporary);
                if (fd >= 0)
                    RemoveOnSignal(parent.fd, temporary);
            }
            if (fd < 0)
                return fail("cannot create " + path + ": " + SystemErrorText(errno), ExitFileError);
            // `damage` is what the archive holds, `why` what the disk refused.
            errno = 0;
            std::string damage = DecodeMember(member, fd);
            if (!damage.empty() && IsWriteError(errno)) {
                why = "cannot write " + path + ": " + SystemErrorText(errno);
                damage.clear();
            }
            if (damage.empty() && why.empty()) {
                time_t modified = FromDosTime(member.header.modificationTime, member.header.modificationDate);
                struct timespec times[2] = {{modified, 0}, {modified, 0}};
                futimens(fd, times);
                if (fchmod(fd, fileMode) != 0)
                    why = "cannot write " + path + ": " + SystemErrorText(errno);
            }
            if (close(fd) != 0 && why.empty() && damage.empty())
                why = "cannot write " + path + ": " + SystemErrorText(errno);
            if (why.empty() && damage.empty() &&
                renameat(parent.fd, temporary.c_str(), parent.fd, leaf.c_str()) != 0)
                why = "cannot create " + path + ": " + SystemErrorText(errno);
            if (!why.empty() || !damage.empty())
                unlinkat(parent.fd, temporary.c_str(), 0);
            KeepOnSignal();
            if (!damage.empty())
                return fail(damage);
            if (!why.empty())
                return fail(why, ExitFileError);
            ++written;
            SayVerbose("  extracted: " + path);
        });
    }
    if (failed) {
        ReportError(archive.path + ": " + std::to_string(failed) + " of " + std::to_string(count) +
                    " members failed");
        return unwritable ? ExitFileError : ExitDataError;
    }
    Say(archive.path + ": " + std::to_string(written) + " files extracted to " + destination);
    return ExitSuccess;
}

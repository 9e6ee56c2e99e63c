#include "tools/mksfx/Commands.h"

#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"

#include "archive/LocalHeader.h"
#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "fsutil/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct InputItem {
    std::string path;  // where to read it
    std::string name;  // the member name, "/" separated, ending in "/" for a directory
    bool directory = false;
    uint64_t size = 0;
    time_t modified = 0;
    mode_t mode = 0;
};

// The member name for a path as given: "." components and empty components
// dropped, leading "/" removed. Throws for "..".
std::string NormalisedName(const std::string& given, bool* hadLeadingSlash)
{
    std::string name;
    size_t start = 0;
    *hadLeadingSlash = !given.empty() && given[0] == '/';
    while (start <= given.size()) {
        size_t end = given.find('/', start);
        if (end == std::string::npos)
            end = given.size();
        std::string part = given.substr(start, end - start);
        if (part == "..")
            throw CommandError(ExitUsageError, given + ": member names may not contain '..'");
        if (!part.empty() && part != ".") {
            if (!name.empty())
                name += '/';
            name += part;
        }
        start = end + 1;
    }
    return name;
}

class InputCollector {
public:
    InputCollector(const SfxWriter& writer, const std::string& outputPath) : writer(writer)
    {
        struct stat info;
        if (stat(outputPath.c_str(), &info) == 0) {
            outputExists = true;
            output = info;
        }
    }

    // Links are followed; one that leads nowhere is a problem like a file that cannot be read.
    void Add(const std::string& path, const std::string& name)
    {
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            int error = errno;
            if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
                return Unreadable(path + ": a symbolic link to nothing (" + SystemErrorText(error) + ")");
            return Unreadable("cannot read " + path + ": " + SystemErrorText(error));
        }
        if (writer.IsOwnFile(info) ||
            (outputExists && info.st_dev == output.st_dev && info.st_ino == output.st_ino)) {
            ReportWarning(path + " is the archive being written; left out");
            return;
        }
        if (S_ISDIR(info.st_mode)) {
            AddDirectory(path, name, info);
        } else if (S_ISREG(info.st_mode)) {
            if (name.empty())
                throw CommandError(ExitUsageError, path + ": a file needs a name inside the archive");
            Push({path, name, false, static_cast<uint64_t>(info.st_size), info.st_mtime, info.st_mode});
        } else {
            ReportWarning(path + ": not a regular file or directory; left out");
        }
    }

    std::vector<InputItem> items;
    std::vector<std::string> unreadable;  // every input that could not be read, in walk order

private:
    void Unreadable(const std::string& problem) { unreadable.push_back(problem); }

    void Push(InputItem item)
    {
        if (!names.insert(item.name).second)
            throw CommandError(ExitUsageError, item.path + ": the member name " + item.name + " is given twice");
        items.push_back(std::move(item));
    }

    void AddDirectory(const std::string& path, const std::string& name, const struct stat& info)
    {
        std::pair<dev_t, ino_t> identity(info.st_dev, info.st_ino);
        if (ancestors.count(identity)) {
            ReportWarning(path + ": a directory loop; left out");
            return;
        }
        if (!name.empty())
            Push({path, name + "/", true, 0, info.st_mtime, info.st_mode});
        DIR* listing = opendir(path.c_str());
        if (!listing)
            return Unreadable("cannot read " + path + ": " + SystemErrorText(errno));
        std::vector<std::string> children;
        errno = 0;
        while (dirent* entry = readdir(listing)) {
            std::string child = entry->d_name;
            if (child != "." && child != "..")
                children.push_back(child);
        }
        int error = errno;
        closedir(listing);
        if (error)
            return Unreadable("cannot read " + path + ": " + SystemErrorText(error));
        // Byte order, whatever the locale, so that the same tree gives the same archive.
        std::sort(children.begin(), children.end());
        ancestors.insert(identity);
        std::string prefix = path == "/" ? path : path + "/";
        for (const std::string& child : children)
            Add(prefix + child, name.empty() ? child : name + "/" + child);
        ancestors.erase(identity);
    }

    const SfxWriter& writer;
    bool outputExists = false;
    struct stat output = {};
    std::set<std::string> names;
    std::set<std::pair<dev_t, ino_t>> ancestors;  // the directories being walked, for loops through links
};

// --mtime: "@SECONDS" or "YYYY-MM-DD[ HH:MM[:SS]]" (also with "T"), local time.
time_t ParseTime(const std::string& text)
{
    if (!text.empty() && text[0] == '@') {
        char* end = nullptr;
        errno = 0;
        long long seconds = std::strtoll(text.c_str() + 1, &end, 10);
        if (errno || end == text.c_str() + 1 || *end)
            ThrowUsage("create", "cannot read the time '" + text + "'");
        return static_cast<time_t>(seconds);
    }
    struct tm parts = {};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = ' ';
    int length = -1;
    const int whole = static_cast<int>(text.size());
    const char* c = text.c_str();
    bool read = (std::sscanf(c, "%4d-%2d-%2d%n", &year, &month, &day, &length) == 3 && length == whole) ||
                (length = -1, std::sscanf(c, "%4d-%2d-%2d%c%2d:%2d%n", &year, &month, &day, &separator, &hour,
                                          &minute, &length) == 6 &&
                                  length == whole) ||
                (length = -1, std::sscanf(c, "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day, &separator, &hour,
                                          &minute, &second, &length) == 7 &&
                                  length == whole);
    if (!read || (separator != ' ' && separator != 'T') || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        ThrowUsage("create", "cannot read the time '" + text + "' (use @SECONDS or 'YYYY-MM-DD HH:MM:SS')");
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

bool IsPlainAscii(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

void ReadFileInto(const InputItem& item, Bytes& data)
{
    int fd = open(item.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CommandError(ExitFileError, "cannot read " + item.path + ": " + SystemErrorText(errno));
    data.resize(item.size + 1);  // one byte more shows a file that grew
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = read(fd, data.data() + done, data.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error = errno;
            close(fd);
            throw CommandError(ExitFileError, "cannot read " + item.path + ": " + SystemErrorText(error));
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    if (done != item.size)
        throw CommandError(ExitFileError, item.path + ": the file changed size while it was read");
    data.resize(done);
}

uint32_t Crc32Of(const Bytes& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    size_t done = 0;
    while (done < data.size()) {
        int32_t piece = static_cast<int32_t>(std::min<size_t>(data.size() - done, 1 << 30));
        CrcUpdate(data.data() + done, piece, crc);
        done += static_cast<size_t>(piece);
    }
    return ~crc;
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

const std::vector<OptionSpec> CreateOptions = {
    {"output", 'o', true},   {"directory", 'C', true},        {"level", 0, true},         {"store", 0, false},
    {"password", 'P', true}, {"password-prompt", 'e', false}, {"password-file", 0, true}, {"mtime", 0, true},
    {"stub", 0, true},       {"quiet", 'q', false},           {"verbose", 'v', false},
};

}  // namespace

int RunCreate(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, CreateOptions, "create");
    SetVerbosity(parsed);
    std::string outputPath = parsed.Value("output");
    if (outputPath.empty())
        ThrowUsage("create", "no output file given (-o OUT.exe)");
    if (parsed.operands.empty())
        ThrowUsage("create", "no files or directories to pack");
    int level = 6;
    if (parsed.Has("level")) {
        std::string text = parsed.Value("level");
        char* end = nullptr;
        long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || value < 0 || value > 12)
            ThrowUsage("create", "the level must be 0 to 12, not '" + text + "'");
        level = static_cast<int>(value);
    }
    if (parsed.Has("store"))
        level = 0;

    bool fixedTime = parsed.Has("mtime");
    time_t storedTime = fixedTime ? ParseTime(parsed.Value("mtime")) : 0;
    bool capTime = false;
    time_t timeCap = 0;
    if (!fixedTime) {
        if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
            char* end = nullptr;
            long long seconds = std::strtoll(epoch, &end, 10);
            if (*epoch && !*end) {
                capTime = true;
                timeCap = static_cast<time_t>(seconds);
            } else {
                ReportWarning("SOURCE_DATE_EPOCH is not a number of seconds; ignored");
            }
        }
    }

    Bytes stub = LoadStub(parsed, "create");
    std::string password = TakePassword(parsed, true);

    SfxWriter writer(outputPath);
    InputCollector collector(writer, outputPath);
    std::string base = parsed.Value("directory");
    bool warnedSlash = false;
    for (const std::string& given : parsed.operands) {
        bool leadingSlash = false;
        std::string name = NormalisedName(given, &leadingSlash);
        if (leadingSlash && !warnedSlash) {
            ReportWarning("removing leading '/' from member names");
            warnedSlash = true;
        }
        std::string path = (base.empty() || given[0] == '/') ? given : base + "/" + given;
        collector.Add(path, name);
    }
    std::vector<InputItem>& items = collector.items;
    // Every problem of the whole tree is told in one run, and then nothing is
    // written: a half archive is worse than none.
    std::vector<std::string> refused;
    for (const InputItem& item : items) {
        std::string why = WhyNameIsRefused(item.name);
        // The stub would read such a name in the user's code page and show nonsense.
        if (why.empty() && !IsValidUtf8(item.name.data(), static_cast<uint32_t>(item.name.size())))
            why = "the name is not valid UTF-8 (rename the file)";
        if (!why.empty())
            refused.push_back(item.path + ": " + why + ": " + item.name);
        else if (item.size > MaxMemberDataSize)
            refused.push_back(item.path + ": the file is " + DescribeSize(item.size) +
                              "; the stub extracts members below 2 GiB");
    }
    if (!collector.unreadable.empty() || !refused.empty()) {
        for (const std::string& problem : collector.unreadable)
            ReportError(problem);
        for (const std::string& problem : refused)
            ReportError(problem);
        size_t count = collector.unreadable.size() + refused.size();
        throw CommandError(collector.unreadable.empty() ? ExitDataError : ExitFileError,
                           outputPath + ": not written: " + std::to_string(count) +
                               (count == 1 ? " input cannot be packed" : " inputs cannot be packed"));
    }
    if (items.empty())
        throw CommandError(ExitUsageError, "nothing to pack: the inputs hold no files or directories");

    uint64_t totalBytes = 0;
    // What the archive takes with every member stored: its exact size at level 0,
    // an upper bound otherwise (a member is deflated only when that shrinks it).
    uint64_t storedSize = stub.size() + EndRecordSize;
    for (const InputItem& item : items) {
        totalBytes += item.size;
        storedSize += LocalHeaderSize + CentralHeaderSize + 2 * item.name.size() + item.size +
                      (password.empty() || item.directory ? 0 : EncryptionHeaderSize);
    }
    // A deflated archive that outgrows the limit is refused by the writer, part way.
    if (level == 0 && storedSize > MaxSfxFileSize)
        throw CommandError(ExitDataError, outputPath + ": the archive would take " + DescribeSize(storedSize) +
                                              "; " + DescribeFileSizeLimit());
    if (items.size() > MaxEntryCount)
        throw CommandError(ExitDataError, "too many members: " + std::to_string(items.size()) + " (at most " +
                                              std::to_string(MaxEntryCount) +
                                              ", the archive has no Zip64 records)");
    std::vector<std::string> names;
    for (const InputItem& item : items)
        names.push_back(item.name);
    for (const std::string& clash : DescribeNameClashes(names))
        ReportWarning(clash);
    bool warnedNames = false;
    for (const InputItem& item : items) {
        if (!IsPlainAscii(item.name) && !warnedNames) {
            ReportWarning("member names outside ASCII (such as " + item.name +
                          ") are stored as UTF-8; the stub shows names in the Windows code page");
            warnedNames = true;
        }
    }

    writer.WriteStub(stub);
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
    if (level > 0) {
        compressor.reset(libdeflate_alloc_compressor(level));
        if (!compressor)
            throw std::bad_alloc();
    }
    ProgressBar progress(outputPath, totalBytes);
    Bytes data, packed;
    for (const InputItem& item : items) {
        ZipEntry entry;
        entry.versionMadeBy = (3 << 8) | 30;
        entry.name = item.name;
        if (!IsPlainAscii(item.name))
            entry.flags |= FlagUtf8Name;
        time_t moment = fixedTime ? storedTime : (capTime && item.modified > timeCap ? timeCap : item.modified);
        ToDosTime(moment, &entry.modificationTime, &entry.modificationDate);
        entry.externalAttributes = static_cast<uint32_t>(item.mode & 0xFFFF) << 16;
        if (item.directory) {
            entry.versionNeeded = 20;
            entry.externalAttributes |= 0x10;  // the MS-DOS directory attribute
            writer.BeginMember(entry);
            SayVerbose("  adding: " + item.name);
            continue;
        }
        ReadFileInto(item, data);
        entry.crc32 = Crc32Of(data);
        entry.uncompressedSize = static_cast<uint32_t>(data.size());
        const uint8_t* payload = data.data();
        size_t payloadSize = data.size();
        entry.method = MethodStored;
        if (compressor && !data.empty()) {
            packed.resize(libdeflate_deflate_compress_bound(compressor.get(), data.size()));
            size_t size = libdeflate_deflate_compress(compressor.get(), data.data(), data.size(), packed.data(),
                                                      packed.size());
            // Deflate only when it shrinks the member; otherwise it is stored.
            if (size > 0 && size < data.size()) {
                entry.method = MethodDeflated;
                payload = packed.data();
                payloadSize = size;
            }
        }
        entry.versionNeeded = entry.method == MethodDeflated ? 20 : 10;
        Bytes header;
        if (!password.empty()) {
            TraditionalEncryptor encryptor(password);
            header = MakeEncryptionHeader(encryptor, entry.crc32);
            if (payload == data.data()) {
                packed.assign(data.begin(), data.end());
                payload = packed.data();
            }
            encryptor.Encrypt(packed.data(), payloadSize);
            entry.flags |= FlagEncrypted;
            entry.versionNeeded = 20;
        }
        entry.compressedSize = static_cast<uint32_t>(header.size() + payloadSize);
        writer.BeginMember(entry);
        writer.WriteData(header.data(), header.size());
        writer.WriteData(payload, payloadSize);
        if (OutputLevel == Verbosity::Verbose) {
            unsigned saved = data.empty() ? 0 : static_cast<unsigned>(100 - (payloadSize * 100) / data.size());
            SayVerbose("  adding: " + item.name + " (" +
                       (entry.method == MethodDeflated ? "deflated " : "stored ") +
                       std::to_string(entry.method == MethodDeflated ? saved : 0) + "%" +
                       (password.empty() ? "" : ", encrypted") + ")");
        }
        progress.Advance(item.size);
    }
    writer.Commit({});
    Say(outputPath + ": " + std::to_string(items.size()) + " members, " + DescribeSize(totalBytes) +
        " packed into " + DescribeSize(writer.Position()));
    return ExitSuccess;
}

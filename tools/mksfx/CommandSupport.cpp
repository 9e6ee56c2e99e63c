#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"

#include "archive/LocalHeader.h"
#include "archive/StubSize.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

void ThrowUsage(const std::string& command, const std::string& text)
{
    throw CommandError(ExitUsageError, command + ": " + text, "Try 'mksfx " + command + " --help'.");
}

void SetVerbosity(const ParsedCommandLine& parsed)
{
    for (const auto& option : parsed.options) {
        if (option.first == "quiet")
            OutputLevel = Verbosity::Quiet;
        else if (option.first == "verbose")
            OutputLevel = Verbosity::Verbose;
    }
}

std::string DescribeSize(uint64_t bytes)
{
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

void ReadWholeFile(const std::string& path, Bytes& out)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CommandError(ExitFileError, "cannot open " + path + ": " + SystemErrorText(errno));
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error = errno;
            close(fd);
            throw CommandError(ExitFileError, "cannot read " + path + ": " + SystemErrorText(error));
        }
        if (got == 0)
            break;
        out.insert(out.end(), chunk, chunk + got);
    }
    close(fd);
}

std::string Hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

FileHandle OpenNullSink()
{
    FileHandle sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink == NoFile)
        throw CommandError(ExitFileError, "cannot open /dev/null: " + SystemErrorText(errno));
    return sink;
}

namespace {

uint32_t ReadU32(const Bytes& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// True when the image's certificate table directory (data directory 4 of the
// optional header) is set: the program was signed, and its signature covers
// the file as it was, so nothing may be appended after it.
bool CarriesSignature(const Bytes& image)
{
    if (image.size() < 0x40)
        return false;
    size_t header = ReadU32(image, 0x3C);
    if (header > image.size() || image.size() - header < 24 + 2 || ReadU32(image, header) != 0x00004550)
        return false;
    size_t optional = header + 24;
    unsigned magic = image[optional] | image[optional + 1] << 8;
    size_t countAt = optional + (magic == 0x20B ? 108 : 92);  // PE32+ : PE32
    if (countAt + 4 > image.size() || ReadU32(image, countAt) <= 4)
        return false;
    size_t entry = countAt + 4 + 4 * 8;
    if (entry + 8 > image.size())
        return false;
    return ReadU32(image, entry) != 0 || ReadU32(image, entry + 4) != 0;
}

}  // namespace

Bytes LoadStub(const ParsedCommandLine& parsed, const std::string& command)
{
    Bytes stub;
    std::string origin;
    if (parsed.Has("stub")) {
        origin = parsed.Value("stub");
        ReadWholeFile(origin, stub);
    } else if (EmbeddedStubLength > 0) {
        origin = "the built-in stub";
        stub.assign(EmbeddedStubBytes, EmbeddedStubBytes + EmbeddedStubLength);
    } else {
        ThrowUsage(command, "this mksfx was built without a stub; name one with --stub FILE");
    }
    if (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z')
        throw CommandError(ExitDataError, origin + ": not a Windows executable");
    if (CarriesSignature(stub))
        throw CommandError(ExitDataError, origin +
                                              ": the stub is signed (its certificate table is set), and "
                                              "the archive appended to it would break the signature; sign the "
                                              "finished self-extracting archive instead");
    if (stub.size() != StubSize)
        throw CommandError(ExitDataError, origin + ": the stub is " + std::to_string(stub.size()) +
                                              " bytes, but its archive must start at offset " +
                                              std::to_string(StubSize));
    return stub;
}

std::string TakePassword(const ParsedCommandLine& parsed, bool confirm)
{
    std::string password;
    std::string source;
    if (parsed.Has("password")) {
        password = parsed.Value("password");
        source = "the password";
    } else if (parsed.Has("password-file")) {
        source = parsed.Value("password-file");
        Bytes text;
        ReadWholeFile(source, text);
        password.assign(text.begin(), text.end());
        size_t end = password.find_first_of("\r\n");
        if (end != std::string::npos)
            password.resize(end);
        source = "the password in " + source;
    } else if (parsed.Has("password-prompt")) {
        password = PromptForPassword("Password: ", confirm);
        source = "the password";
    } else {
        return "";
    }
    if (password.empty())
        throw CommandError(ExitUsageError, source + " is empty (the stub takes an empty password as none)");
    if (confirm && password.size() > MaxPasswordLength)
        throw CommandError(ExitUsageError, source + " is longer than " + std::to_string(MaxPasswordLength) +
                                               " characters, more than the stub's password prompt takes");
    for (char c : password) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ReportWarning(source + " holds characters outside ASCII; on Windows the stub compares the bytes "
                                   "of the system code page, which may differ");
            break;
        }
    }
    return password;
}

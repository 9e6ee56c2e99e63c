#include "tools/mksfx/ArchiveWalk.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/Console.h"

#include <algorithm>
#include <cstdio>

namespace {

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

}  // namespace

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
    auto reportProblems = [&] {
        std::fflush(stdout);
        for (const std::string& problem : problems)
            ReportError(problem);
    };
    try {
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
                unsigned ratio =
                    header.uncompressedSize
                        ? static_cast<unsigned>(100 - uint64_t(header.compressedSize) * 100 /
                                                          std::max<uint32_t>(header.uncompressedSize, 1))
                        : 0;
                if (header.compressedSize > header.uncompressedSize)
                    ratio = 0;
                const char* method = header.method == MethodStored     ? "Stored"
                                     : header.method == MethodDeflated ? "Defl"
                                                                       : "Other";
                std::printf("%8u  %-6s %8u  %3u%%  %s  %s%s %s\n", header.uncompressedSize, method,
                            header.compressedSize, ratio, DateText(header).c_str(), Hex32(header.crc32).c_str(),
                            (header.flags & FlagEncrypted) ? "*" : " ", name.c_str());
            } else {
                std::printf("%8u  %s  %s\n", header.uncompressedSize, DateText(header).c_str(), name.c_str());
            }
            if (!member.refusal.empty()) {
                ++refused;
                problems.push_back(archive.path + ": member " + member.name +
                                   ": the stub cannot extract it: " + member.refusal);
            }
        });
    } catch (const CommandError&) {
        reportProblems();  // what was found out about the members comes before the walk's end
        throw;
    }
    if (!quiet) {
        if (verbose)
            std::printf("--------          -------  ----                              -------\n"
                        "%8llu          %7llu  %3u%%                              %u members\n",
                        static_cast<unsigned long long>(totalLength), static_cast<unsigned long long>(totalSize),
                        totalLength && totalSize < totalLength
                            ? static_cast<unsigned>(100 - totalSize * 100 / totalLength)
                            : 0,
                        count);
        else
            std::printf("--------                    -------\n%8llu                    %u members\n",
                        static_cast<unsigned long long>(totalLength), count);
    }
    reportProblems();
    return refused ? ExitDataError : ExitSuccess;
}

#include "tools/mksfx/ArchiveWalk.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/MemberCheck.h"

#include "fileio/FileIo.h"

#include <unistd.h>

namespace {

const std::vector<OptionSpec> TestOptions = {
    {"password", 'P', true}, {"password-file", 0, true}, {"offset", 0, true},
    {"quiet", 'q', false},   {"verbose", 'v', false},
};

}  // namespace

int RunTest(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, TestOptions, "test");
    SetVerbosity(parsed);
    OpenArchive archive(TakeSingleOperand(parsed, "test"));
    uint32_t start = FindWalkStart(archive, parsed, "test");
    PasswordKeeper passwords(parsed);
    FileHandle sink = OpenNullSink();
    unsigned count = 0, failed = 0, files = 0;
    {
        ProgressBar progress(archive.path, archive.size - start);
        progress.FollowFileOffset(static_cast<int>(ArchiveFile), start);
        WalkMembers(archive, start, [&](WalkedMember& member) {
            ++count;
            files += !member.IsDirectory();
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
    if (files == 0) {
        ReportError(archive.path + ": only directory entries, which the stub passes over: it lists no member "
                                   "and shows \"Can't read archive header\"");
        return ExitDataError;
    }
    Say(archive.path + ": " + std::to_string(count) + " members OK");
    return ExitSuccess;
}


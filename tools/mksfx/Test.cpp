#include "tools/mksfx/ArchiveWalk.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/MemberCheck.h"
#include "tools/mksfx/SourceArchive.h"

#include "fileio/FileIo.h"

#include <unistd.h>

namespace {

struct MemberPlace {
    uint32_t start;
    std::string name;
};

// What keeps other archivers from reading the file as the walk does: the
// central directory missing, unreadable, or listing other members or places
// than the local headers. The stub never reads it. Empty when they agree.
std::string CentralDirectoryDisagreement(const std::string& path, const std::vector<MemberPlace>& walked)
{
    SourceFile source(path);
    Bytes comment;
    std::vector<SourceMember> listed;
    try {
        listed = ReadCentralDirectory(source, &comment);
    } catch (const CommandError& error) {
        std::string why = error.what();
        if (why.compare(0, path.size() + 2, path + ": ") == 0)
            why.erase(0, path.size() + 2);
        return "its central directory cannot be read (" + why + ")";
    }
    if (listed.size() != walked.size())
        return "its central directory lists " + std::to_string(listed.size()) + " members, the local headers " +
               std::to_string(walked.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        std::string name = listed[i].entry.name.c_str();
        bool sameName = name == walked[i].name || name == walked[i].name + "/";  // a folder gets its slash
        if (listed[i].localHeaderOffset != walked[i].start || !sameName)
            return "central directory entry " + std::to_string(i + 1) + " (" + name +
                   ") is not the local header at offset " + std::to_string(walked[i].start) + " (" +
                   walked[i].name + ")";
    }
    return "";
}

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
    std::vector<MemberPlace> walked;
    {
        ProgressBar progress(archive.path, archive.size - start);
        progress.FollowFileOffset(static_cast<int>(ArchiveFile), start);
        WalkMembers(archive, start, [&](WalkedMember& member) {
            ++count;
            files += !member.IsDirectory();
            walked.push_back({member.start, member.name});
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
    std::string disagreement = CentralDirectoryDisagreement(archive.path, walked);
    if (!disagreement.empty())
        ReportWarning(archive.path + ": " + disagreement +
                      "; the stub never reads it, but unzip, 7-Zip and "
                      "other archivers may refuse the file");
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

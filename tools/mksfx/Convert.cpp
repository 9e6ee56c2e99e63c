#include "tools/mksfx/Commands.h"

#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/MemberCheck.h"
#include "tools/mksfx/SourceArchive.h"

#include "archive/LocalHeader.h"
#include "fileio/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const std::vector<OptionSpec> ConvertOptions = {
    {"output", 'o', true},      {"skip-unsupported", 0, false}, {"stub", 0, true},       {"password", 'P', true},
    {"password-file", 0, true}, {"quiet", 'q', false},          {"verbose", 'v', false},
};

// Locates every member's data and decodes it with the stub's own decoders, as
// 'mksfx test' does, so that what convert writes passes the stub: a damaged
// member is named and nothing is written. An encrypted member is checked with
// the password when one is given, else copied unchecked, and a warning says so.
void CheckMembers(const SourceFile& source, const std::vector<SourceMember*>& members, const std::string& password,
                  uint64_t total)
{
    FileHandle sink = OpenNullSink();
    ArchiveFile = source.Descriptor();
    unsigned damaged = 0, unchecked = 0;
    std::string firstUnchecked;
    {
        ProgressBar progress(source.path, total);
        for (SourceMember* member : members) {
            LocateMemberData(source, *member);
            const ZipEntry& entry = member->entry;
            progress.Advance(entry.compressedSize);
            if (!entry.name.empty() && entry.name.back() == '/')
                continue;  // the stub makes a folder of it and reads no data
            if ((entry.flags & FlagEncrypted) && password.empty()) {
                if (unchecked++ == 0)
                    firstUnchecked = entry.name;
                continue;
            }
            std::string why;
            if (member->localHeaderOffset > 0xFFFFFFFFu) {
                why = "it lies beyond 4 GiB in the source, where its data cannot be checked";
            } else {
                // The header the copy gets, placed where the source's local header is.
                LocalFileHeader header = member->sourceHeader;
                header.flags = entry.flags;
                header.method = entry.method;
                header.modificationTime = entry.modificationTime;
                header.modificationDate = entry.modificationDate;
                header.crc32 = entry.crc32;
                header.compressedSize = entry.compressedSize;
                header.uncompressedSize = entry.uncompressedSize;
                why = CheckMemberData(static_cast<uint32_t>(member->localHeaderOffset), header, password, sink);
            }
            if (!why.empty()) {
                ReportError(source.path + ": member " + entry.name + ": " + why);
                ++damaged;
            }
        }
    }
    ArchiveFile = NoFile;
    close(sink);
    if (damaged)
        throw CommandError(ExitDataError, source.path + ": " + std::to_string(damaged) +
                                              (damaged == 1 ? " member fails" : " members fail") +
                                              " the stub's check; nothing written");
    if (unchecked)
        ReportWarning(source.path + ": " + std::to_string(unchecked) + " encrypted member" +
                      (unchecked == 1 ? " " : "s (such as ") + firstUnchecked + (unchecked == 1 ? "" : ")") +
                      " copied without checking the data; -P or --password-file checks them");
}

}  // namespace

int RunConvert(const std::vector<std::string>& words)
{
    ParsedCommandLine parsed = ParseCommandLine(words, ConvertOptions, "convert");
    SetVerbosity(parsed);
    std::string outputPath = parsed.Value("output");
    if (outputPath.empty())
        ThrowUsage("convert", "no output file given (-o OUT.exe)");
    if (parsed.operands.size() != 1)
        ThrowUsage("convert", parsed.operands.empty() ? "no archive to convert" : "one archive at a time");
    Bytes stub = LoadStub(parsed, "convert");
    SourceFile source(parsed.operands[0]);
    Bytes archiveComment;
    std::vector<SourceMember> members = ReadCentralDirectory(source, &archiveComment);

    bool skip = parsed.Has("skip-unsupported");
    std::vector<SourceMember*> kept;
    unsigned refused = 0;
    for (SourceMember& member : members) {
        if (member.refusal.empty()) {
            kept.push_back(&member);
            continue;
        }
        std::string line = source.path + ": member " + member.entry.name + ": " + member.refusal;
        if (skip) {
            ReportWarning(line + "; left out");
        } else {
            ReportError(line);
            ++refused;
        }
    }
    if (refused)
        throw CommandError(ExitDataError,
                           source.path + ": the stub cannot extract " +
                               (refused == 1 ? "this member; --skip-unsupported leaves it out"
                                             : "these members; --skip-unsupported leaves them out"));
    if (kept.empty())
        throw CommandError(ExitDataError, source.path + ": no members that the stub can extract");

    // The output without the local extra fields, which are read only while
    // copying: when even that reaches the limit, nothing is written.
    uint64_t leastSize = stub.size() + EndRecordSize + archiveComment.size();
    for (const SourceMember* member : kept) {
        const ZipEntry& entry = member->entry;
        leastSize += LocalHeaderSize + CentralHeaderSize + 2 * entry.name.size() + entry.compressedSize +
                     entry.centralExtra.size() + entry.comment.size();
    }
    if (leastSize > MaxSfxFileSize)
        throw CommandError(ExitDataError, outputPath + ": the archive would take at least " +
                                              DescribeSize(leastSize) + "; " + DescribeFileSizeLimit());

    std::vector<std::string> names;
    for (const SourceMember* member : kept)
        names.push_back(member->entry.name);
    for (const std::string& clash : DescribeNameClashes(names))
        ReportWarning(source.path + ": " + clash);

    uint64_t total = 0;
    for (const SourceMember* member : kept)
        total += member->entry.compressedSize;
    CheckMembers(source, kept, TakePassword(parsed, false), total);

    SfxWriter writer(outputPath);
    writer.WriteStub(stub);
    ProgressBar progress(outputPath, total);
    Bytes chunk(1 << 20);
    for (const SourceMember* member : kept) {
        const ZipEntry& entry = member->entry;
        uint64_t dataOffset = member->dataOffset;
        writer.BeginMember(entry);
        uint64_t copied = 0;
        while (copied < entry.compressedSize) {
            size_t piece = static_cast<size_t>(std::min<uint64_t>(chunk.size(), entry.compressedSize - copied));
            if (!source.ReadAt(dataOffset + copied, chunk.data(), piece))
                throw Damaged(source, "member " + entry.name + " is cut short");
            writer.WriteData(chunk.data(), piece);
            copied += piece;
            progress.Advance(piece);
        }
        SayVerbose("  copying: " + entry.name);
    }
    writer.Commit(archiveComment);
    Say(outputPath + ": " + std::to_string(kept.size()) + " members from " + source.path + ", " +
        DescribeSize(writer.Position()));
    return ExitSuccess;
}

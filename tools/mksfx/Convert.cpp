#include "tools/mksfx/Commands.h"
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Console.h"
#include "tools/mksfx/SourceArchive.h"

#include "archive/LocalHeader.h"

#include <algorithm>

namespace {

const std::vector<OptionSpec> ConvertOptions = {
    {"output", 'o', true}, {"skip-unsupported", 0, false}, {"stub", 0, true},
    {"quiet", 'q', false}, {"verbose", 'v', false},
};

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
    std::vector<const SourceMember*> kept;
    unsigned refused = 0;
    for (const SourceMember& member : members) {
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
        throw CommandError(ExitDataError, source.path + ": the stub cannot extract " +
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
    SfxWriter writer(outputPath);
    writer.WriteStub(stub);
    ProgressBar progress(outputPath, total);
    Bytes chunk(1 << 20);
    for (const SourceMember* member : kept) {
        SourceMember copy = *member;
        LocateMemberData(source, copy);
        const ZipEntry& entry = copy.entry;
        uint64_t dataOffset = copy.dataOffset;
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

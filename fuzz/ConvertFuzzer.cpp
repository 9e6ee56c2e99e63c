// Reads an archive given as fuzzer input the way convert does: the end record,
// the Zip64 markers, the central directory with its extra fields, the local
// header and extra field of every member the stub could take, and the check
// for names Windows folds together. A damaged archive ends in CommandError,
// the expected outcome; a crash, a sanitizer report or any other exception is
// a finding.
#include "tools/mksfx/Console.h"
#include "tools/mksfx/SourceArchive.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    OutputLevel = Verbosity::Quiet;
    SourceBytes source("input.zip", data, size);
    Bytes comment;
    try {
        std::vector<SourceMember> members = ReadCentralDirectory(source, &comment);
        std::vector<std::string> names;
        for (SourceMember& member : members) {
            if (member.refusal.empty()) {
                LocateMemberData(source, member);
                names.push_back(member.entry.name);
            }
        }
        DescribeNameClashes(names);
    } catch (const CommandError&) {
    }
    return 0;
}

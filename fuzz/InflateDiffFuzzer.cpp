// Decodes the input as one raw deflate stream with our decoder, through
// DecodeMemberData as every caller does, and with zlib's raw inflate, and
// requires the same verdict and the same bytes. Our decoder runs once per
// symbol loop that the build has (the fast loop and the careful one on 64-bit
// builds); the fuzzer is built twice, with the host's bit buffer and with the
// stub's 32-bit one (ZELVIX_BIT_WORD_32).
//
// Where the two decoders differ by design, the difference is named below and
// exactly that behaviour is checked:
// - A distance reaching before the first byte of output copies zeros from our
//   cleared window, where zlib refuses the stream ("invalid distance too far
//   back"). zlib is primed with 32 KiB of zeros, which is that behaviour.
// - Our decoder stops where its input ends, while zlib asks for more: both
//   verdicts must then be failures.
// - Our block headers accept what zlib refuses before decoding a symbol of the
//   block: HLIT or HDIST of 30 or 31 (decoding the extra symbols is an invalid
//   code), an incomplete distance code, a code-length code whose only code has
//   1 bit, and a repeat 16 before any length (it repeats 0). Where zlib stops
//   with one of those messages, every block before has ended, so what zlib
//   wrote must open our output when ours succeeds.
#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "decode/Crc32.h"
#include "decode/InflateFast.h"
#include "fileio/FileIo.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

void Require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "inflate-diff-fuzzer: %s\n", what);
        abort();
    }
}

struct ZlibResult {
    int status;       // Z_STREAM_END, Z_DATA_ERROR, or Z_BUF_ERROR when it wants more input
    const char* why;  // zlib's message for Z_DATA_ERROR
    Bytes output;
};

ZlibResult InflateWithZlib(const uint8_t* data, size_t size)
{
    static const Bytes zeros(32768, 0);
    ZlibResult result = {Z_OK, "", {}};
    z_stream stream = {};
    if (inflateInit2(&stream, -15) != Z_OK ||
        inflateSetDictionary(&stream, zeros.data(), static_cast<uInt>(zeros.size())) != Z_OK)
        abort();
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    uint8_t piece[65536];
    do {
        stream.next_out = piece;
        stream.avail_out = sizeof piece;
        result.status = inflate(&stream, Z_FINISH);
        result.output.insert(result.output.end(), piece, piece + (sizeof piece - stream.avail_out));
    } while (result.status == Z_OK || (result.status == Z_BUF_ERROR && stream.avail_out == 0));
    if (result.status == Z_DATA_ERROR)
        result.why = stream.msg;
    inflateEnd(&stream);
    return result;
}

bool IsHeaderDifference(const char* why)
{
    for (const char* message : {"too many length or distance symbols", "invalid distances set",
                                "invalid code lengths set", "invalid bit length repeat"})
        if (std::strcmp(why, message) == 0)
            return true;
    return false;
}

int ArchiveFd = -1;
int OutputFd = -1;

// Our verdict on the stream in ArchiveFd (after a 30-byte local header); the
// output is left in OutputFd.
bool InflateWithOurs(uint32_t size)
{
    LocalFileHeader header = LocalFileHeader();
    header.method = MethodDeflated;
    header.compressedSize = size;
    header.uncompressedSize = 0xFFFFFFFFu;
    if (ftruncate(OutputFd, 0) != 0 || lseek(OutputFd, 0, SEEK_SET) != 0)
        abort();
    ArchiveFile = ArchiveFd;
    OutputFile = OutputFd;
    DataOutcome outcome = DecodeMemberData(0, header);
    ArchiveFile = NoFile;
    OutputFile = NoFile;
    return outcome == DataOutcome::Verified || outcome == DataOutcome::CrcMismatch;
}

Bytes OurOutput()
{
    off_t length = lseek(OutputFd, 0, SEEK_END);
    Bytes output(static_cast<size_t>(length));
    if (length > 0 && pread(OutputFd, output.data(), output.size(), 0) != length)
        abort();
    return output;
}

void Compare(const ZlibResult& zlib, bool succeeded)
{
    if (zlib.status == Z_STREAM_END) {
        Require(succeeded, "zlib completes the stream, ours fails");
        Require(OurOutput() == zlib.output, "both complete the stream with different bytes");
    } else if (zlib.status == Z_DATA_ERROR && IsHeaderDifference(zlib.why)) {
        if (succeeded) {
            Bytes output = OurOutput();
            Require(output.size() >= zlib.output.size() &&
                        std::equal(zlib.output.begin(), zlib.output.end(), output.begin()),
                    "ours accepts a block header zlib refuses, but the blocks before differ");
        }
    } else {
        // Z_DATA_ERROR for any other reason, or Z_BUF_ERROR: the input ended.
        Require(!succeeded, "zlib refuses the stream or wants more input, ours succeeds");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (ArchiveFd < 0) {
        ArchiveFd = memfd_create("archive", 0);
        OutputFd = memfd_create("output", 0);
        SetUpCrcTable();
        if (ArchiveFd < 0 || OutputFd < 0)
            abort();
    }
    const uint8_t header[LocalHeaderSize] = {};
    if (ftruncate(ArchiveFd, 0) != 0 || pwrite(ArchiveFd, header, sizeof header, 0) != sizeof header ||
        pwrite(ArchiveFd, data, size, sizeof header) != static_cast<ssize_t>(size))
        abort();
    const ZlibResult zlib = InflateWithZlib(data, size);

    // Every symbol loop of this build: the careful loop alone where it is the
    // only one (the stub's 32-bit bit buffer), else with the fast loop and without.
    for (bool fast : {true, false}) {
        if (fast && !InflateHasFastLoop)
            continue;
        FastLoopEnabled = fast;
        Compare(zlib, InflateWithOurs(static_cast<uint32_t>(size)));
    }
    FastLoopEnabled = InflateHasFastLoop;
    return 0;
}

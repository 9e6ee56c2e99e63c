#include "tests/support/DecodeHarness.h"

#include "archive/LocalHeader.h"
#include "archive/MemberData.h"
#include "decode/Crc32.h"
#include "decode/InputReader.h"
#include "decode/OutputWindow.h"
#include "fileio/FileCallLog.h"
#include "fileio/FileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <stdexcept>

static DecodeResult* Recording = nullptr;

static void RecordFileCall(FileHandle file, bool isWrite, uint32_t requested, uint32_t)
{
    if (!Recording)
        return;
    if (!isWrite && file == ArchiveFile)
        Recording->reads.push_back(requested);
    if (isWrite && file == OutputFile)
        Recording->writes.push_back(requested);
}

DecodeResult RunDecoder(Decoder decoder, const Bytes& data, const DecodeSetup& setup)
{
    if (!CrcTable)
        SetUpCrcTable();
    TempDir dir;
    // The member as an archive holds it: a local header at offset 0 with no
    // name or extra field, the encryption header of an encrypted member (its
    // check has passed: the keys come from the setup), the data, and bytes
    // after it that the decoder must not read.
    const bool encrypted = (setup.flags & FlagEncrypted) != 0;
    const int64_t start = LocalHeaderSize + (encrypted ? EncryptionHeaderSize : 0);
    Bytes file(start + data.size() + 64, 0xFF);
    std::fill(file.begin(), file.begin() + start, 0);
    std::copy(data.begin(), data.end(), file.begin() + start);
    WriteWholeFile(dir / "archive", file);
    std::string outputPath = setup.outputPath.empty() ? dir / "output" : setup.outputPath;

    const int32_t declared = setup.declared != UseDataSize ? setup.declared : static_cast<int32_t>(data.size());
    LocalFileHeader header = LocalFileHeader();
    header.flags = setup.flags;
    header.method = decoder == Decoder::Inflate ? MethodDeflated : MethodStored;
    header.compressedSize = static_cast<uint32_t>(declared) + (encrypted ? EncryptionHeaderSize : 0);
    header.uncompressedSize =
        decoder == Decoder::Inflate ? setup.uncompressedSize : static_cast<uint32_t>(declared);

    DecodeResult result;
    ArchiveFile = OpenFileForReading((dir / "archive").c_str());
    if (ArchiveFile == NoFile)
        throw std::runtime_error("cannot open the archive");
    OutputFile = CreateOutputFile(outputPath.c_str());
    if (OutputFile == NoFile)
        throw std::runtime_error("cannot create " + outputPath);
    if (setup.keys)
        CipherKeys = *setup.keys;

    // A file-size limit makes the system write part of a write that crosses it
    // (SIGXFSZ ignored, the write reports what it wrote, the next one fails).
    rlimit savedLimit = {};
    if (setup.fileSizeLimit) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &savedLimit);
        rlimit limit = savedLimit;
        limit.rlim_cur = setup.fileSizeLimit;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    Recording = &result;
    ObserveFileCall = RecordFileCall;
    DataOutcome outcome = DecodeMemberData(0, header);
    ObserveFileCall = nullptr;
    Recording = nullptr;
    if (setup.fileSizeLimit)
        setrlimit(RLIMIT_FSIZE, &savedLimit);

    // The header's CRC-32 is not known here: a mismatch means decoded whole.
    result.succeeded = outcome == DataOutcome::Verified || outcome == DataOutcome::CrcMismatch;
    result.outputCrc = OutputCrc;
    result.remaining = InputRemaining;
    result.consumed = lseek(static_cast<int>(ArchiveFile), 0, SEEK_CUR) - start;
    CloseFile(OutputFile);
    CloseFile(ArchiveFile);
    OutputFile = NoFile;
    ArchiveFile = NoFile;
    if (setup.outputPath.empty() || setup.outputPath.rfind("/dev/", 0) != 0)
        result.output = ReadWholeFile(outputPath);
    return result;
}

Bytes DeflateWithZlib(const Bytes& data, int level, int strategy)
{
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate did not finish");
    out.resize(stream.total_out);
    return out;
}

uint32_t ZlibCrc(const Bytes& data)
{
    return static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

Bytes FromHex(const std::string& hex)
{
    Bytes bytes;
    std::string digits;
    for (char c : hex)
        if (isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string AsText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "decode/Decrypt.h"
#include "tests/support/TestFiles.h"

// Runs a decoder the way the extraction driver does, through DecodeMemberData:
// the member sits in a file with other bytes after it, its local header gives
// the method, the flags and the sizes that make InputRemaining `declared`, and
// OutputFile is a fresh file. Records the file layer's calls on both files.
enum class Decoder { Inflate, CopyStored };

constexpr int32_t UseDataSize = INT32_MIN;

struct DecodeSetup {
    int32_t declared = UseDataSize;           // InputRemaining on entry
    uint16_t flags = 0;                       // the local header's flags
    uint32_t uncompressedSize = 0xFFFFFFFFu;  // a deflated member's; a stored one's is `declared`
    const CipherKeySet* keys = nullptr;       // CipherKeys on entry, for encrypted data
    std::string outputPath;                   // where to write; empty for a temporary file
    uint32_t fileSizeLimit = 0;               // nonzero: no file may grow past it while decoding (RLIMIT_FSIZE)
};

struct DecodeResult {
    Bytes output;
    bool succeeded = false;        // decoded whole (the CRC-32 is left to the caller)
    uint32_t outputCrc = 0;        // OutputCrc as the decoder left it
    std::vector<uint32_t> reads;   // counts asked of ArchiveFile, in order
    std::vector<uint32_t> writes;  // counts handed to OutputFile, in order
    int32_t remaining = 0;         // InputRemaining afterwards
    int64_t consumed = 0;          // how far ArchiveFile moved from the data's start
};

DecodeResult RunDecoder(Decoder decoder, const Bytes& data, const DecodeSetup& setup = DecodeSetup());

// Raw deflate (no header) by zlib.
Bytes DeflateWithZlib(const Bytes& data, int level, int strategy = 0);
uint32_t ZlibCrc(const Bytes& data);
// "01 00 00 ff ff" -> bytes.
Bytes FromHex(const std::string& hex);
std::string AsText(const Bytes& bytes);

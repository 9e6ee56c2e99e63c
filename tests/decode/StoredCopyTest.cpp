#include "decode/OutputWindow.h"

#include "tests/support/DecodeHarness.h"

#include <gtest/gtest.h>

TEST(StoredCopy, CopiesInPiecesOf32768)
{
    struct Case {
        uint32_t size;
        std::vector<uint32_t> pieces;
    };
    for (const Case& c : {Case{0, {}}, Case{1, {1}}, Case{100, {100}}, Case{32767, {32767}}, Case{32768, {32768}},
                          Case{32769, {32768, 1}}, Case{70000, {32768, 32768, 4464}}}) {
        SCOPED_TRACE(c.size);
        Bytes data = RandomBytes(c.size, c.size);
        DecodeResult result = RunDecoder(Decoder::CopyStored, data);
        EXPECT_TRUE(result.succeeded);
        EXPECT_TRUE(result.output == data);
        EXPECT_EQ(~result.outputCrc, ZlibCrc(data));
        EXPECT_EQ(result.reads, c.pieces);
        EXPECT_EQ(result.writes, c.pieces);
        EXPECT_EQ(result.consumed, c.size);
        EXPECT_EQ(result.remaining, 0);
    }
    // An empty member leaves the register as it was: its complement 0 is the CRC-32 of nothing.
    EXPECT_EQ(RunDecoder(Decoder::CopyStored, Bytes()).outputCrc, 0xFFFFFFFFu);
}

TEST(StoredCopy, AnArchiveThatEndsInsideTheMemberFails)
{
    Bytes data = RandomBytes(50000, 2);
    DecodeSetup setup;
    setup.declared = 50000 + 64 + 1;  // beyond the file's end (64 bytes follow the data)
    DecodeResult result = RunDecoder(Decoder::CopyStored, data, setup);
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.output.size(), 50064u);
    EXPECT_EQ(~result.outputCrc, ZlibCrc(result.output));
}

TEST(StoredCopy, AHeaderSizeSmallerThanTheEncryptionHeaderFails)
{
    DecodeSetup setup;
    setup.declared = -5;  // compressed size 7 less the 12-byte encryption header
    DecodeResult result = RunDecoder(Decoder::CopyStored, Bytes(7, 1), setup);
    EXPECT_FALSE(result.succeeded);
    EXPECT_TRUE(result.reads.empty());
    EXPECT_TRUE(result.output.empty());
}

TEST(StoredCopy, AShortWriteFailsTheMember)
{
    DecodeSetup full;
    full.outputPath = "/dev/full";  // writes nothing
    EXPECT_FALSE(RunDecoder(Decoder::CopyStored, RandomBytes(1000, 3), full).succeeded);
    DecodeSetup limited;
    limited.fileSizeLimit = 99000;  // the last write, of 1,696 bytes, is cut
    DecodeResult result = RunDecoder(Decoder::CopyStored, RandomBytes(100000, 3), limited);
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.output.size(), 99000u);
}

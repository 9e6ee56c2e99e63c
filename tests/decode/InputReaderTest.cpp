#include "decode/InputReader.h"

#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "decode/MemberCoding.h"
#include "fileio/FileCallLog.h"
#include "fileio/FileIo.h"
#include "fileio/Memory.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace {

std::vector<uint32_t>* ReadSizes = nullptr;

void RecordRead(FileHandle file, bool isWrite, uint32_t requested, uint32_t)
{
    if (ReadSizes && !isWrite && file == ArchiveFile)
        ReadSizes->push_back(requested);
}

// The member's data in a file after 3 other bytes, the reader reset as the
// inflate decoder resets it.
class InputReader : public ::testing::Test {
protected:
    TempDir dir;
    std::vector<uint32_t> reads;

    void Open(const Bytes& fileBytes, int32_t declared, uint16_t flags = 0)
    {
        Bytes file(3 + fileBytes.size());
        file[0] = 1;
        file[1] = 2;
        file[2] = 3;
        std::copy(fileBytes.begin(), fileBytes.end(), file.begin() + 3);
        WriteWholeFile(dir / "archive", file);
        ArchiveFile = OpenFileForReading((dir / "archive").c_str());
        SeekFileTo(ArchiveFile, 3);
        CurrentCoding.encrypted = (flags & 1) != 0;
        InputRemaining = declared;
        InputBuffer = static_cast<uint8_t*>(AllocateBlock(InputBufferSize));
        InputPos = 0;
        InputCount = 0;
        BitBuffer = 0;
        BitCount = 0;
        InputOverrunBits = 0;
        ReadSizes = &reads;
        ObserveFileCall = RecordRead;
    }
    int64_t FilePosition() { return lseek(static_cast<int>(ArchiveFile), 0, SEEK_CUR) - 3; }
    void TearDown() override
    {
        ObserveFileCall = nullptr;
        ReadSizes = nullptr;
        ReleaseBlock(InputBuffer);
        InputBuffer = nullptr;
        if (ArchiveFile != NoFile)
            CloseFile(ArchiveFile);
        ArchiveFile = NoFile;
    }
};

}  // namespace

TEST_F(InputReader, NothingToReadGivesEndOfInputAndOneBits)
{
    Open(Bytes(10, 0x55), 0);
    EXPECT_EQ(NextByte(), -1);
    EXPECT_TRUE(reads.empty());
    uint32_t count = 0;
    BitWord bits = 0;
    NeedBits(3, bits, count);
    EXPECT_EQ(bits, ~BitWord{0});
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(InputOverrunBits, 8u);
}

TEST_F(InputReader, ReadsPiecesAndStopsAtTheMembersEnd)
{
    for (uint32_t size : {40000u, 32768u}) {
        SCOPED_TRACE(size);
        Bytes data = RandomBytes(size, size);
        Bytes file = data;
        file.insert(file.end(), 50, 0xEE);  // the next member
        Open(file, static_cast<int32_t>(size));
        bool same = true;
        for (uint32_t i = 0; i < size; ++i)
            same = same && NextByte() == data[i];
        EXPECT_TRUE(same);
        EXPECT_EQ(InputRemaining, 0);
        EXPECT_EQ(NextByte(), -1);
        EXPECT_EQ(NextByte(), -1);
        std::vector<uint32_t> expected = {32768};
        if (size > 32768)
            expected.push_back(size - 32768);
        EXPECT_EQ(reads, expected);
        EXPECT_EQ(FilePosition(), size);
        TearDown();
        reads.clear();
    }
}

TEST_F(InputReader, AnArchiveThatEndsEarlyEndsTheInput)
{
    Bytes data = RandomBytes(900, 1);
    Open(data, 1000);  // the file ends 100 bytes before the member's stated end
    for (uint32_t i = 0; i < 900; ++i)
        ASSERT_EQ(NextByte(), data[i]);
    EXPECT_EQ(NextByte(), -1);
    EXPECT_EQ(InputRemaining, -1);
    size_t readsSoFar = reads.size();
    EXPECT_EQ(NextByte(), -1);
    EXPECT_EQ(InputRemaining, -1);
    EXPECT_EQ(reads.size(), readsSoFar);
    EXPECT_EQ(reads, (std::vector<uint32_t>{1000, 100}));
}

TEST_F(InputReader, BitsComeLeastSignificantFirst)
{
    Open({0x01, 0x02}, 2);
    BitWord bits = 0;
    uint32_t count = 0;
    NeedBits(16, bits, count);
    EXPECT_EQ(bits, 0x0201u);
    EXPECT_EQ(count, 16u);
    TearDown();

    Open({0xFF, 0x00}, 2);
    bits = 0;
    count = 0;
    NeedBits(9, bits, count);
    EXPECT_EQ(bits, 0x00FFu);
    EXPECT_EQ(count, 16u);
    DumpBits(9, bits, count);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(count, 7u);
}

TEST_F(InputReader, WordRefillsGiveTheSameBitsAsByteRefills)
{
    Bytes data = RandomBytes(70000, 5);
    Open(data, static_cast<int32_t>(data.size()));
    // Takes values of 1..16 bits alternately with FillBits and TakeBits and
    // checks each against the data's bit string.
    uint64_t position = 0;
    uint32_t width = 1;
    BitWord bits = 0;
    uint32_t count = 0;
    while (position + 16 < data.size() * 8) {
        uint32_t expected = 0;
        for (uint32_t i = 0; i < width; ++i) {
            uint64_t bit = position + i;
            expected |= ((data[bit / 8] >> (bit % 8)) & 1u) << i;
        }
        FillBits(width, bits, count);
        ASSERT_EQ(static_cast<uint32_t>(bits & ((BitWord{1} << width) - 1)), expected) << "bit " << position;
        DumpBits(width, bits, count);
        position += width;
        width = width % 16 + 1;
    }
    EXPECT_EQ(reads, (std::vector<uint32_t>{32768, 32768, 4464}));
}

#include "decode/Crc32.h"

#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

class Crc32 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetUpCrcTable(); }
    static void TearDownTestSuite() { ReleaseCrcTable(); }

    static uint32_t RegisterAfter(const void* bytes, int32_t count, uint32_t start = 0xFFFFFFFFu)
    {
        uint32_t crc = start;
        CrcUpdate(static_cast<const uint8_t*>(bytes), count, crc);
        return crc;
    }
};

TEST_F(Crc32, TableHoldsTheStandardReflectedEntries)
{
    EXPECT_EQ(CrcTable[0], 0u);
    EXPECT_EQ(CrcTable[1], 0x77073096u);
    EXPECT_EQ(CrcTable[128], 0xEDB88320u);
    EXPECT_EQ(CrcTable[255], 0x2D02EF8Du);
}

TEST_F(Crc32, KnownCheckValues)
{
    EXPECT_EQ(RegisterAfter("123456789", 9), 0x340BC6D9u);
    EXPECT_EQ(~RegisterAfter("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(RegisterAfter("abc", 3), 0xCADBBE3Du);
    EXPECT_EQ(~RegisterAfter("abc", 3), 0x352441C2u);
}

TEST_F(Crc32, ZeroOrNegativeCountLeavesTheRegister)
{
    EXPECT_EQ(RegisterAfter("x", 0), 0xFFFFFFFFu);
    EXPECT_EQ(RegisterAfter("x", -5), 0xFFFFFFFFu);
    EXPECT_EQ(RegisterAfter("x", 0, 0x12345678u), 0x12345678u);
}

TEST_F(Crc32, IgnoresSplitPoints)
{
    const char* digits = "123456789";
    for (int32_t split = 0; split <= 9; ++split) {
        uint32_t crc = RegisterAfter(digits, split);
        crc = RegisterAfter(digits + split, 9 - split, crc);
        EXPECT_EQ(~crc, 0xCBF43926u) << "split at " << split;
    }
}

// Every way CrcUpdate may take: the table always, the carry-less multiply as
// well where this processor has it. Each length is split at the block sizes'
// edges and, up to 300 bytes, at every point, so that the multiply path starts
// and ends at every alignment and hands every remainder to the table.
TEST_F(Crc32, EveryWayAgreesWithZlibOverLengthsAndSplits)
{
    const bool multiply = CrcFoldsByMultiply;
    const uint32_t lengths[] = {1,   2,   3,   7,   8,   15,  16,   31,   63,   64,    65,    79,    80,
                                127, 128, 129, 255, 256, 300, 1000, 4095, 4096, 32767, 32768, 32769, 100003};
    for (bool useMultiply : {false, true}) {
        if (useMultiply && !multiply)
            continue;
        CrcFoldsByMultiply = useMultiply;
        SCOPED_TRACE(useMultiply ? "carry-less multiply" : "table");
        for (uint32_t length : lengths) {
            Bytes data = RandomBytes(length, length);
            uint32_t expected = static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
            std::vector<uint32_t> splits = {0, 1, 15, 16, 17, 63, 64, 65, length / 2, length - 1, length};
            if (length <= 300)
                for (uint32_t split = 0; split <= length; ++split)
                    splits.push_back(split);
            for (uint32_t split : splits) {
                if (split > length)
                    continue;
                uint32_t crc = RegisterAfter(data.data(), static_cast<int32_t>(split));
                crc = RegisterAfter(data.data() + split, static_cast<int32_t>(length - split), crc);
                ASSERT_EQ(~crc, expected) << length << " bytes split at " << split;
            }
        }
    }
    CrcFoldsByMultiply = multiply;
}

TEST_F(Crc32, ByteStepMatchesTheBitwiseDefinition)
{
    for (uint32_t crc : {0u, 0xFFFFFFFFu, 0xDEADBEEFu, 0x00000080u}) {
        for (int byte = 0; byte < 256; byte += 17) {
            uint32_t expected = crc ^ static_cast<uint32_t>(byte);
            for (int bit = 0; bit < 8; ++bit)
                expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
            EXPECT_EQ(CrcUpdateByte(static_cast<uint8_t>(byte), crc), expected);
        }
    }
}

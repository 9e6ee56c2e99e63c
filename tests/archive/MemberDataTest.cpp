#include "archive/MemberData.h"

#include "tests/support/ArchiveMembers.h"
#include "tests/support/DecodeHarness.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

void PutLittle(Bytes& bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Stored members whose compressed size is 0, so that each next header follows
// the last one's name, while each one's uncompressed size and CRC-32 cover
// every byte after its name, up to the archive's end: every member would copy
// all the members after it.
Bytes OverlappingStoredMembers(uint32_t count, const Bytes& tail)
{
    Bytes archive = tail;
    for (uint32_t i = count; i-- > 0;) {
        const std::string name = "m" + std::to_string(i) + ".txt";
        Bytes header;
        PutLittle(header, LocalHeaderSignature, 4);
        PutLittle(header, 10, 2);  // version needed
        PutLittle(header, 0, 2);   // flags
        PutLittle(header, MethodStored, 2);
        PutLittle(header, 0, 4);  // time and date
        PutLittle(header, static_cast<uint32_t>(crc32(0, archive.data(), static_cast<uInt>(archive.size()))), 4);
        PutLittle(header, 0, 4);  // compressed size
        PutLittle(header, static_cast<uint32_t>(archive.size()), 4);
        PutLittle(header, static_cast<uint32_t>(name.size()), 2);
        PutLittle(header, 0, 2);  // extra field
        header.insert(header.end(), name.begin(), name.end());
        archive.insert(archive.begin(), header.begin(), header.end());
    }
    return archive;
}

}  // namespace

TEST(MemberData, NoMemberWritesMoreThanItsUncompressedSize)
{
    // Twenty overlapping stored members: each fails without a byte copied.
    TempDir dir;
    Bytes tail(5000, 'x');
    PutLittle(tail, CentralHeaderSignature, 4);
    WriteWholeFile(dir / "bomb.zip", OverlappingStoredMembers(20, tail));
    std::vector<DecodedMember> members = DecodeArchive(dir / "bomb.zip");
    ASSERT_EQ(members.size(), 20u);
    for (const DecodedMember& member : members) {
        SCOPED_TRACE(member.name);
        EXPECT_FALSE(member.decoded);
        EXPECT_TRUE(member.output.empty());
    }

    // A deflated member decodes whole at its own size, and stops at the first
    // window that would pass a smaller one, writing none of it.
    Bytes data = RandomBytes(200000, 5);
    Bytes stream = DeflateWithZlib(data, 6);
    DecodeSetup setup;
    setup.uncompressedSize = static_cast<uint32_t>(data.size());
    DecodeResult exact = RunDecoder(Decoder::Inflate, stream, setup);
    EXPECT_TRUE(exact.succeeded);
    EXPECT_TRUE(exact.output == data);
    for (uint32_t size : {0u, 1000u, 32768u, 199999u}) {
        SCOPED_TRACE(size);
        setup.uncompressedSize = size;
        DecodeResult overlong = RunDecoder(Decoder::Inflate, stream, setup);
        EXPECT_FALSE(overlong.succeeded);
        EXPECT_LE(overlong.output.size(), size);
        if (size < 32768)
            EXPECT_LT(overlong.consumed, static_cast<int64_t>(stream.size() / 2)) << "decoding went on";
    }
}

#include "decode/Inflate.h"

#include "decode/Crc32.h"
#include "decode/InflateFast.h"
#include "decode/InputReader.h"
#include "decode/OutputWindow.h"
#include "tests/support/DecodeHarness.h"
#include "tests/support/DeflateWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <numeric>
#include <random>

namespace {

// Data of the kinds a member holds, `size` bytes long.
Bytes TextData(uint32_t size)
{
    static const char* words[] = {"the ",     "archive ", "member ", "window ", "of ",     "deflate ",
                                  "stream\n", "and ",     "bytes ",  "0123 ",   "Zelvix ", "extract, "};
    Bytes bytes;
    uint32_t state = 12345;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = words[(state >> 16) % 12];
        bytes.insert(bytes.end(), word, word + strlen(word));
    }
    bytes.resize(size);
    return bytes;
}

Bytes BinaryData(uint32_t size)
{
    static const Bytes program = ReadWholeFile("/proc/self/exe");
    Bytes bytes;
    while (bytes.size() < size)
        bytes.insert(bytes.end(), program.begin(),
                     program.begin() + std::min<size_t>(program.size(), size - bytes.size()));
    return bytes;
}

Bytes RunData(uint32_t size)
{
    Bytes bytes(size);
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i / 1000) % 3 == 0 ? 'x' : (i / 7) & 0xFF);
    return bytes;
}

struct Variant {
    const char* name;
    int level;
    int strategy;
};
const Variant Variants[] = {{"level 0", 0, Z_DEFAULT_STRATEGY},
                            {"level 1", 1, Z_DEFAULT_STRATEGY},
                            {"level 2", 2, Z_DEFAULT_STRATEGY},
                            {"level 3", 3, Z_DEFAULT_STRATEGY},
                            {"level 4", 4, Z_DEFAULT_STRATEGY},
                            {"level 5", 5, Z_DEFAULT_STRATEGY},
                            {"level 6", 6, Z_DEFAULT_STRATEGY},
                            {"level 7", 7, Z_DEFAULT_STRATEGY},
                            {"level 8", 8, Z_DEFAULT_STRATEGY},
                            {"level 9", 9, Z_DEFAULT_STRATEGY},
                            {"Z_FIXED", 6, Z_FIXED},
                            {"Z_HUFFMAN_ONLY", 6, Z_HUFFMAN_ONLY},
                            {"Z_RLE", 6, Z_RLE},
                            {"Z_FILTERED", 6, Z_FILTERED}};

void ExpectDecodesLikeZlib(const Bytes& data, const Bytes& stream)
{
    DecodeResult result = RunDecoder(Decoder::Inflate, stream);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.output.size(), data.size());
    EXPECT_TRUE(result.output == data);
    EXPECT_EQ(~result.outputCrc, ZlibCrc(data));
    // The whole member is read, in pieces of 32,768 bytes (the last shorter), and nothing after it.
    EXPECT_EQ(result.consumed, static_cast<int64_t>(stream.size()));
    EXPECT_EQ(std::accumulate(result.reads.begin(), result.reads.end(), uint64_t{0}), stream.size());
    for (size_t i = 0; i + 1 < result.reads.size(); ++i)
        EXPECT_EQ(result.reads[i], 32768u);
    // Writes of exactly 32,768 bytes, the last one shorter or equal.
    for (size_t i = 0; i + 1 < result.writes.size(); ++i)
        EXPECT_EQ(result.writes[i], 32768u);
    EXPECT_EQ(result.writes.size(), (data.size() + 32767) / 32768);
}

}  // namespace

TEST(InflateDifferential, MatchesZlibOverDataKindsSizesAndEncoderSettings)
{
    const uint32_t sizes[] = {0, 1, 32767, 32768, 32769, 65535, 65536, 65537, 100000, 1 << 20};
    struct Kind {
        const char* name;
        Bytes (*make)(uint32_t);
    };
    const Kind kinds[] = {{"text", TextData},
                          {"binary", BinaryData},
                          {"runs", RunData},
                          {"random", [](uint32_t size) { return RandomBytes(size, size + 7); }}};
    for (const Kind& kind : kinds) {
        for (uint32_t size : sizes) {
            Bytes data = kind.make(size);
            for (const Variant& variant : Variants) {
                if (size == (1u << 20) && variant.level != 6 && variant.level != 9 && variant.level != 1)
                    continue;  // the big inputs at a few settings only
                SCOPED_TRACE(std::string(kind.name) + ", " + std::to_string(size) + " bytes, " + variant.name);
                ExpectDecodesLikeZlib(data, DeflateWithZlib(data, variant.level, variant.strategy));
            }
        }
    }
}

namespace {

struct SmallStream {
    const char* behaviour;
    const char* streamHex;
    const char* expected;
    bool succeeds;
};
const SmallStream SmallStreams[] = {
    {"empty final fixed block", "03 00", "", true},
    {"empty stored block", "01 00 00 ff ff", "", true},
    {"stored block copies its bytes", "01 05 00 fa ff 68 65 6c 6c 6f", "hello", true},
    {"stored length with a wrong complement", "01 05 00 fb ff 68 65 6c 6c 6f", "", false},
    {"fixed block with one literal", "4b 04 00", "a", true},
    {"match overlapping its own output", "4b 4c 84 01 00", "aaaaaaaaaa", true},
    {"reserved block type 3", "07 00", "", false},
    {"stored block cut short", "01 05 00 fa ff 68 65", "", false},
    {"stored block cut inside its length fields", "01 00 00", "", false},
    {"fixed block cut off after its header", "03", "", false},
    {"no input at all", "", "", false},
    {"a block that is not the last, then the input ends", "02 00", "", false},
};

// What a deflate stream means, worked out without the decoder: literals and
// back-references over everything produced so far (zeros before the start).
struct Piece {
    uint32_t literalOrLength;
    uint32_t distance;  // 0 for a literal
};
Bytes Expand(const std::vector<Piece>& pieces, Bytes output = Bytes())
{
    for (const Piece& piece : pieces) {
        if (!piece.distance) {
            output.push_back(static_cast<uint8_t>(piece.literalOrLength));
            continue;
        }
        for (uint32_t i = 0; i < piece.literalOrLength; ++i)
            output.push_back(output.size() >= piece.distance ? output[output.size() - piece.distance] : 0);
    }
    return output;
}

void WriteFixedPieces(DeflateWriter& writer, bool last, const std::vector<Piece>& pieces)
{
    writer.Bits(last ? 1 : 0, 1);
    writer.Bits(1, 2);
    for (const Piece& piece : pieces) {
        if (piece.distance)
            writer.FixedMatch(piece.literalOrLength, piece.distance);
        else
            writer.FixedLiteral(piece.literalOrLength);
    }
    writer.FixedLiteral(256);
}

std::vector<uint32_t> Lengths(uint32_t count, uint32_t length)
{
    return std::vector<uint32_t>(count, length);
}

}  // namespace

TEST(InflateStreams, DecodesSmallHandMadeStreams)
{
    for (const SmallStream& c : SmallStreams) {
        SCOPED_TRACE(c.behaviour);
        DecodeResult result = RunDecoder(Decoder::Inflate, FromHex(c.streamHex));
        EXPECT_EQ(result.succeeded, c.succeeds);
        if (c.succeeds) {
            EXPECT_EQ(AsText(result.output), c.expected);
            EXPECT_EQ(~result.outputCrc, ZlibCrc(result.output));
        }
        if (std::string(c.expected).empty() && c.succeeds)
            EXPECT_EQ(result.outputCrc, 0xFFFFFFFFu);
    }
}

TEST(InflateStreams, BackReferencesFollowTheirDefinition)
{
    const std::vector<std::vector<Piece>> cases = {
        {{'a', 0}, {258, 1}},                       // one literal repeated: 259 bytes
        {{'a', 0}, {3, 10}},                        // reaching before the first byte: zeros
        {{'x', 0}, {5, 32768}, {'y', 0}, {10, 3}},  // distance 32,768 at the start: zeros
        {{'a', 0}, {'b', 0}, {'c', 0}, {7, 2}, {4, 7}, {258, 9}, {3, 258}},
    };
    for (const auto& pieces : cases) {
        DeflateWriter writer;
        WriteFixedPieces(writer, true, pieces);
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        EXPECT_TRUE(result.output == Expand(pieces));
    }
    ASSERT_EQ(Expand({{'a', 0}, {258, 1}}).size(), 259u);
}

TEST(InflateStreams, DistancesAcrossTheWindowEdgeAndUpTo32768)
{
    // Stored history of various lengths, then matches reaching back as far as
    // deflate allows, with runs that cross the window's end.
    for (uint32_t history : {32760u, 32768u, 33000u, 65530u}) {
        SCOPED_TRACE(history);
        Bytes data = RandomBytes(history, history);
        DeflateWriter writer;
        for (uint32_t done = 0; done < history;) {
            uint32_t piece = std::min<uint32_t>(history - done, 65535);
            writer.StoredBlock(false, Bytes(data.begin() + done, data.begin() + done + piece));
            done += piece;
        }
        std::vector<Piece> pieces = {{20, 5},  {258, 32768}, {258, 32761}, {10, 32767}, {3, 32768},
                                     {258, 1}, {100, 7},     {258, 32000}, {5, 3},      {258, 32768}};
        WriteFixedPieces(writer, true, pieces);
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        Bytes expected = Expand(pieces, data);
        EXPECT_EQ(result.output.size(), expected.size());
        EXPECT_TRUE(result.output == expected);
        EXPECT_EQ(~result.outputCrc, ZlibCrc(expected));
    }
}

TEST(InflateStreams, StoredBlocksAtEveryBitPosition)
{
    // Fixed blocks of 9-bit literals shift the stored blocks after them to every
    // bit position, so their lengths sit partly in the bit buffer.
    for (uint32_t literals = 0; literals < 24; ++literals) {
        for (uint32_t storedLength : {0u, 1u, 3u, 9u, 300u}) {
            SCOPED_TRACE(std::to_string(literals) + " literals, stored " + std::to_string(storedLength));
            std::vector<Piece> pieces(literals, Piece{0xF0, 0});
            Bytes stored = RandomBytes(storedLength, literals);
            DeflateWriter writer;
            WriteFixedPieces(writer, false, pieces);
            writer.StoredBlock(false, stored);
            writer.StoredBlock(false, stored);
            WriteFixedPieces(writer, true, {{'z', 0}, {4, 1}});
            Bytes expected = Expand(pieces);
            expected.insert(expected.end(), stored.begin(), stored.end());
            expected.insert(expected.end(), stored.begin(), stored.end());
            expected = Expand({{'z', 0}, {4, 1}}, expected);
            DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
            EXPECT_TRUE(result.succeeded);
            EXPECT_TRUE(result.output == expected);
        }
    }
}

TEST(InflateStreams, InvalidFixedSymbolsFail)
{
    for (uint32_t symbol : {286u, 287u}) {
        DeflateWriter writer;
        writer.Bits(1, 1);
        writer.Bits(1, 2);
        writer.FixedLiteral('a');
        writer.FixedLiteral(symbol);
        writer.Bits(0, 5);
        writer.FixedDistance(0);
        writer.FixedLiteral(256);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, writer.Finish()).succeeded) << "length symbol " << symbol;
    }
    for (uint32_t symbol : {30u, 31u}) {
        DeflateWriter writer;
        writer.Bits(1, 1);
        writer.Bits(1, 2);
        writer.FixedLiteral('a');
        writer.FixedLiteral(257);
        writer.FixedDistance(symbol);
        writer.Bits(0, 13);
        writer.FixedLiteral(256);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, writer.Finish()).succeeded) << "distance symbol " << symbol;
    }
}

TEST(InflateStreams, TwoFixedBlocksInOneMember)
{
    DeflateWriter writer;
    WriteFixedPieces(writer, false, {{'a', 0}, {'b', 0}, {5, 2}});
    WriteFixedPieces(writer, true, {{'c', 0}, {4, 8}});
    DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(AsText(result.output), "abababa"
                                     "c"
                                     "abab");
}

TEST(InflateDynamicBlocks, DecodeWithIncompleteOrSingleDistanceCodes)
{
    // Literals 'a' and 'b' with 2 bits; 'c', 'd', the end of block and length
    // symbol 257 (a match of 3) with 3 bits: a complete code.
    std::vector<uint32_t> literalLengths = Lengths(258, 0);
    literalLengths[97] = literalLengths[98] = 2;
    literalLengths[99] = literalLengths[100] = literalLengths[256] = literalLengths[257] = 3;
    std::vector<uint32_t> literalCodes = CanonicalCodes(literalLengths);

    struct DistanceCase {
        const char* behaviour;
        std::vector<uint32_t> lengths;
        uint32_t symbol;  // distance symbol used: distance symbol + 1 for symbols 0..3
    };
    const DistanceCase cases[] = {
        {"one distance code of length 1", {1}, 0},
        {"two distance codes of length 2 (incomplete)", {0, 2, 2}, 2},
        {"incomplete code, the other symbol", {0, 2, 2}, 1},
    };
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(c.behaviour);
        DeflateWriter writer;
        DynamicHeader(writer, true, literalLengths, c.lengths);
        std::vector<uint32_t> distanceCodes = CanonicalCodes(c.lengths);
        for (uint32_t symbol : {97u, 98u, 99u, 100u})
            writer.Code(literalCodes[symbol], literalLengths[symbol]);
        writer.Code(literalCodes[257], 3);
        writer.Code(distanceCodes[c.symbol], c.lengths[c.symbol]);
        writer.Code(literalCodes[256], 3);
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        EXPECT_TRUE(result.output == Expand({{'a', 0}, {'b', 0}, {'c', 0}, {'d', 0}, {3, c.symbol + 1}}));
    }
}

TEST(InflateDynamicBlocks, SymbolsBeyondTheAlphabetsAreInvalid)
{
    // HLIT 31 and HDIST 31 send lengths for literal/length symbols 286, 287 and
    // distance symbols 30, 31; the code is accepted, using those symbols is not.
    std::vector<uint32_t> literalLengths = Lengths(288, 0);
    for (uint32_t symbol : {97u, 256u, 257u, 286u, 287u})
        literalLengths[symbol] = 3;  // 5 of 8 patterns, incomplete...
    for (uint32_t symbol : {98u, 99u, 100u})
        literalLengths[symbol] = 3;  // ...now complete
    std::vector<uint32_t> distanceLengths = Lengths(32, 0);
    distanceLengths[0] = distanceLengths[30] = 2;
    distanceLengths[31] = 1;
    std::vector<uint32_t> literalCodes = CanonicalCodes(literalLengths);
    std::vector<uint32_t> distanceCodes = CanonicalCodes(distanceLengths);

    struct Use {
        const char* behaviour;
        uint32_t lengthSymbol;
        uint32_t distanceSymbol;
        bool succeeds;
    };
    for (const Use& use : {Use{"length 257, distance 0", 257, 0, true}, Use{"length symbol 286", 286, 0, false},
                           Use{"length symbol 287", 287, 0, false}, Use{"distance symbol 30", 257, 30, false},
                           Use{"distance symbol 31", 257, 31, false}}) {
        SCOPED_TRACE(use.behaviour);
        DeflateWriter writer;
        DynamicHeader(writer, true, literalLengths, distanceLengths);
        writer.Code(literalCodes['a'], 3);
        writer.Code(literalCodes[use.lengthSymbol], 3);
        writer.Code(distanceCodes[use.distanceSymbol], distanceLengths[use.distanceSymbol]);
        writer.Code(literalCodes[256], 3);
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_EQ(result.succeeded, use.succeeds);
        if (use.succeeds)
            EXPECT_EQ(AsText(result.output), "aaaa");
    }
}

TEST(InflateDynamicBlocks, CodeLengthSequences)
{
    // Code-length code: 0..14 with 4 bits, 16 and 18 with 5 bits (complete).
    std::vector<uint32_t> clLengths = Lengths(19, 0);
    for (uint32_t symbol = 0; symbol < 15; ++symbol)
        clLengths[symbol] = 4;
    clLengths[16] = clLengths[18] = 5;

    // A leading 16 repeats length 0: 3 zeros, then symbol 'x' = 120 needs 117
    // more zeros (18 with 106, then 11 plain), then lengths for x, 121 ... 256, 257.
    auto literalSymbols = [](bool leadingRepeat) {
        std::vector<CodeLengthSymbol> symbols;
        if (leadingRepeat)
            symbols.push_back({16, 0});  // 3 x length 0
        else
            for (int i = 0; i < 3; ++i)
                symbols.push_back({0, 0});
        symbols.push_back({18, 106 - 11});  // 106 zeros
        for (int i = 0; i < 11; ++i)
            symbols.push_back({0, 0});
        symbols.push_back({1, 0});          // 'x' (120): 1 bit
        symbols.push_back({18, 135 - 11});  // 121..255: 135 zeros
        symbols.push_back({2, 0});          // 256: 2 bits
        symbols.push_back({2, 0});          // 257: 2 bits
        symbols.push_back({1, 0});          // one distance code of 1 bit
        return symbols;
    };
    for (bool leadingRepeat : {false, true}) {
        SCOPED_TRACE(leadingRepeat ? "leading 16" : "plain zeros");
        DeflateWriter writer;
        DynamicHeaderAsSent(writer, true, 258, 1, clLengths, literalSymbols(leadingRepeat));
        writer.Code(0, 1);  // 'x'
        writer.Code(3, 2);  // 257: length 3
        writer.Code(0, 1);  // distance 1
        writer.Code(2, 2);  // end of block
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(AsText(result.output), "xxxx");
    }

    // A 16 right after a 17 or an 18 repeats their length, 0, not the last
    // length sent before them ('x', 1 bit): three more 1-bit codes would
    // oversubscribe the code.
    std::vector<uint32_t> repeatCode = Lengths(19, 0);
    repeatCode[0] = repeatCode[1] = 2;
    repeatCode[2] = repeatCode[16] = repeatCode[17] = repeatCode[18] = 3;
    for (CodeLengthSymbol zeros : {CodeLengthSymbol{17, 7}, CodeLengthSymbol{18, 0}}) {
        SCOPED_TRACE(zeros.symbol == 17 ? "16 after 17" : "16 after 18");
        uint32_t run = zeros.symbol == 17 ? 3 + zeros.extra : 11 + zeros.extra;
        DeflateWriter writer;
        DynamicHeaderAsSent(
            writer, true, 258, 1, repeatCode,
            {{18, 120 - 11}, {1, 0}, zeros, {16, 0}, {18, 135 - run - 3 - 11}, {2, 0}, {2, 0}, {1, 0}});
        writer.Code(0, 1);  // 'x'
        writer.Code(3, 2);  // 257: length 3
        writer.Code(0, 1);  // distance 1
        writer.Code(2, 2);  // end of block
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(AsText(result.output), "xxxx");
    }

    // Oversubscribed code-length code: three codes of length 1.
    {
        std::vector<uint32_t> bad = Lengths(19, 0);
        bad[0] = bad[1] = bad[2] = 1;
        DeflateWriter writer;
        DynamicHeaderAsSent(writer, true, 257, 1, bad, {});
        writer.Bits(0, 64);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, writer.Finish()).succeeded);
    }
    // A repeat that runs past the end of the lengths.
    {
        std::vector<CodeLengthSymbol> symbols = literalSymbols(false);
        symbols.back() = {18, 127};  // 138 zeros where one length is left
        DeflateWriter writer;
        DynamicHeaderAsSent(writer, true, 258, 1, clLengths, symbols);
        writer.Bits(0, 64);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, writer.Finish()).succeeded);
    }
    // No literal/length code at all (every length 0), and no code-length code.
    {
        DeflateWriter writer;
        DynamicHeaderAsSent(writer, true, 257, 1, clLengths, {{18, 127}, {18, 127}, {18, 0}});
        writer.Bits(0, 64);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, writer.Finish()).succeeded);
        DeflateWriter none;
        DynamicHeaderAsSent(none, true, 257, 1, Lengths(19, 0), {});
        none.Bits(0, 64);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, none.Finish()).succeeded);
    }
}

TEST(InflateEndOfInput, TruncatedStreamsFailAndStop)
{
    Bytes data = TextData(50000);
    Bytes random = RandomBytes(3000, 3);
    data.insert(data.end(), random.begin(), random.end());
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        Bytes stream = DeflateWithZlib(data, 9, strategy);
        for (size_t cut = 0; cut < stream.size(); cut += cut < 64 ? 1 : 331) {
            Bytes truncated(stream.begin(), stream.begin() + cut);
            DecodeResult result = RunDecoder(Decoder::Inflate, truncated);
            EXPECT_FALSE(result.succeeded) << "cut at " << cut;
            EXPECT_LE(result.output.size(), data.size());
        }
        // The archive file itself ends before the member's stated end.
        DecodeSetup setup;
        setup.declared = static_cast<int32_t>(stream.size()) + 100;
        Bytes cut(stream.begin(), stream.end() - 1);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, cut, setup).succeeded);
    }
    // One final dynamic block whose end-of-block code is the all-ones pattern,
    // which the 1 bits after the end of the input imitate.
    Bytes letters(1000, 'a');
    letters.insert(letters.end(), 10, 'b');
    Bytes huffman = DeflateWithZlib(letters, 6, Z_HUFFMAN_ONLY);
    ASSERT_EQ(huffman[0] & 7, 5);
    for (size_t cut = 0; cut < huffman.size(); ++cut) {
        Bytes truncated(huffman.begin(), huffman.begin() + cut);
        EXPECT_FALSE(RunDecoder(Decoder::Inflate, truncated).succeeded) << "Z_HUFFMAN_ONLY cut at " << cut;
    }
}

TEST(InflateEndOfInput, EndlessOnesAfterTheEndEndDecoding)
{
    // After its header this fixed block has no bits: the 1 bits that follow the
    // end are literal 255 for ever unless decoding stops. The same for a dynamic
    // block whose all-ones pattern is a length.
    DecodeResult fixed = RunDecoder(Decoder::Inflate, FromHex("03"));
    EXPECT_FALSE(fixed.succeeded);
    EXPECT_LE(fixed.output.size(), 8u);

    std::vector<uint32_t> literalLengths = Lengths(258, 0);
    literalLengths['a'] = 1;
    literalLengths[256] = literalLengths[257] = 2;
    DeflateWriter writer;
    DynamicHeader(writer, true, literalLengths, {1});
    writer.Code(0, 1);  // 'a', then nothing: 11... is length 3 at distance 1
    Bytes stream = writer.Finish();
    DecodeResult dynamic = RunDecoder(Decoder::Inflate, stream);
    EXPECT_FALSE(dynamic.succeeded);
    EXPECT_LE(dynamic.output.size(), 64u);
}

// The fast symbol loop (64-bit builds) against the careful loop alone, on
// whole, cut and bit-flipped streams: the same verdict, the same bytes written
// (a failing member's too) and, on success, the same bits consumed. Whole
// streams also decode as zlib decodes them. Flips make distances that reach
// before the first byte and round the window's end.
TEST(InflateLoops, FastAndCarefulLoopsAgreeOnWholeAndDamagedStreams)
{
    if (!InflateHasFastLoop)
        GTEST_SKIP() << "one symbol loop only";
    struct Outcome {
        DecodeResult result;
        uint64_t bitsLeft;  // member bits not consumed, on success (bits of 1 past its end not counted)
    };
    auto decode = [](const Bytes& stream, bool fast) {
        FastLoopEnabled = fast;
        Outcome outcome{RunDecoder(Decoder::Inflate, stream), 0};
        outcome.bitsLeft = static_cast<uint64_t>(InputRemaining) * 8 + BitCount - InputOverrunBits;
        FastLoopEnabled = InflateHasFastLoop;
        return outcome;
    };
    std::mt19937 random(12);
    const Bytes datas[] = {TextData(70000), BinaryData(70000), RunData(40000), RandomBytes(300, 5)};
    for (const Bytes& data : datas) {
        for (int variant : {1, 6, 9, 10, 11, 12}) {
            Bytes stream = DeflateWithZlib(data, Variants[variant].level, Variants[variant].strategy);
            for (int damage = 0; damage < 41; ++damage) {
                SCOPED_TRACE(std::to_string(data.size()) + " bytes, " + Variants[variant].name + ", damage " +
                             std::to_string(damage));
                Bytes damaged = stream;
                if (damage > 0 && damage <= 20)
                    damaged.resize(random() % stream.size());
                else if (damage > 20)
                    for (int flips = 1 + damage % 3; flips > 0; --flips)
                        damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
                Outcome fast = decode(damaged, true);
                Outcome careful = decode(damaged, false);
                ASSERT_EQ(fast.result.succeeded, careful.result.succeeded);
                ASSERT_TRUE(fast.result.output == careful.result.output);
                EXPECT_EQ(fast.result.outputCrc, careful.result.outputCrc);
                if (careful.result.succeeded)
                    EXPECT_EQ(fast.bitsLeft, careful.bitsLeft);
                if (damage == 0)
                    EXPECT_TRUE(fast.result.succeeded && fast.result.output == data);
            }
        }
    }
}

TEST(InflateWindow, FlushesInWritesOfExactly32768)
{
    struct Case {
        uint32_t size;
        std::vector<uint32_t> writes;
    };
    for (const Case& c : {Case{40000, {32768, 7232}}, Case{32768, {32768}}, Case{32769, {32768, 1}},
                          Case{65535, {32768, 32767}}, Case{1, {1}}, Case{0, {}}}) {
        Bytes data = RandomBytes(c.size, 1);
        DeflateWriter writer;
        writer.StoredBlock(true, data);
        DecodeResult result = RunDecoder(Decoder::Inflate, writer.Finish());
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(result.writes, c.writes) << c.size << " bytes";
        EXPECT_TRUE(result.output == data);
    }
}

TEST(InflateInput, ReadsThePieceSizesAndNothingAfterTheMember)
{
    // A stored block of 32,763 bytes behind its 5-byte header: exactly 32,768.
    Bytes exact = FromHex("01 fb 7f 04 80");
    Bytes body = RandomBytes(32763, 9);
    exact.insert(exact.end(), body.begin(), body.end());
    DecodeResult one = RunDecoder(Decoder::Inflate, exact);
    EXPECT_TRUE(one.succeeded);
    EXPECT_EQ(one.reads, std::vector<uint32_t>{32768});
    EXPECT_EQ(one.consumed, 32768);

    // 40,000 bytes of member data: reads of 32,768 and 7,232.
    Bytes data = RandomBytes(39990, 4);
    DeflateWriter writer;
    writer.StoredBlock(true, data);
    Bytes stream = writer.Finish();
    ASSERT_EQ(stream.size(), 39995u);
    stream.insert(stream.end(), 5, 0);  // the member's data runs on past the stream
    DecodeResult two = RunDecoder(Decoder::Inflate, stream);
    EXPECT_TRUE(two.succeeded);
    EXPECT_EQ(two.reads, (std::vector<uint32_t>{32768, 7232}));
    EXPECT_EQ(two.consumed, 40000);
}

TEST(InflateOutput, AShortWriteFailsTheMember)
{
    Bytes stream = DeflateWithZlib(TextData(100000), 6);
    DecodeSetup full;
    full.outputPath = "/dev/full";  // writes nothing
    DecodeResult nothing = RunDecoder(Decoder::Inflate, stream, full);
    EXPECT_FALSE(nothing.succeeded);
    EXPECT_EQ(nothing.writes.size(), 1u);  // decoding stops at the write that fell short
    DecodeSetup limited;
    limited.fileSizeLimit = 99000;  // the last flush, of 1,696 bytes, is cut
    DecodeResult part = RunDecoder(Decoder::Inflate, stream, limited);
    EXPECT_FALSE(part.succeeded);
    EXPECT_EQ(part.output.size(), 99000u);
}

// Each row: a code's lengths and its verdict by the sum of 2^-length over its
// codes (above 1: oversubscribed; below 1: incomplete).
struct CodeCase {
    const char* behaviour;
    std::vector<uint16_t> lengths;
    BuildResult verdict;
};
std::vector<uint16_t> Repeated(uint16_t length, uint32_t count, std::vector<uint16_t> then = {})
{
    std::vector<uint16_t> lengths(count, length);
    lengths.insert(lengths.end(), then.begin(), then.end());
    return lengths;
}
const std::vector<uint16_t> FifteenLevels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const CodeCase CodeVerdicts[] = {
    {"three 1-bit codes", {1, 1, 1}, BuildOversubscribed},
    {"three of four 2-bit patterns", {2, 2, 2}, BuildIncomplete},
    {"a single 2-bit code", {0, 2}, BuildIncomplete},
    {"a single 1-bit code counts as complete", {0, 1, 0}, BuildComplete},
    {"no code at all counts as complete", {0, 0, 0}, BuildComplete},
    {"complete through sub-tables", {1, 2, 3, 4, 5, 6, 7, 7}, BuildComplete},
    {"the fixed literal/length code", Repeated(8, 144, Repeated(9, 112, Repeated(7, 24, Repeated(8, 8)))),
     BuildComplete},
    {"the fixed distance code, 30 of 32", Repeated(5, 30), BuildIncomplete},
    {"complete down to 15 bits", Repeated(15, 1, FifteenLevels), BuildComplete},
    {"one 15-bit pattern short", FifteenLevels, BuildIncomplete},
    {"one 15-bit pattern over", Repeated(15, 2, FifteenLevels), BuildOversubscribed},
};

TEST(HuffmanTables, BothBuildersGiveTheVerdictOfTheCode)
{
    for (const CodeCase& c : CodeVerdicts) {
        SCOPED_TRACE(c.behaviour);
        const uint32_t n = static_cast<uint32_t>(c.lengths.size());
        HuffmanEntry* root = nullptr;
        HuffmanEntry* chain = nullptr;
        uint32_t rootBits = 7;
        EXPECT_EQ(BuildHuffmanTable(c.lengths.data(), n, n, nullptr, nullptr, root, chain, rootBits), c.verdict);
        FreeHuffmanTables(chain);
        const uint32_t fastBits = 8;  // the smallest root a fast table may have
        std::vector<uint32_t> fast((1u << fastBits) + n * (1u << (MaxCodeLength - fastBits)));
        EXPECT_EQ(BuildFastTable(c.lengths.data(), n, n, nullptr, nullptr, fastBits, fast.data()), c.verdict);
    }
}

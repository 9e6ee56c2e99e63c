#include "tests/support/DeflateWriter.h"

#include <stdexcept>

// RFC 1951, 3.2.5.
static const uint32_t LengthBases[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const uint32_t LengthExtras[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const uint32_t DistanceBases[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                           33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const uint32_t DistanceExtras[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void DeflateWriter::Bits(uint32_t value, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        pending |= ((value >> i) & 1) << pendingBits;
        if (++pendingBits == 8) {
            bytes.push_back(static_cast<uint8_t>(pending));
            pending = 0;
            pendingBits = 0;
        }
    }
}

void DeflateWriter::Code(uint32_t code, uint32_t length)
{
    for (uint32_t i = length; i-- > 0;)
        Bits((code >> i) & 1, 1);
}

void DeflateWriter::AlignToByte()
{
    if (pendingBits)
        Bits(0, 8 - pendingBits);
}

void DeflateWriter::FixedLiteral(uint32_t symbol)
{
    if (symbol < 144)
        Code(0x30 + symbol, 8);
    else if (symbol < 256)
        Code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        Code(symbol - 256, 7);
    else
        Code(0xC0 + symbol - 280, 8);
}

void DeflateWriter::FixedDistance(uint32_t symbol)
{
    Code(symbol, 5);
}

void DeflateWriter::FixedMatch(uint32_t length, uint32_t distance)
{
    uint32_t symbol, extra, extraBits;
    LengthSymbol(length, symbol, extra, extraBits);
    FixedLiteral(symbol);
    Bits(extra, extraBits);
    DistanceSymbol(distance, symbol, extra, extraBits);
    FixedDistance(symbol);
    Bits(extra, extraBits);
}

void DeflateWriter::StoredBlock(bool last, const Bytes& data)
{
    Bits(last ? 1 : 0, 1);
    Bits(0, 2);
    AlignToByte();
    Bits(static_cast<uint32_t>(data.size()), 16);
    Bits(static_cast<uint32_t>(data.size()) ^ 0xFFFF, 16);
    for (uint8_t byte : data)
        Bits(byte, 8);
}

Bytes DeflateWriter::Finish()
{
    Bytes result = bytes;
    if (pendingBits)
        result.push_back(static_cast<uint8_t>(pending));
    return result;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint32_t>& lengths)
{
    uint32_t count[17] = {};
    for (uint32_t length : lengths)
        ++count[length];
    count[0] = 0;
    uint32_t next[17] = {};
    uint32_t code = 0;
    for (uint32_t bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i])
            codes[i] = next[lengths[i]]++;
    return codes;
}

void DynamicHeaderAsSent(DeflateWriter& writer, bool last, uint32_t literalCount, uint32_t distanceCount,
                         const std::vector<uint32_t>& codeLengthLengths,
                         const std::vector<CodeLengthSymbol>& symbols)
{
    writer.Bits(last ? 1 : 0, 1);
    writer.Bits(2, 2);
    writer.Bits(literalCount - 257, 5);
    writer.Bits(distanceCount - 1, 5);
    writer.Bits(19 - 4, 4);
    static const uint32_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint32_t symbol : order)
        writer.Bits(codeLengthLengths[symbol], 3);
    std::vector<uint32_t> codes = CanonicalCodes(codeLengthLengths);
    for (const CodeLengthSymbol& sent : symbols) {
        writer.Code(codes[sent.symbol], codeLengthLengths[sent.symbol]);
        if (sent.symbol >= 16)
            writer.Bits(sent.extra, sent.symbol == 16 ? 2 : sent.symbol == 17 ? 3 : 7);
    }
}

void DynamicHeader(DeflateWriter& writer, bool last, const std::vector<uint32_t>& literalLengths,
                   const std::vector<uint32_t>& distanceLengths)
{
    // Symbols 0..15 all have 4-bit codes.
    std::vector<uint32_t> codeLengthLengths(19, 0);
    for (uint32_t symbol = 0; symbol < 16; ++symbol)
        codeLengthLengths[symbol] = 4;
    std::vector<CodeLengthSymbol> symbols;
    for (uint32_t length : literalLengths)
        symbols.push_back({length, 0});
    for (uint32_t length : distanceLengths)
        symbols.push_back({length, 0});
    DynamicHeaderAsSent(writer, last, static_cast<uint32_t>(literalLengths.size()),
                        static_cast<uint32_t>(distanceLengths.size()), codeLengthLengths, symbols);
}

void LengthSymbol(uint32_t length, uint32_t& symbol, uint32_t& extra, uint32_t& extraBits)
{
    for (uint32_t i = 29; i-- > 0;) {
        if (length >= LengthBases[i]) {
            symbol = 257 + i;
            extra = length - LengthBases[i];
            extraBits = LengthExtras[i];
            return;
        }
    }
    throw std::invalid_argument("length below 3");
}

void DistanceSymbol(uint32_t distance, uint32_t& symbol, uint32_t& extra, uint32_t& extraBits)
{
    for (uint32_t i = 30; i-- > 0;) {
        if (distance >= DistanceBases[i]) {
            symbol = i;
            extra = distance - DistanceBases[i];
            extraBits = DistanceExtras[i];
            return;
        }
    }
    throw std::invalid_argument("distance 0");
}

#pragma once
#include <cstdint>
#include <vector>

#include "tests/support/TestFiles.h"

// Writes deflate streams bit by bit, for streams that no encoder emits.
class DeflateWriter {
public:
    // A value of `count` bits, least significant bit first (header fields, extra bits).
    void Bits(uint32_t value, uint32_t count);
    // A Huffman code of `length` bits, most significant bit first.
    void Code(uint32_t code, uint32_t length);
    void AlignToByte();
    // Fixed-code symbols.
    void FixedLiteral(uint32_t symbol);   // 0..287
    void FixedDistance(uint32_t symbol);  // 0..31
    // A fixed-code match: length 3..258, distance 1..32,768.
    void FixedMatch(uint32_t length, uint32_t distance);
    // Stored block: header, alignment, LEN and NLEN, the bytes.
    void StoredBlock(bool last, const Bytes& bytes);
    Bytes Finish();

private:
    Bytes bytes;
    uint32_t pending = 0;
    uint32_t pendingBits = 0;
};

// Canonical code of each symbol (0 for length 0), most significant bit first.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint32_t>& lengths);

// The header of a dynamic block as sent: HLIT + 257 literal/length and HDIST + 1
// distance lengths, the 19 code-length code lengths (in symbol order), then the
// code-length symbols, each with its extra bits (2, 3 or 7 for 16, 17, 18).
struct CodeLengthSymbol {
    uint32_t symbol;
    uint32_t extra;
};
void DynamicHeaderAsSent(DeflateWriter& writer, bool last, uint32_t literalCount, uint32_t distanceCount,
                         const std::vector<uint32_t>& codeLengthLengths,
                         const std::vector<CodeLengthSymbol>& symbols);

// The header of a dynamic block whose code-length code gives every length 0..15
// a 4-bit code and sends each length plainly.
void DynamicHeader(DeflateWriter& writer, bool last, const std::vector<uint32_t>& literalLengths,
                   const std::vector<uint32_t>& distanceLengths);

// Base and extra-bit count of the length symbol (257..285) for a length, and of
// the distance symbol for a distance.
void LengthSymbol(uint32_t length, uint32_t& symbol, uint32_t& extra, uint32_t& extraBits);
void DistanceSymbol(uint32_t distance, uint32_t& symbol, uint32_t& extra, uint32_t& extraBits);

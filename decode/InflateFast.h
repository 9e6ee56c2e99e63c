#pragma once
#include <cstdint>

#include "decode/HuffmanTable.h"
#include "decode/InputReader.h"
#include "decode/OutputWindow.h"

// The second symbol loop of the inflate decoder, for 64-bit builds (the host's
// mksfx, tests and benchmarks; never the stub, whose bit buffer is 32 bits and
// which keeps the careful loop alone, on the multi-level tables). The careful
// loop hands it the work while the input piece and the output window both have
// room for a whole symbol with every word-wide load and store it makes; near
// either end the careful loop goes on itself, reading the same fast tables.
// Both loops give the same bytes and the same verdict on every stream.
constexpr bool InflateHasFastLoop = WindowHasShadow;  // it reads the history behind the window there

// Whether the decoder hands symbols to the fast loop at all (on 64-bit builds
// until cleared): comparing a member decoded with and without it is how tests
// and fuzzers prove the two loops equal.
extern bool FastLoopEnabled;

// A fast table is one array of 32-bit entries: a root indexed by the stream's
// next rootBits bits, then sub-tables of (longest code - rootBits) bits each.
//   bits 0..7    bits the entry consumes: its code, plus the extra bits of a
//                length or distance; the root's bits for a sub-table link
//   bits 8..11   bits of the code itself; the sub-table's bits for a link
//   bits 12..15  the flags below
//   bits 16..31  the literal, the base length or distance, or the sub-table's
//                first index
// An entry with FastExceptional and no other flag is an invalid code.
constexpr uint32_t FastSubTable = 1u << 12;
constexpr uint32_t FastEndOfBlock = 1u << 13;
constexpr uint32_t FastExceptional = 1u << 14;  // end of block, sub-table link, invalid code
constexpr uint32_t FastLiteral = 1u << 15;

constexpr uint32_t FastLiteralBits = 11;
constexpr uint32_t FastDistanceBits = 8;
// Room for every code: at most one sub-table per symbol longer than the root,
// each of at most 2^(15 - rootBits) entries.
constexpr uint32_t FastLiteralEntries = (1u << FastLiteralBits) + 288 * (1u << (15 - FastLiteralBits));
constexpr uint32_t FastDistanceEntries = (1u << FastDistanceBits) + 32 * (1u << (15 - FastDistanceBits));

struct FastCodeTables {
    uint32_t literal[FastLiteralEntries];
    uint32_t distance[FastDistanceEntries];
};

// Fills a fast table for a code of at most 15-bit lengths, with the same
// meaning of `lengths`, `n`, `simple`, `base` and `extra` as BuildHuffmanTable
// and the same verdict on the code, so that a block decoded with fast tables
// alone is accepted or refused exactly as with the multi-level ones: patterns
// the code leaves unused, and symbols whose extra count is 99, are invalid
// codes; an oversubscribed code fills nothing.
BuildResult BuildFastTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                           const uint8_t* extra, uint32_t rootBits, uint32_t* table);

// The tables of the block being decoded, for both loops; null when the block
// is decoded with the multi-level tables (always so in the stub, and with the
// fast loop turned off).
extern const FastCodeTables* BlockFastTables;
extern FastCodeTables DynamicFastTables;  // a dynamic block's, rebuilt for each
extern FastCodeTables FixedFastTables;    // the fixed codes', built at the first fixed block
extern bool FixedFastTablesBuilt;

// Decodes symbols from BitBuffer, BitCount, InputPos and WindowPos (which it
// updates) with BlockFastTables while the margins hold: 0 once the end-of-block
// code is decoded, 1 on an invalid code, -1 when the input piece or the window
// has come too near its end (the careful loop then decodes the next symbol).
// Only called when InputOverrunBits is 0. Its word-wide copies may write
// scratch bytes just after the output; it puts the history there back from the
// window's shadow before it returns.
int InflateFastCodes();
// True while InflateFastCodes may take the next symbol: the input piece holds
// FastInputMargin more bytes, the window FastOutputMargin more positions.
constexpr uint32_t FastInputMargin = 32;
constexpr uint32_t FastOutputMargin = 2 + 258 + 40;

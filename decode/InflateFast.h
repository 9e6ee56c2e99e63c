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

constexpr uint32_t FastLiteralBits = 11;
constexpr uint32_t FastDistanceBits = 8;
// Room for every code: at most one sub-table per symbol longer than the root,
// each of at most 2^(MaxCodeLength - rootBits) entries.
constexpr uint32_t FastLiteralEntries = (1u << FastLiteralBits) + 288 * (1u << (MaxCodeLength - FastLiteralBits));
constexpr uint32_t FastDistanceEntries =
    (1u << FastDistanceBits) + 32 * (1u << (MaxCodeLength - FastDistanceBits));
static_assert(MaxCodeLength - FastDistanceBits <= FastMaxCodeBits, "a sub-table's bits fit the entry's code bits");
static_assert(FastLiteralEntries <= FastMaxValue + 1 && FastDistanceEntries <= FastMaxValue + 1,
              "sub-table indexes fit the entry's value");

struct FastCodeTables {
    uint32_t literal[FastLiteralEntries];
    uint32_t distance[FastDistanceEntries];
};

// The tables of the block being decoded, for both loops; null when the block
// is decoded with the multi-level tables (always so in the stub, and with the
// fast loop turned off).
extern const FastCodeTables* BlockFastTables;
extern FastCodeTables DynamicFastTables;  // a dynamic block's, rebuilt for each
extern FastCodeTables FixedFastTables;    // the fixed codes', built at the first fixed block
extern bool FixedFastTablesBuilt;

// The decoding state that the careful loop hands to the fast loop and takes
// back, each keeping it in its own locals meanwhile: the bit buffer and the
// read and write positions, as BitBuffer, BitCount, InputPos and WindowPos
// hold them between blocks.
struct SymbolLoopState {
    BitWord bits;
    uint32_t count;
    uint32_t inPos;   // in InputBuffer
    uint32_t outPos;  // in the window
};

// Decodes symbols on `state` with BlockFastTables while the margins hold: 0
// once the end-of-block code is decoded, 1 on an invalid code, -1 when the
// input piece or the window has come too near its end (the careful loop then
// decodes the next symbol). Only called when InputOverrunBits is 0. Its
// word-wide copies may write scratch bytes just after the output; it puts the
// history there back from the window's shadow before it returns.
int InflateFastCodes(SymbolLoopState& state);

// The margins within which the fast loop may take the next symbol: the input
// piece holds FastInputMargin more bytes, the window FastOutputMargin more
// positions. A pass of the loop writes at most three literals, or two and a
// match, and a copy may write up to FastCopyOverrun bytes past its run's end
// (InflateFast.cpp checks each bound).
constexpr uint32_t MaxMatchLength = 258;
constexpr uint32_t FastLiteralsBeforeMatch = 2;
constexpr uint32_t FastCopyOverrun = 40;
constexpr uint32_t FastInputMargin = 32;
constexpr uint32_t FastOutputMargin = FastLiteralsBeforeMatch + MaxMatchLength + FastCopyOverrun;

#pragma once
#include <cstdint>

#include "decode/HuffmanTable.h"

// Decodes the current deflated member (RFC 1951) from ArchiveFile into
// OutputFile through the input reader and the output window. Returns true when
// the member decoded completely: every block ended normally up to the block
// with the last-block flag, and every write took all its bytes. Any failure (an
// invalid code, a bad stored length, type 3, a code that cannot be built, the
// input ending first, even inside the last end-of-block code) returns false.
bool Inflate();

// The parts of Inflate, each on the globals of the input reader and the output
// window. Each returns 0 on success and nonzero on failure.
int InflateBlock(bool& lastBlock);  // one block header and its body
int InflateStored();
int InflateFixed();
int InflateDynamic();
// Decodes symbols with the multi-level tables up to the end-of-block code: 0
// when it was decoded, 1 on an invalid code or once the input has ended.
int InflateCodes(const HuffmanEntry* literalTable, const HuffmanEntry* distanceTable, uint32_t literalBits,
                 uint32_t distanceBits);

// The tables of the fixed codes: built at a member's first fixed-code block,
// reused by its later ones, released when its decoding ends.
extern HuffmanEntry* FixedLiteralTable;
extern HuffmanEntry* FixedDistanceTable;
extern uint32_t FixedLiteralBits;   // 7 once built
extern uint32_t FixedDistanceBits;  // 5 once built
bool BuildFixedTables();            // false (and nothing kept) when a build fails
void ReleaseFixedTables();

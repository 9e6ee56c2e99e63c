#pragma once
#include <cstdint>

// Multi-level lookup tables for the Huffman codes of deflate. A table of j bits
// is a block of 2^j + 1 slots: slot 0 is a header whose link chains the tables
// of one build, slots 1..2^j are indexed by the stream's next j bits (least
// significant bit first). A table is always referred to by its first slot
// proper, so its header is the slot just before it.
struct HuffmanEntry {
    // 0..13: a length or distance base with this many extra bits; 15: end of
    // block; 16: a literal; 17..32: link to a sub-table of (operation - 16)
    // bits; 99: invalid code.
    uint8_t operation;
    uint8_t bits;     // bits this slot consumes; for a link, the bits of the table holding it
    uint16_t value;   // the literal, 256, or the base length or distance
    HuffmanEntry* link;  // sub-table of a link slot; next table of the chain in a header
};

constexpr uint8_t OperationEndOfBlock = 15;
constexpr uint8_t OperationLiteral = 16;
constexpr uint8_t OperationInvalid = 99;

enum BuildResult {
    BuildComplete = 0,        // also an incomplete code whose longest code has 1 bit
    BuildIncomplete = 1,      // tables built, spare patterns decode as invalid codes
    BuildOversubscribed = 2,  // nothing built
    BuildOutOfMemory = 3,     // the tables built so far are released
};

constexpr uint32_t MaxCodeLength = 16;

// Builds the tables of the code given by `lengths` (0..16, one per symbol, at
// most 288 symbols). Symbols below `simple` decode to themselves (256 as end of
// block); symbol v >= simple takes base[v - simple] and extra[v - simple], so
// those lists must cover every symbol up to n. Every table allocated is pushed
// onto the front of `chain`. `rootBits` is the requested root size on entry and
// the size used on return. A code without any symbol yields a shared one-slot
// table (root size 0) whose slot is an invalid code.
BuildResult BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                              const uint8_t* extra, HuffmanEntry*& root, HuffmanEntry*& chain,
                              uint32_t& rootBits);

// Releases every table of a chain; an empty chain releases nothing.
void FreeHuffmanTables(HuffmanEntry* chain);

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
    uint8_t bits;        // bits this slot consumes; for a link, the bits of the table holding it
    uint16_t value;      // the literal, 256, or the base length or distance
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

constexpr uint32_t MaxCodeLength = 15;  // deflate's longest code, in bits

// Builds the tables of the code given by `lengths` (0..15, one per symbol, at
// most 288 symbols). Symbols below `simple` decode to themselves (256 as end of
// block); symbol v >= simple takes base[v - simple] and extra[v - simple], so
// those lists must cover every symbol up to n. Every table allocated is pushed
// onto the front of `chain`. `rootBits` is the requested root size on entry and
// the size used on return. A code without any symbol yields a shared one-slot
// table (root size 0) whose slot is an invalid code.
BuildResult BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                              const uint8_t* extra, HuffmanEntry*& root, HuffmanEntry*& chain, uint32_t& rootBits);

// Releases every table of a chain; an empty chain releases nothing.
void FreeHuffmanTables(HuffmanEntry* chain);

// The fast tables of 64-bit builds: no links to follow but at most one, and an
// entry that says at once how many bits it consumes. A fast table is one array
// of 32-bit entries: a root indexed by the stream's next rootBits bits, then
// sub-tables of (longest code - rootBits) bits each.
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
constexpr uint32_t FastMaxCodeBits = 0xF;
constexpr uint32_t FastMaxValue = 0xFFFF;

constexpr uint32_t FastEntry(uint32_t flags, uint32_t value, uint32_t codeBits, uint32_t consumedBits)
{
    return value << 16 | flags | codeBits << 8 | consumedBits;
}
constexpr uint32_t FastEntryConsumedBits(uint32_t entry)
{
    return entry & 0xFF;
}
constexpr uint32_t FastEntryCodeBits(uint32_t entry)
{
    return entry >> 8 & FastMaxCodeBits;
}
constexpr uint32_t FastEntryValue(uint32_t entry)
{
    return entry >> 16;
}

// Fills a fast table with the same meaning of `lengths`, `n`, `simple`, `base`
// and `extra` as BuildHuffmanTable and, by the same first steps, the same
// verdict on the code, so that a block decoded with fast tables alone is
// accepted or refused exactly as with the multi-level ones: patterns the code
// leaves unused, and symbols whose extra count is 99, are invalid codes; an
// oversubscribed code fills nothing. rootBits is 8 or more; `table` holds
// 2^rootBits entries and one sub-table of 2^(MaxCodeLength - rootBits) per symbol.
BuildResult BuildFastTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                           const uint8_t* extra, uint32_t rootBits, uint32_t* table);

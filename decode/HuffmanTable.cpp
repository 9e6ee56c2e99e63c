#include "decode/HuffmanTable.h"

#include "fileio/Memory.h"

// The root of a code without any symbol: one slot, read with 0 bits, that is
// an invalid code. Decoding with it fails at once instead of reading nowhere.
// Read-only: only ever read through `root`.
static const HuffmanEntry NoCodeTable[2] = {{0, 0, 0, nullptr}, {OperationInvalid, 0, 0, nullptr}};

BuildResult BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                              const uint8_t* extra, HuffmanEntry*& root, HuffmanEntry*& chain,
                              uint32_t& rootBits)
{
    uint32_t count[MaxCodeLength + 1] = {};
    for (uint32_t i = 0; i < n; ++i)
        ++count[lengths[i]];
    root = const_cast<HuffmanEntry*>(NoCodeTable + 1);
    if (count[0] == n) {
        rootBits = 0;
        return BuildComplete;
    }
    uint32_t shortest = 1;
    while (!count[shortest])
        ++shortest;
    uint32_t longest = MaxCodeLength;
    while (!count[longest])
        --longest;
    uint32_t limitBits = rootBits < shortest ? shortest : rootBits;
    if (limitBits > longest)
        limitBits = longest;

    // Patterns left unused at the longest length; negative means oversubscribed.
    int32_t spare = 1 << shortest;
    for (uint32_t length = shortest; length < longest; ++length) {
        spare -= static_cast<int32_t>(count[length]);
        if (spare < 0)
            return BuildOversubscribed;
        spare <<= 1;
    }
    spare -= static_cast<int32_t>(count[longest]);
    if (spare < 0)
        return BuildOversubscribed;
    uint32_t symbolCount = n - count[0];
    count[longest] += static_cast<uint32_t>(spare);  // filler codes, decoded as invalid

    // The symbols in canonical order: by length, then by symbol.
    uint16_t symbols[288];
    uint32_t offset[MaxCodeLength + 2];
    offset[1] = 0;
    for (uint32_t length = 1; length <= MaxCodeLength; ++length)
        offset[length + 1] = offset[length] + count[length];
    for (uint32_t i = 0; i < n; ++i)
        if (lengths[i])
            symbols[offset[lengths[i]]++] = static_cast<uint16_t>(i);

    // The end-of-block code ends exactly at a table's end, so decoding it never
    // needs bits beyond it.
    uint32_t endOfBlockLength = n > 256 ? lengths[256] : 16;
    HuffmanEntry* firstOld = chain;
    HuffmanEntry* tables[MaxCodeLength];
    uint32_t sizes[MaxCodeLength];
    uint32_t prefixes[MaxCodeLength];
    int32_t level = -1;
    uint32_t resolved = 0;  // code bits taken by the tables above the current level
    uint32_t code = 0;      // the current code, bit-reversed: table indexes come first bit first
    uint32_t next = 0;
    HuffmanEntry* first = nullptr;
    for (uint32_t length = shortest; length <= longest; ++length) {
        for (uint32_t left = count[length]; left-- > 0;) {
            while (level < 0 || length > resolved + sizes[level]) {
                if (level >= 0)
                    resolved += sizes[level];
                ++level;
                uint32_t limit = longest - resolved < limitBits ? longest - resolved : limitBits;
                uint32_t bits = length - resolved;
                uint32_t patterns = 1u << bits;
                if (patterns > left + 1) {
                    // Too few codes of this length to fill the table: grow it while
                    // the longer codes use up the doubled patterns.
                    patterns -= left + 1;
                    const uint32_t* longer = count + length;
                    if (bits < limit) {
                        while (++bits < limit) {
                            patterns <<= 1;
                            if (patterns <= *++longer)
                                break;
                            patterns -= *longer;
                        }
                    }
                }
                if (resolved + bits > endOfBlockLength && resolved < endOfBlockLength)
                    bits = endOfBlockLength - resolved;
                HuffmanEntry* table =
                    static_cast<HuffmanEntry*>(AllocateBlock(((1u << bits) + 1) * sizeof(HuffmanEntry)));
                if (!table) {
                    while (chain != firstOld) {
                        HuffmanEntry* older = chain[-1].link;
                        ReleaseBlock(chain - 1);
                        chain = older;
                    }
                    return BuildOutOfMemory;
                }
                table->link = chain;
                chain = ++table;
                if (!first)
                    first = table;
                tables[level] = table;
                sizes[level] = bits;
                prefixes[level] = code;
                if (level > 0) {
                    uint32_t above = sizes[level - 1];
                    HuffmanEntry& slot = tables[level - 1][(code & ((1u << resolved) - 1)) >> (resolved - above)];
                    slot.operation = static_cast<uint8_t>(16 + bits);
                    slot.bits = static_cast<uint8_t>(above);
                    slot.value = 0;
                    slot.link = table;
                }
            }

            HuffmanEntry slot;
            slot.bits = static_cast<uint8_t>(length - resolved);
            slot.operation = OperationInvalid;
            slot.value = 0;
            slot.link = nullptr;
            if (next < symbolCount) {
                uint32_t symbol = symbols[next++];
                if (symbol < simple) {
                    slot.operation = symbol < 256 ? OperationLiteral : OperationEndOfBlock;
                    slot.value = static_cast<uint16_t>(symbol);
                } else {
                    slot.operation = extra[symbol - simple];
                    slot.value = base[symbol - simple];
                }
            }
            uint32_t end = 1u << sizes[level];
            for (uint32_t index = code >> resolved; index < end; index += 1u << (length - resolved))
                tables[level][index] = slot;

            uint32_t bit = 1u << (length - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;
            while ((code & ((1u << resolved) - 1)) != prefixes[level]) {
                --level;
                resolved -= sizes[level];
            }
        }
    }
    root = first;
    rootBits = sizes[0];
    return spare != 0 && longest != 1 ? BuildIncomplete : BuildComplete;
}

void FreeHuffmanTables(HuffmanEntry* chain)
{
    while (chain) {
        HuffmanEntry* older = chain[-1].link;
        ReleaseBlock(chain - 1);
        chain = older;
    }
}

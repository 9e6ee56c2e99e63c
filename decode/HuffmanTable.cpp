#include "decode/HuffmanTable.h"

#include "fileio/Memory.h"

#include <cstring>

// The root of a code without any symbol: one slot, read with 0 bits, that is
// an invalid code. Decoding with it fails at once instead of reading nowhere.
// Read-only: only ever read through `root`.
static const HuffmanEntry NoCodeTable[2] = {{0, 0, 0, nullptr}, {OperationInvalid, 0, 0, nullptr}};

// What both builders first learn of a code.
struct SortedCode {
    uint32_t count[MaxCodeLength + 1];  // symbols of each length; count[0] have no code
    uint16_t symbols[288];              // those with a code, by length, then by symbol
    uint32_t symbolCount;
    uint32_t shortest;  // the lengths of the shortest and the longest code, 0 without any
    uint32_t longest;
    uint32_t spare;  // patterns of `longest` bits that no code uses
};

// The first half of both builders: counts the lengths and, unless the code is
// oversubscribed (false), sorts its symbols into canonical order. Inlined into
// each builder, so that the stub carries it once.
__attribute__((always_inline)) static inline bool SortCode(const uint16_t* lengths, uint32_t n, SortedCode& code)
{
    uint32_t* const count = code.count;
    std::memset(count, 0, sizeof code.count);
    for (uint32_t i = 0; i < n; ++i)
        ++count[lengths[i]];
    code.symbolCount = n - count[0];
    if (!code.symbolCount) {
        code.shortest = code.longest = 0;
        code.spare = 1;
        return true;
    }
    uint32_t shortest = 1;
    while (!count[shortest])
        ++shortest;
    uint32_t longest = MaxCodeLength;
    while (!count[longest])
        --longest;
    code.shortest = shortest;
    code.longest = longest;

    // Patterns left unused at each length in turn; negative means oversubscribed.
    int32_t spare = 1 << shortest;
    for (uint32_t length = shortest; length < longest; ++length) {
        spare -= static_cast<int32_t>(count[length]);
        if (spare < 0)
            return false;
        spare <<= 1;
    }
    spare -= static_cast<int32_t>(count[longest]);
    if (spare < 0)
        return false;
    code.spare = static_cast<uint32_t>(spare);

    uint32_t offset[MaxCodeLength + 2];  // the next place of each length in `symbols`
    offset[1] = 0;
    for (uint32_t length = 1; length <= MaxCodeLength; ++length)
        offset[length + 1] = offset[length] + count[length];
    for (uint32_t i = 0; i < n; ++i)
        if (lengths[i])
            code.symbols[offset[lengths[i]]++] = static_cast<uint16_t>(i);
    return true;
}

// The verdict of both builders on a code that is not oversubscribed. A code
// without any symbol, or of a single 1-bit code, counts as complete: its spare
// patterns decode as invalid codes.
static inline BuildResult Verdict(const SortedCode& code)
{
    return code.spare != 0 && code.longest > 1 ? BuildIncomplete : BuildComplete;
}

BuildResult BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                              const uint8_t* extra, HuffmanEntry*& root, HuffmanEntry*& chain, uint32_t& rootBits)
{
    SortedCode sorted;
    root = const_cast<HuffmanEntry*>(NoCodeTable + 1);
    if (!SortCode(lengths, n, sorted))
        return BuildOversubscribed;
    if (!sorted.symbolCount) {
        rootBits = 0;
        return BuildComplete;
    }
    uint32_t* const count = sorted.count;
    const uint32_t shortest = sorted.shortest;
    const uint32_t longest = sorted.longest;
    const uint32_t symbolCount = sorted.symbolCount;
    uint32_t limitBits = rootBits < shortest ? shortest : rootBits;  // the largest table wanted
    if (limitBits > longest)
        limitBits = longest;
    count[longest] += sorted.spare;  // filler codes, decoded as invalid

    // The end-of-block code ends exactly at a table's end, so decoding it never
    // needs bits beyond it.
    uint32_t endOfBlockLength = n > 256 ? lengths[256] : MaxCodeLength + 1;
    HuffmanEntry* firstOld = chain;  // the chain as given, kept when memory runs out
    // The tables from the root down to the one the current code goes into:
    HuffmanEntry* tables[MaxCodeLength];  // the table open at each level
    uint32_t sizes[MaxCodeLength];        // its index bits
    uint32_t prefixes[MaxCodeLength];     // the code bits that lead to it from the root
    int32_t level = -1;                   // the current level; -1 before the root is made
    uint32_t resolved = 0;                // code bits taken by the tables above the current level
    uint32_t code = 0;                    // the current code, bit-reversed: table indexes come first bit first
    uint32_t next = 0;                    // the next symbol to place; past the last, filler codes
    HuffmanEntry* first = nullptr;        // the root, once made
    for (uint32_t length = shortest; length <= longest; ++length) {
        // `left`: the codes of this length not yet placed, the current one included.
        for (uint32_t left = count[length]; left-- > 0;) {
            while (level < 0 || length > resolved + sizes[level]) {
                // The current code is longer than the open tables reach: open
                // a sub-table below them (or the root).
                if (level >= 0)
                    resolved += sizes[level];
                ++level;
                // The new table's index bits: at least the current code's
                // remaining bits, at most `limit`; `patterns` counts the
                // patterns of `bits` bits that the codes counted into it so far
                // (this length's remaining ones first) leave free.
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
                uint32_t symbol = sorted.symbols[next++];
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
    return Verdict(sorted);
}

void FreeHuffmanTables(HuffmanEntry* chain)
{
    while (chain) {
        HuffmanEntry* older = chain[-1].link;
        ReleaseBlock(chain - 1);
        chain = older;
    }
}

// The fast entry of `symbol` for a code of `codeBits` bits in its table.
static inline uint32_t SymbolEntry(uint32_t symbol, uint32_t codeBits, uint32_t simple, const uint16_t* base,
                                   const uint8_t* extra)
{
    if (symbol < simple)
        return symbol < 256 ? FastEntry(FastLiteral, symbol, codeBits, codeBits)
                            : FastEntry(FastExceptional | FastEndOfBlock, 0, codeBits, codeBits);
    uint32_t extraBits = extra[symbol - simple];
    if (extraBits == 99)
        return FastEntry(FastExceptional, 0, codeBits, codeBits);
    return FastEntry(0, base[symbol - simple], codeBits, codeBits + extraBits);
}

// The next code of the same length in table order (first bit lowest): the
// canonical code plus one, carried from its last bit towards its first.
static inline uint32_t NextReversedCode(uint32_t reversed, uint32_t length)
{
    uint32_t bit = 1u << (31 - __builtin_clz(reversed ^ ((1u << length) - 1)));
    return (reversed & (bit - 1)) | bit;
}

BuildResult BuildFastTable(const uint16_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
                           const uint8_t* extra, uint32_t rootBits, uint32_t* table)
{
    SortedCode sorted;
    if (!SortCode(lengths, n, sorted))
        return BuildOversubscribed;
    const BuildResult verdict = Verdict(sorted);
    const uint32_t* const count = sorted.count;
    const uint16_t* const symbols = sorted.symbols;
    const uint32_t symbolCount = sorted.symbolCount;
    const uint32_t longest = sorted.longest;
    const bool complete = sorted.spare == 0;
    const uint32_t rootSize = 1u << rootBits;

    uint32_t k = 0;         // symbols placed
    uint32_t reversed = 0;  // the next code in table order
    uint32_t length = sorted.shortest;
    if (complete) {
        // Every root slot is some code's: fill the first 2^length slots for
        // the codes of each length, doubling the filled part at each longer
        // length, so that a short code repeats in every slot it prefixes. (A
        // complete code of at most 288 symbols has one of at most 8 bits, so
        // its shortest codes fit the root.)
        uint32_t filled = 1u << length;
        for (;;) {
            for (uint32_t left = count[length]; left > 0; --left) {
                table[reversed] = SymbolEntry(symbols[k++], length, simple, base, extra);
                if (reversed == filled - 1) {
                    // The last code: no longer ones follow.
                    for (; filled < rootSize; filled <<= 1)
                        std::memcpy(table + filled, table, filled * sizeof *table);
                    return verdict;
                }
                reversed = NextReversedCode(reversed, length);
            }
            do {
                if (++length <= rootBits) {
                    std::memcpy(table + filled, table, filled * sizeof *table);
                    filled <<= 1;
                }
            } while (!count[length]);
            if (length > rootBits)
                break;
        }
    } else {
        for (uint32_t i = 0; i < rootSize; ++i)
            table[i] = FastExceptional;
    }

    // Codes longer than the root share a root slot by their first rootBits
    // bits, and in canonical order those with one prefix come one after
    // another; codes of an incomplete code go here too, each to every slot
    // it prefixes.
    const uint32_t subBits = longest > rootBits ? longest - rootBits : 0;
    uint32_t nextSub = rootSize;
    uint32_t subPrefix = rootSize;  // no sub-table yet
    for (; k < symbolCount; ++k) {
        uint32_t symbol = symbols[k];
        length = lengths[symbol];
        uint32_t codeBits = length <= rootBits ? length : length - rootBits;
        uint32_t entry = SymbolEntry(symbol, codeBits, simple, base, extra);
        uint32_t* slots = table;
        uint32_t index = reversed;
        uint32_t size = rootSize;
        if (length > rootBits) {
            uint32_t prefix = reversed & (rootSize - 1);
            if (prefix != subPrefix) {
                subPrefix = prefix;
                table[prefix] = FastEntry(FastExceptional | FastSubTable, nextSub, subBits, rootBits);
                for (uint32_t i = 0; i < 1u << subBits; ++i)
                    table[nextSub + i] = FastExceptional;
                nextSub += 1u << subBits;
            }
            slots = table + FastEntryValue(table[prefix]);
            index = reversed >> rootBits;
            size = 1u << subBits;
        }
        for (; index < size; index += 1u << codeBits)
            slots[index] = entry;
        if (reversed != (1u << length) - 1)
            reversed = NextReversedCode(reversed, length);
    }
    return verdict;
}

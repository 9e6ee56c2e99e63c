#include "decode/InflateFast.h"

#include "decode/HuffmanTable.h"
#include "decode/OutputWindow.h"
#include "fileio/Memory.h"

#include <cstring>

bool FastLoopEnabled = InflateHasFastLoop;
const FastCodeTables* BlockFastTables;
FastCodeTables DynamicFastTables;
FastCodeTables FixedFastTables;
bool FixedFastTablesBuilt;

// Codes are at most 15 bits long.
static_assert(15 - FastDistanceBits < 16, "a sub-table's bits fit the entry's four bits of code length");
static_assert(FastLiteralEntries <= 65536 && FastDistanceEntries <= 65536, "sub-table indexes fit 16 bits");

// The entry of `symbol` for a code of `codeBits` bits in its table.
static inline uint32_t FastEntry(uint32_t symbol, uint32_t codeBits, uint32_t simple, const uint16_t* base,
                                 const uint8_t* extra)
{
    uint32_t entry;
    if (symbol < simple)
        entry = symbol < 256 ? FastLiteral | symbol << 16 : FastExceptional | FastEndOfBlock;
    else if (extra[symbol - simple] == 99)
        entry = FastExceptional;
    else
        entry = static_cast<uint32_t>(base[symbol - simple]) << 16 | extra[symbol - simple];
    return entry + (codeBits << 8 | codeBits);
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
    uint32_t count[MaxCodeLength + 1] = {};
    for (uint32_t i = 0; i < n; ++i)
        ++count[lengths[i]];
    uint32_t longest = MaxCodeLength;
    while (longest > 0 && !count[longest])
        --longest;
    uint32_t used = 0;  // of the 2^15 patterns of 15 bits
    for (uint32_t length = 1; length <= 15; ++length)
        used += count[length] << (15 - length);
    if (used > 1u << 15)
        return BuildOversubscribed;
    const bool complete = used == 1u << 15;
    // A code without any symbol, or of a single 1-bit code, counts as complete.
    const BuildResult verdict = complete || longest <= 1 ? BuildComplete : BuildIncomplete;
    const uint32_t rootSize = 1u << rootBits;

    // The symbols in canonical order: by length, then by symbol.
    uint16_t symbols[288];
    uint32_t offset[MaxCodeLength + 2];
    offset[1] = 0;
    for (uint32_t length = 1; length <= MaxCodeLength; ++length)
        offset[length + 1] = offset[length] + count[length];
    for (uint32_t i = 0; i < n; ++i)
        if (lengths[i])
            symbols[offset[lengths[i]]++] = static_cast<uint16_t>(i);
    const uint32_t symbolCount = n - count[0];

    uint32_t k = 0;         // symbols placed
    uint32_t reversed = 0;  // the next code in table order
    uint32_t length = 1;
    if (complete) {
        // Every root slot is some code's: fill the first 2^length slots for
        // the codes of each length, doubling the filled part at each longer
        // length, so that a short code repeats in every slot it prefixes.
        while (!count[length])
            ++length;
        uint32_t filled = 1u << length;
        for (;;) {
            for (uint32_t left = count[length]; left > 0; --left) {
                table[reversed] = FastEntry(symbols[k++], length, simple, base, extra);
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
        uint32_t entry = FastEntry(symbol, codeBits, simple, base, extra);
        uint32_t* slots = table;
        uint32_t index = reversed;
        uint32_t size = rootSize;
        if (length > rootBits) {
            uint32_t prefix = reversed & (rootSize - 1);
            if (prefix != subPrefix) {
                subPrefix = prefix;
                table[prefix] = FastExceptional | FastSubTable | nextSub << 16 | subBits << 8 | rootBits;
                for (uint32_t i = 0; i < 1u << subBits; ++i)
                    table[nextSub + i] = FastExceptional;
                nextSub += 1u << subBits;
            }
            slots = table + (table[prefix] >> 16);
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

static inline uint64_t LoadWord64(const uint8_t* bytes)
{
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

static inline void StoreWord64(uint8_t* bytes, uint64_t word)
{
    std::memcpy(bytes, &word, sizeof word);
}

// The value of a length or distance entry: its base plus its extra bits,
// which follow its code in `saved`, the bits as they stood before the entry
// was consumed.
template <bool Bmi2>
static inline uint32_t EntryValue(uint64_t saved, uint32_t entry)
{
    uint64_t low;  // the entry's code and extra bits
#if defined(__x86_64__)
    if constexpr (Bmi2)
        asm("bzhi %2, %1, %0" : "=r"(low) : "r"(saved), "r"(uint64_t{entry}));  // index: entry's low byte
    else
#endif
        low = saved & ((uint64_t{1} << (entry & 0xFF)) - 1);
    return (entry >> 16) + static_cast<uint32_t>(low >> ((entry >> 8) & 0xF));
}

// The loop's body, compiled twice on x86-64: for any processor, and with the
// BMI2 shifts and masks for those that have them.
template <bool Bmi2>
__attribute__((always_inline)) static inline int FastCodes()
{
    const uint32_t* const literalTable = BlockFastTables->literal;
    const uint32_t* const distanceTable = BlockFastTables->distance;
    constexpr uint32_t literalMask = (1u << FastLiteralBits) - 1;
    constexpr uint32_t distanceMask = (1u << FastDistanceBits) - 1;
    const uint8_t* const in = InputBuffer;
    uint8_t* const window = SlideWindow;
    const uint8_t* const shadow = WindowShadow;
    // A pass through the loop refills at most three times from where it
    // starts, each time loading a word at most 7 bytes further on: with 32
    // bytes of margin every load lies inside the piece.
    const uint8_t* const inEnd = in + InputCount - FastInputMargin;
    uint8_t* const outEnd = window + WindowSize - FastOutputMargin;
    const uint8_t* inNext = in + InputPos;
    uint64_t bits = BitBuffer;
    // The bits taken are the low 8 bits of `count`: an entry is consumed by
    // subtracting all of it, which leaves them right since no more bits are
    // consumed than were taken, and garbage above them.
    uint32_t count = BitCount;
    uint8_t* out = window + WindowPos;
    int result = -1;

    // Takes the whole bytes that fit above the bits taken from the word at
    // inPos: afterwards 56 to 63 bits are taken, and the bits above them are
    // the stream's next bits, so that a table index may reach into them.
    auto refill = [&] {
        bits |= LoadWord64(inNext) << (count & 63);
        inNext += 7 - ((count >> 3) & 7);
        count |= 56;
    };
    auto consume = [&](uint32_t entry) {
        bits >>= entry & 0xFF;
        count -= entry;
    };

    // The branches below carry their weights: literals and word-wide copies
    // are the common case, exceptional entries the rare one, so that the
    // common case runs straight on.
    refill();
    uint32_t entry = literalTable[bits & literalMask];
    do {
        // 56 bits or more are taken, and `entry` is the next code's: enough
        // for three literals of at most 11 bits, or two and a length (at
        // most 11 + 4 + 5 bits) and the distance's table index.
        uint64_t saved = bits;
        consume(entry);
        if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
            uint32_t literal = entry >> 16;
            entry = literalTable[bits & literalMask];
            saved = bits;
            consume(entry);
            *out++ = static_cast<uint8_t>(literal);
            if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                literal = entry >> 16;
                entry = literalTable[bits & literalMask];
                saved = bits;
                consume(entry);
                *out++ = static_cast<uint8_t>(literal);
                if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                    literal = entry >> 16;
                    entry = literalTable[bits & literalMask];
                    refill();
                    *out++ = static_cast<uint8_t>(literal);
                    continue;
                }
            }
        }
        if (__builtin_expect((entry & FastExceptional) != 0, 0)) {
            if (entry & FastEndOfBlock) {
                result = 0;
                break;
            }
            if (!(entry & FastSubTable)) {
                result = 1;
                break;
            }
            // The link consumed the root's bits; the sub-table slot is the
            // code's (a literal, a length or the end of block).
            entry = literalTable[(entry >> 16) + (bits & ((1u << ((entry >> 8) & 0xF)) - 1))];
            saved = bits;
            consume(entry);
            if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                uint32_t literal = entry >> 16;
                entry = literalTable[bits & literalMask];
                refill();
                *out++ = static_cast<uint8_t>(literal);
                continue;
            }
            if (__builtin_expect((entry & FastExceptional) != 0, 0)) {
                result = entry & FastEndOfBlock ? 0 : 1;
                break;
            }
        }
        uint32_t length = EntryValue<Bmi2>(saved, entry);

        // At least 14 bits are taken, enough for the distance's index; a
        // distance takes at most 28 and the next code's index 11. The refill
        // is unconditional: whether it is needed varies from match to match,
        // and the branch costs more than the refill.
        entry = distanceTable[bits & distanceMask];
        refill();
        if (__builtin_expect((entry & FastExceptional) != 0, 0)) {
            if (!(entry & FastSubTable)) {
                result = 1;
                break;
            }
            consume(entry);
            entry = distanceTable[(entry >> 16) + (bits & ((1u << ((entry >> 8) & 0xF)) - 1))];
            if (__builtin_expect((entry & FastExceptional) != 0, 0)) {
                result = 1;
                break;
            }
        }
        saved = bits;
        consume(entry);
        uint32_t distance = EntryValue<Bmi2>(saved, entry);
        entry = literalTable[bits & literalMask];
        refill();

        // pos + length + 40 <= WindowSize: the copies below stay inside the
        // window, their scratch bytes too.
        // The source lies in this pass or, before the window's start, in the
        // shadow; a run may cross from one into the other.
        uint8_t* to = out;
        uint8_t* const end = to + length;
        const uint8_t* from = to - distance;
        out = end;
        if (__builtin_expect(distance >= 8, 1)) {
            // Each word is read after every byte it holds is final.
            StoreWord64(to, LoadWord64(from));
            StoreWord64(to + 8, LoadWord64(from + 8));
            StoreWord64(to + 16, LoadWord64(from + 16));
            StoreWord64(to + 24, LoadWord64(from + 24));
            StoreWord64(to + 32, LoadWord64(from + 32));
            to += 40;
            from += 40;
            while (to < end) {
                StoreWord64(to, LoadWord64(from));
                StoreWord64(to + 8, LoadWord64(from + 8));
                to += 16;
                from += 16;
            }
        } else if (distance == 1) {
            uint64_t repeated = from[0] * 0x0101010101010101u;
            StoreWord64(to, repeated);
            StoreWord64(to + 8, repeated);
            StoreWord64(to + 16, repeated);
            StoreWord64(to + 24, repeated);
            StoreWord64(to + 32, repeated);
            for (to += 40; to < end; to += 16) {
                StoreWord64(to, repeated);
                StoreWord64(to + 8, repeated);
            }
        } else {
            // A period shorter than a word: the first `step` bytes (whole
            // periods, at least a word) one by one, then each word repeats the
            // one `step` bytes before it.
            uint32_t step = distance;
            while (step < 8)
                step += distance;
            for (uint32_t i = 0; i < step; ++i)
                to[i] = from[i];
            for (uint8_t* at = to + step; at < end; at += 8)
                StoreWord64(at, LoadWord64(at - step));
        }
    } while (inNext <= inEnd && out <= outEnd);

    // The scratch bytes after the output hold history again.
    uint32_t pos = static_cast<uint32_t>(out - window);
    uint32_t scratch = WindowSize - pos < 40 ? WindowSize - pos : 40;
    std::memcpy(out, shadow + pos, scratch);
    uint32_t inPos = static_cast<uint32_t>(inNext - in);
    InputRemaining -= static_cast<int32_t>(inPos - InputPos);
    InputPos = static_cast<uint16_t>(inPos);
    BitBuffer = bits;
    BitCount = count & 0xFF;
    WindowPos = static_cast<uint16_t>(pos);
    return result;
}

#if defined(__x86_64__)
__attribute__((target("bmi2"))) static int FastCodesBmi2()
{
    return FastCodes<true>();
}
#endif

int InflateFastCodes()
{
    FillWindowShadow();
#if defined(__x86_64__)
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2)
        return FastCodesBmi2();
#endif
    return FastCodes<false>();
}

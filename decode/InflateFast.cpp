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

// The bit budget between refills. A refill takes whole bytes of a 64-bit word
// into the bit buffer: afterwards at least FastRefillFloorBits bits are taken.
constexpr uint32_t FastRefillFloorBits = 64 - 8;
constexpr uint32_t MaxLengthBits = MaxCodeLength + 5;     // a length's code and extra bits
constexpr uint32_t MaxDistanceBits = MaxCodeLength + 13;  // a distance's
static_assert(MaxDistanceBits <= 0xFF, "an entry's consumed bits fit its low byte");
// Between two refills a pass consumes, and looks up with the bits taken, one of:
static_assert(3 * FastLiteralBits + FastLiteralBits <= FastRefillFloorBits,
              "three literals from the root and the next code's index");
static_assert(2 * FastLiteralBits + MaxCodeLength + FastLiteralBits <= FastRefillFloorBits,
              "two literals, a literal from a sub-table and the next code's index");
static_assert(2 * FastLiteralBits + MaxLengthBits + FastDistanceBits <= FastRefillFloorBits,
              "two literals, a length and the distance's index");
static_assert(MaxDistanceBits + FastLiteralBits <= FastRefillFloorBits, "a distance and the next code's index");

// The input budget: a refill loads 8 bytes and moves on by at most 7. The loop
// refills once before its first pass and at most twice in a pass, and checks
// the margin after each pass: at most three refills from a checked position.
static_assert((3 - 1) * 7 + 8 <= FastInputMargin, "every load of three refills lies inside the input piece");

// The output budget: a copy writes a run's first FirstCopyBytes as five words (a
// run has at least 3 bytes) and the rest 16 at a time; a period shorter than a
// word, its first 8 to 14 bytes one by one and the rest 8 at a time.
constexpr uint32_t FirstCopyBytes = 5 * 8;
static_assert(FirstCopyBytes - 3 <= FastCopyOverrun && 16 - 1 <= FastCopyOverrun,
              "a copy of a distance of 8 or more");
static_assert(14 - 3 <= FastCopyOverrun && 8 - 1 <= FastCopyOverrun, "a copy of a shorter period");

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
        low = saved & ((uint64_t{1} << FastEntryConsumedBits(entry)) - 1);
    return FastEntryValue(entry) + static_cast<uint32_t>(low >> FastEntryCodeBits(entry));
}

// The loop's body, compiled twice on x86-64: for any processor, and with the
// BMI2 shifts and masks for those that have them.
template <bool Bmi2>
__attribute__((always_inline)) static inline int FastCodes(SymbolLoopState& state)
{
    const uint32_t* const literalTable = BlockFastTables->literal;
    const uint32_t* const distanceTable = BlockFastTables->distance;
    constexpr uint32_t literalMask = (1u << FastLiteralBits) - 1;
    constexpr uint32_t distanceMask = (1u << FastDistanceBits) - 1;
    const uint8_t* const in = InputBuffer;
    uint8_t* const window = SlideWindow;
    const uint8_t* const shadow = WindowShadow;
    const uint8_t* const inEnd = in + InputCount - FastInputMargin;
    uint8_t* const outEnd = window + WindowSize - FastOutputMargin;
    const uint8_t* inNext = in + state.inPos;
    uint64_t bits = state.bits;
    // The bits taken are the low 8 bits of `count`: an entry is consumed by
    // subtracting all of it, which leaves them right since no more bits are
    // consumed than were taken, and garbage above them.
    uint32_t count = state.count;
    uint8_t* out = window + state.outPos;
    int result = -1;

    // Takes the whole bytes that fit above the bits taken from the word at
    // inNext: afterwards FastRefillFloorBits to 63 bits are taken, and the bits
    // above them are the stream's next bits.
    auto refill = [&] {
        bits |= LoadWord<uint64_t>(inNext) << (count & 63);
        inNext += 7 - ((count >> 3) & 7);
        count |= FastRefillFloorBits;
    };
    auto consume = [&](uint32_t entry) {
        bits >>= FastEntryConsumedBits(entry);
        count -= entry;
    };

    // The branches below carry their weights: literals and word-wide copies
    // are the common case, exceptional entries the rare one, so that the
    // common case runs straight on.
    refill();
    uint32_t entry = literalTable[bits & literalMask];
    do {
        // FastRefillFloorBits or more are taken, and `entry` is the next
        // code's: enough for any of the paths to the next refill (the
        // static_asserts above).
        uint64_t saved = bits;
        consume(entry);
        if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
            uint32_t literal = FastEntryValue(entry);
            entry = literalTable[bits & literalMask];
            saved = bits;
            consume(entry);
            *out++ = static_cast<uint8_t>(literal);
            if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                literal = FastEntryValue(entry);
                entry = literalTable[bits & literalMask];
                saved = bits;
                consume(entry);
                *out++ = static_cast<uint8_t>(literal);
                if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                    literal = FastEntryValue(entry);
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
            entry = literalTable[FastEntryValue(entry) + (bits & ((1u << FastEntryCodeBits(entry)) - 1))];
            saved = bits;
            consume(entry);
            if (__builtin_expect((entry & FastLiteral) != 0, 1)) {
                uint32_t literal = FastEntryValue(entry);
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

        // The distance's index is taken; the refill after it leaves enough
        // for the distance and the next code's index. It is unconditional:
        // whether it is needed varies from match to match, and the branch
        // costs more than the refill.
        entry = distanceTable[bits & distanceMask];
        refill();
        if (__builtin_expect((entry & FastExceptional) != 0, 0)) {
            if (!(entry & FastSubTable)) {
                result = 1;
                break;
            }
            consume(entry);
            entry = distanceTable[FastEntryValue(entry) + (bits & ((1u << FastEntryCodeBits(entry)) - 1))];
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

        // pos + length + FastCopyOverrun <= WindowSize: the copies below stay
        // inside the window, their scratch bytes too.
        // The source lies in this pass or, before the window's start, in the
        // shadow; a run may cross from one into the other.
        uint8_t* to = out;
        uint8_t* const end = to + length;
        const uint8_t* from = to - distance;
        out = end;
        if (__builtin_expect(distance >= 8, 1)) {
            // Each word is read after every byte it holds is final.
            StoreWord(to, LoadWord<uint64_t>(from));
            StoreWord(to + 8, LoadWord<uint64_t>(from + 8));
            StoreWord(to + 16, LoadWord<uint64_t>(from + 16));
            StoreWord(to + 24, LoadWord<uint64_t>(from + 24));
            StoreWord(to + 32, LoadWord<uint64_t>(from + 32));
            to += FirstCopyBytes;
            from += FirstCopyBytes;
            while (to < end) {
                StoreWord(to, LoadWord<uint64_t>(from));
                StoreWord(to + 8, LoadWord<uint64_t>(from + 8));
                to += 16;
                from += 16;
            }
        } else if (distance == 1) {
            uint64_t repeated = from[0] * 0x0101010101010101u;
            StoreWord(to, repeated);
            StoreWord(to + 8, repeated);
            StoreWord(to + 16, repeated);
            StoreWord(to + 24, repeated);
            StoreWord(to + 32, repeated);
            for (to += FirstCopyBytes; to < end; to += 16) {
                StoreWord(to, repeated);
                StoreWord(to + 8, repeated);
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
                StoreWord(at, LoadWord<uint64_t>(at - step));
        }
    } while (inNext <= inEnd && out <= outEnd);

    // The scratch bytes after the output hold history again.
    uint32_t pos = static_cast<uint32_t>(out - window);
    uint32_t scratch = WindowSize - pos < FastCopyOverrun ? WindowSize - pos : FastCopyOverrun;
    std::memcpy(out, shadow + pos, scratch);
    state.bits = bits;
    state.count = count & 0xFF;
    state.inPos = static_cast<uint32_t>(inNext - in);
    state.outPos = pos;
    return result;
}

#if defined(__x86_64__)
__attribute__((target("bmi2"))) static int FastCodesBmi2(SymbolLoopState& state)
{
    return FastCodes<true>(state);
}
#endif

int InflateFastCodes(SymbolLoopState& state)
{
    FillWindowShadow(state.outPos);
#if defined(__x86_64__)
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2)
        return FastCodesBmi2(state);
#endif
    return FastCodes<false>(state);
}

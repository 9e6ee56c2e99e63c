#include "decode/Inflate.h"

#include "decode/InflateFast.h"
#include "decode/InputReader.h"
#include "decode/MemberCoding.h"
#include "decode/OutputWindow.h"
#include "fileio/Memory.h"

#include <cstring>

HuffmanEntry* FixedLiteralTable;
HuffmanEntry* FixedDistanceTable;
uint32_t FixedLiteralBits;
uint32_t FixedDistanceBits;
static HuffmanEntry* FixedTableChain;  // both fixed builds push onto this one chain

// Length symbols 257..287 and distance symbols 0..31. Symbols 286 and 287 and
// distances 30 and 31 exist only as bit patterns: their extra count 99 makes
// them invalid codes.
static const uint16_t LengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                        35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
static const uint8_t LengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                        3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
static const uint16_t DistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,   33,
                                          49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                          2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
static const uint8_t DistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                          7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};
static const uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

static inline BitWord LowBits(uint32_t n)
{
    return (static_cast<BitWord>(1) << n) - 1;
}

// The symbol loop's view of the input reader. The loop keeps the read position
// in a register, where stores into the window cannot make it reload; Store
// hands the position back to InputPos and InputRemaining before anything else
// reads them, and Load takes them up again.
struct CodeInput {
    const uint8_t* buffer;
    uint32_t pos;          // the loop's InputPos
    uint32_t storedPos;    // InputPos as last stored
    int32_t lastWord;      // InputCount - BitWordBytes: a whole word is unread while pos <= lastWord
    uint32_t overrunBits;  // InputOverrunBits, which changes only when the piece runs out

    void Load()
    {
        buffer = InputBuffer;
        pos = storedPos = InputPos;
        lastWord = InputCount - static_cast<int32_t>(BitWordBytes);
        overrunBits = InputOverrunBits;
    }
    void Store()
    {
        InputRemaining -= static_cast<int32_t>(pos - storedPos);
        InputPos = static_cast<uint16_t>(pos);
        storedPos = pos;
    }
};

// FillBits for the symbol loop, on its CodeInput.
static inline void FillCodeBits(uint32_t n, BitWord& bits, uint32_t& count, CodeInput& input)
{
    if (count >= n)
        return;
    if (static_cast<int32_t>(input.pos) <= input.lastWord) {
        // TakeWord on the loop's position.
        bits |= LoadWord<BitWord>(input.buffer + input.pos) << count;
        uint32_t taken = (BitWordBytes * 8 - 1 - count) >> 3;
        input.pos += taken;
        count += taken * 8;
    } else {
        input.Store();
        BitBuffer = bits;
        BitCount = count;
        NeedGlobalBits(n);
        bits = BitBuffer;
        count = BitCount;
        input.Load();
    }
}

// Follows sub-table links from a table slot to the slot that decodes the code,
// whose own bits are still to be dumped. Null for an invalid code.
static inline const HuffmanEntry* ResolveCode(const HuffmanEntry* entry, BitWord& bits, uint32_t& count,
                                              CodeInput& input)
{
    uint32_t operation = entry->operation;
    while (operation > OperationLiteral) {
        if (operation == OperationInvalid)
            return nullptr;
        DumpBits(entry->bits, bits, count);
        operation -= 16;
        FillCodeBits(operation, bits, count, input);
        entry = entry->link + (bits & LowBits(operation));
        operation = entry->operation;
    }
    return entry;
}

// How the careful loop reads a code from the multi-level tables: makes the
// table's bits available, follows the links and consumes the code's bits.
// `operation` and `value` are then those of HuffmanEntry; false for an
// invalid code.
static inline bool DecodeEntry(const HuffmanEntry* table, uint32_t tableBits, BitWord& bits, uint32_t& count,
                               CodeInput& input, uint32_t& operation, uint32_t& value)
{
    FillCodeBits(tableBits, bits, count, input);
    const HuffmanEntry* entry = ResolveCode(table + (bits & LowBits(tableBits)), bits, count, input);
    if (!entry)
        return false;
    DumpBits(entry->bits, bits, count);
    operation = entry->operation;
    value = entry->value;
    return true;
}

struct EntryCodes {
    const HuffmanEntry* literalTable;
    const HuffmanEntry* distanceTable;
    uint32_t literalBits;
    uint32_t distanceBits;

    bool Literal(BitWord& bits, uint32_t& count, CodeInput& input, uint32_t& operation, uint32_t& value) const
    {
        return DecodeEntry(literalTable, literalBits, bits, count, input, operation, value);
    }
    bool Distance(BitWord& bits, uint32_t& count, CodeInput& input, uint32_t& operation, uint32_t& value) const
    {
        return DecodeEntry(distanceTable, distanceBits, bits, count, input, operation, value);
    }
};

// The same from a fast table, on 64-bit builds, so that a block needs no
// multi-level tables at all; the entry becomes a HuffmanEntry's operation and
// value, so that one careful loop serves both kinds of table. The root's bits
// are made available whole: bits past the code's own are only looked at, and
// those past the input's end are counted in InputOverrunBits as for any other read.
static_assert(FastLiteralBits <= 16 && FastDistanceBits <= 16, "FillCodeBits gives at most 16 bits");
static inline bool DecodeFastEntry(const uint32_t* table, uint32_t rootBits, BitWord& bits, uint32_t& count,
                                   CodeInput& input, uint32_t& operation, uint32_t& value)
{
    FillCodeBits(rootBits, bits, count, input);
    uint32_t entry = table[bits & LowBits(rootBits)];
    if (entry & FastSubTable) {
        DumpBits(rootBits, bits, count);
        uint32_t subBits = FastEntryCodeBits(entry);
        FillCodeBits(subBits, bits, count, input);
        entry = table[FastEntryValue(entry) + (bits & LowBits(subBits))];
    }
    if ((entry & (FastExceptional | FastEndOfBlock)) == FastExceptional)
        return false;
    uint32_t codeBits = FastEntryCodeBits(entry);
    DumpBits(codeBits, bits, count);
    if (entry & FastLiteral)
        operation = OperationLiteral;
    else if (entry & FastEndOfBlock)
        operation = OperationEndOfBlock;
    else
        operation = FastEntryConsumedBits(entry) - codeBits;  // the extra bits of a length or distance
    value = FastEntryValue(entry);
    return true;
}

struct FastTableCodes {
    const FastCodeTables* tables;

    bool Literal(BitWord& bits, uint32_t& count, CodeInput& input, uint32_t& operation, uint32_t& value) const
    {
        return DecodeFastEntry(tables->literal, FastLiteralBits, bits, count, input, operation, value);
    }
    bool Distance(BitWord& bits, uint32_t& count, CodeInput& input, uint32_t& operation, uint32_t& value) const
    {
        return DecodeFastEntry(tables->distance, FastDistanceBits, bits, count, input, operation, value);
    }
};

// The careful symbol loop, on either kind of table.
template <class Codes>
static int DecodeSymbols(const Codes& codes)
{
    BitWord bits = BitBuffer;
    uint32_t count = BitCount;
    uint32_t pos = WindowPos;
    uint8_t* const window = SlideWindow;
    CodeInput input;
    input.Load();
    // WindowPos stays as this loop found it (or 0 after a flush) unless the
    // block ends: a failed block writes nothing after its last flush.
    auto endBlock = [&] {
        input.Store();
        BitBuffer = bits;
        BitCount = count;
        WindowPos = static_cast<uint16_t>(pos);
        return 0;
    };
    for (;;) {
        // The last symbol took bits from past the end of the input: the member
        // is cut short, and decoding the 1 bits that follow could run for ever.
        if (count < input.overrunBits)
            break;
        if constexpr (InflateHasFastLoop) {
            if (BlockFastTables && input.pos + FastInputMargin <= static_cast<uint32_t>(InputCount) &&
                pos <= WindowSize - FastOutputMargin && input.overrunBits == 0) {
                SymbolLoopState state{bits, count, input.pos, pos};
                int result = InflateFastCodes(state);
                bits = state.bits;
                count = state.count;
                input.pos = state.inPos;
                pos = state.outPos;
                if (result == 0)
                    return endBlock();
                if (result == 1)
                    break;
                continue;
            }
        }
        uint32_t operation;
        uint32_t value;
        if (!codes.Literal(bits, count, input, operation, value))
            break;
        if (operation == OperationLiteral) {
            window[pos++] = static_cast<uint8_t>(value);
            if (pos == WindowSize) {
                pos = 0;
                if (!FlushWindow(WindowSize))
                    break;
            }
            continue;
        }
        if (operation == OperationEndOfBlock)
            return endBlock();
        FillCodeBits(operation, bits, count, input);
        uint32_t length = value + static_cast<uint32_t>(bits & LowBits(operation));
        DumpBits(operation, bits, count);

        if (!codes.Distance(bits, count, input, operation, value))
            break;
        FillCodeBits(operation, bits, count, input);
        uint32_t distance = value + static_cast<uint32_t>(bits & LowBits(operation));
        DumpBits(operation, bits, count);

        // 1 <= distance <= 32,768. A distance reaching before the member's first
        // byte reads the cleared window, or what an earlier pass left there.
        uint32_t from = (pos - distance) & (WindowSize - 1);
        if (pos + length <= WindowSize && from + length <= WindowSize) {
            uint8_t* to = window + pos;
            const uint8_t* source = window + from;
            // Word by word, each word from at least a word behind it, so that it
            // reads only bytes already final: a source at least a word behind the
            // destination as it is, a shorter distance once the first `step`
            // bytes (a whole number of its periods, at least a word) are written
            // byte by byte, each word then repeating the one `step` before it.
            // The last word may run past the run's end; the bytes there are
            // history, saved and put back.
            uint32_t rest = length;
            if (distance < BitWordBytes) {
                uint32_t step = distance;
                while (step < BitWordBytes)
                    step += distance;
                uint32_t first = rest < step ? rest : step;
                for (uint32_t i = 0; i < first; ++i)
                    to[i] = source[i];
                source = to;
                to += first;
                rest -= first;
            }
            if (rest) {
                BitWord after = LoadWord<BitWord>(to + rest);
                uint32_t done = 0;
                do {
                    StoreWord(to + done, LoadWord<BitWord>(source + done));
                    done += BitWordBytes;
                } while (done < rest);
                StoreWord(to + rest, after);
            }
            pos += length;
            if (pos == WindowSize) {
                pos = 0;
                if (!FlushWindow(WindowSize))
                    break;
            }
        } else {
            // The run crosses the window's end or its source wraps round it.
            while (length--) {
                window[pos++] = window[from];
                from = (from + 1) & (WindowSize - 1);
                if (pos == WindowSize) {
                    pos = 0;
                    if (!FlushWindow(WindowSize))
                        length = 0;
                }
            }
            if (OutputFellShort)
                break;
        }
    }
    // An invalid code, the end of the input, or a flush that fell short or
    // would have passed the uncompressed size.
    input.Store();
    return 1;
}

int InflateCodes(const HuffmanEntry* literalTable, const HuffmanEntry* distanceTable, uint32_t literalBits,
                 uint32_t distanceBits)
{
    return DecodeSymbols(EntryCodes{literalTable, distanceTable, literalBits, distanceBits});
}

// The block's codes with BlockFastTables alone, in both loops.
static int InflateFastTableCodes()
{
    return DecodeSymbols(FastTableCodes{BlockFastTables});
}

int InflateStored()
{
    DropBits(BitCount & 7);
    uint32_t length = TakeBits(16);
    if (TakeBits(16) != (length ^ 0xFFFF) || BitCount < InputOverrunBits)
        return 1;

    uint32_t pos = WindowPos;
    uint8_t* const window = SlideWindow;
    while (length) {
        uint32_t chunk = static_cast<uint32_t>(InputCount - InputPos);
        if (BitCount) {
            // Whole bytes still in the bit buffer come first (BitCount is a
            // multiple of 8 here).
            if (BitCount <= InputOverrunBits)
                return 1;  // the input has ended inside the block
            window[pos++] = static_cast<uint8_t>(TakeBits(8));
            --length;
        } else {
            // The bit buffer is empty: the bits above it would repeat the bytes
            // about to be copied straight from the input piece.
            BitBuffer = 0;
            if (chunk == 0) {
                int32_t value = NextByte();  // reads the next piece
                if (value < 0)
                    return 1;
                window[pos++] = static_cast<uint8_t>(value);
                --length;
            } else {
                if (chunk > length)
                    chunk = length;
                if (chunk > WindowSize - pos)
                    chunk = WindowSize - pos;
                std::memcpy(window + pos, InputBuffer + InputPos, chunk);
                InputPos = static_cast<uint16_t>(InputPos + chunk);
                InputRemaining -= static_cast<int32_t>(chunk);
                pos += chunk;
                length -= chunk;
            }
        }
        if (pos == WindowSize) {
            pos = 0;
            if (!FlushWindow(WindowSize))
                return 1;
        }
    }
    WindowPos = static_cast<uint16_t>(pos);
    return 0;
}

void ReleaseFixedTables()
{
    FreeHuffmanTables(FixedTableChain);
    FixedTableChain = nullptr;
    FixedLiteralTable = nullptr;
    FixedDistanceTable = nullptr;
}

// The code lengths of the fixed codes: the literal/length code's 288, then the
// distance code's 30 (incomplete, 30 of 32 patterns: the two spare ones are
// invalid codes).
static void FixedCodeLengths(uint16_t* lengths)
{
    for (uint32_t i = 0; i < 288 + 30; ++i)
        lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : i < 288 ? 8 : 5;
}

bool BuildFixedTables()
{
    uint16_t lengths[288 + 30];
    FixedCodeLengths(lengths);
    FixedLiteralBits = 7;
    FixedDistanceBits = 5;
    if (BuildHuffmanTable(lengths, 288, 257, LengthBase, LengthExtra, FixedLiteralTable, FixedTableChain,
                          FixedLiteralBits) == BuildComplete &&
        BuildHuffmanTable(lengths + 288, 30, 0, DistanceBase, DistanceExtra, FixedDistanceTable, FixedTableChain,
                          FixedDistanceBits) <= BuildIncomplete)
        return true;
    ReleaseFixedTables();
    return false;
}

int InflateFixed()
{
    if constexpr (InflateHasFastLoop) {
        if (FastLoopEnabled) {
            if (!FixedFastTablesBuilt) {
                uint16_t lengths[288 + 30];
                FixedCodeLengths(lengths);
                BuildFastTable(lengths, 288, 257, LengthBase, LengthExtra, FastLiteralBits,
                               FixedFastTables.literal);
                BuildFastTable(lengths + 288, 30, 0, DistanceBase, DistanceExtra, FastDistanceBits,
                               FixedFastTables.distance);
                FixedFastTablesBuilt = true;
            }
            BlockFastTables = &FixedFastTables;
            return InflateFastTableCodes();
        }
        BlockFastTables = nullptr;
    }
    if (!FixedLiteralTable && !BuildFixedTables())
        return 1;
    return InflateCodes(FixedLiteralTable, FixedDistanceTable, FixedLiteralBits, FixedDistanceBits);
}

int InflateDynamic()
{
    uint32_t literalCount = 257 + TakeBits(5);  // up to 288
    uint32_t distanceCount = 1 + TakeBits(5);   // up to 32
    uint32_t lengthCodeCount = 4 + TakeBits(4);

    uint16_t lengths[288 + 32];
    for (uint32_t j = 0; j < 19; ++j)
        lengths[CodeLengthOrder[j]] = static_cast<uint16_t>(j < lengthCodeCount ? TakeBits(3) : 0);
    HuffmanEntry* table;
    HuffmanEntry* chain = nullptr;
    uint32_t tableBits = 7;
    BuildResult built = BuildHuffmanTable(lengths, 19, 19, nullptr, nullptr, table, chain, tableBits);
    uint32_t total = literalCount + distanceCount;
    uint32_t i = 0;
    uint32_t previous = 0;
    // Code lengths are at most 7 bits, so the root table decodes every one.
    while (built == BuildComplete && i < total) {
        const HuffmanEntry& entry = table[PeekBits(tableBits)];
        if (entry.operation != OperationLiteral)
            break;
        DropBits(entry.bits);
        uint32_t symbol = entry.value;
        if (symbol < 16) {
            lengths[i++] = static_cast<uint16_t>(symbol);
            previous = symbol;
            continue;
        }
        uint32_t repeat;
        if (symbol == 16) {
            repeat = 3 + TakeBits(2);
        } else {
            previous = 0;
            repeat = symbol == 17 ? 3 + TakeBits(3) : 11 + TakeBits(7);
        }
        if (i + repeat > total)
            break;
        while (repeat--)
            lengths[i++] = static_cast<uint16_t>(previous);
    }
    FreeHuffmanTables(chain);
    if (i < total || BitCount < InputOverrunBits)
        return 1;

    if constexpr (InflateHasFastLoop) {
        if (FastLoopEnabled) {
            // The verdicts of the multi-level builds below, without their tables.
            BlockFastTables = nullptr;
            if (BuildFastTable(lengths, literalCount, 257, LengthBase, LengthExtra, FastLiteralBits,
                               DynamicFastTables.literal) != BuildComplete ||
                BuildFastTable(lengths + literalCount, distanceCount, 0, DistanceBase, DistanceExtra,
                               FastDistanceBits, DynamicFastTables.distance) > BuildIncomplete)
                return 1;
            BlockFastTables = &DynamicFastTables;
            return InflateFastTableCodes();
        }
        BlockFastTables = nullptr;
    }
    HuffmanEntry* literalTable;
    HuffmanEntry* distanceTable;
    HuffmanEntry* literalChain = nullptr;
    HuffmanEntry* distanceChain = nullptr;
    uint32_t literalBits = 9;
    uint32_t distanceBits = 6;
    int result = 1;
    if (BuildHuffmanTable(lengths, literalCount, 257, LengthBase, LengthExtra, literalTable, literalChain,
                          literalBits) == BuildComplete &&
        // An incomplete distance code decodes; its spare patterns are invalid codes.
        BuildHuffmanTable(lengths + literalCount, distanceCount, 0, DistanceBase, DistanceExtra, distanceTable,
                          distanceChain, distanceBits) <= BuildIncomplete)
        result = InflateCodes(literalTable, distanceTable, literalBits, distanceBits);
    FreeHuffmanTables(literalChain);
    FreeHuffmanTables(distanceChain);
    return result;
}

int InflateBlock(bool& lastBlock)
{
    lastBlock = TakeBits(1);
    uint32_t type = TakeBits(2);
    if (BitCount < InputOverrunBits)
        return 1;  // the header lies past the end of the input
    if (type == 0)
        return InflateStored();
    if (type == 1)
        return InflateFixed();
    if (type == 2)
        return InflateDynamic();
    return 1;  // type 3 is reserved
}

bool Inflate()
{
    InputPos = 0;
    InputCount = 0;
    WindowPos = 0;
    BitBuffer = 0;
    BitCount = 0;
    InputOverrunBits = 0;
    OutputFellShort = false;
    OutputRoom = CurrentCoding.uncompressedSize;
    InputBuffer = static_cast<uint8_t*>(AllocateBlock(InputBufferSize));
    AllocateWindow();
    FixedLiteralTable = nullptr;
    FixedDistanceTable = nullptr;
    FixedTableChain = nullptr;

    bool lastBlock = false;
    int result;
    do
        result = InflateBlock(lastBlock);
    while (result == 0 && !lastBlock);
    if (WindowPos)
        FlushWindow(WindowPos);

    ReleaseFixedTables();
    ReleaseBlock(InputBuffer);
    ReleaseWindow();
    InputBuffer = nullptr;
    if constexpr (InflateHasFastLoop)
        BlockFastTables = nullptr;
    // The bits of 1 after the input's end can read as an end-of-block code
    // (the all-ones pattern ends many codes): a member whose last block ended
    // on such bits was cut short.
    return result == 0 && !OutputFellShort && BitCount >= InputOverrunBits;
}

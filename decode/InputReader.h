#pragma once
#include <cstdint>
#include <cstring>

// The byte and bit source of the inflate decoder: a deflated member's data read
// from ArchiveFile in pieces of at most 32,768 bytes, decrypted right after each
// read when CurrentCoding says the member is encrypted, handed out one byte at a time.
// It never reads past the member's data; after its end NextByte returns -1.

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "word refills assume little-endian loads");

constexpr uint32_t InputPieceSize = 32768;
constexpr uint32_t InputBufferSize = 32770;

// The bit buffer is a machine word: 64 bits on the host, 32 in the stub. A host
// build defines ZELVIX_BIT_WORD_32 to decode with the stub's width (the fuzzers
// run both widths).
#ifdef ZELVIX_BIT_WORD_32
using BitWord = uint32_t;
#else
using BitWord = uintptr_t;
#endif
constexpr uint32_t BitWordBytes = sizeof(BitWord);

// A word at any address, in the byte order of the stream: the decoder's
// refills and word-wide copies.
template <class Word>
inline Word LoadWord(const uint8_t* bytes)
{
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}
template <class Word>
inline void StoreWord(uint8_t* bytes, Word word)
{
    std::memcpy(bytes, &word, sizeof word);
}

extern uint8_t* InputBuffer;  // InputBufferSize bytes; reads fill at most InputPieceSize
extern int32_t InputCount;    // valid bytes in InputBuffer: what the last read reported
extern uint16_t InputPos;     // next byte of InputBuffer to hand out
// Member data bytes not yet handed out (the encryption header excluded); set by
// the extraction driver before decoding, counted down by NextByte and CopyStored.
extern int32_t InputRemaining;
// Bits taken from the member's data and not yet used; bit 0 is the stream's next
// bit. Bits at and above BitCount are 0 or the stream's next bits while input
// lasts, and 1 once NextByte has returned -1.
extern BitWord BitBuffer;
extern uint32_t BitCount;  // valid bits in BitBuffer
// Bits of 1 that NeedBits put into the bit buffer after the input had ended.
// They are always the topmost of the BitCount bits, so a decoder whose bit count
// falls below this has consumed bits the member does not have.
extern uint32_t InputOverrunBits;

int32_t ReadBufferedByte();  // next byte, refilling first; -1 when a refill brings nothing
int32_t NextByte();          // -1 at once when InputRemaining <= 0, else ReadBufferedByte()

// Makes at least n (<= 16) bits available, one byte at a time; after the end of
// the input the buffer fills with 1 bits.
void NeedBits(uint32_t n, BitWord& buffer, uint32_t& count);
inline void DumpBits(uint32_t n, BitWord& buffer, uint32_t& count)
{
    buffer >>= n;
    count -= n;
}

// NeedBits for the decoder's hot paths: while a whole word of the current piece
// is unread it takes as many bytes as fit at once (at least n bits), else it is
// NeedBits. Both take bytes only from the piece already read, so the file is
// read at exactly the moments that NeedBits alone would read it. The bytes of
// the word beyond those taken sit above `count` and are the stream's next bytes,
// which a later refill ORs in again unchanged.
void NeedGlobalBits(uint32_t n);  // NeedBits on BitBuffer and BitCount
inline bool HasWholeWord()
{
    return InputCount - InputPos >= static_cast<int32_t>(BitWordBytes);
}
// Takes as many bytes of the word at InputPos as fit above `count`; only when
// HasWholeWord().
inline void TakeWord(BitWord& buffer, uint32_t& count)
{
    buffer |= LoadWord<BitWord>(InputBuffer + InputPos) << count;
    uint32_t taken = (BitWordBytes * 8 - 1 - count) >> 3;
    InputPos = static_cast<uint16_t>(InputPos + taken);
    InputRemaining -= static_cast<int32_t>(taken);
    count += taken * 8;
}
inline void FillBits(uint32_t n, BitWord& buffer, uint32_t& count)
{
    if (count >= n)
        return;
    if (HasWholeWord()) {
        TakeWord(buffer, count);
    } else {
        // Through the globals, so that the callers' locals never have their address taken.
        BitBuffer = buffer;
        BitCount = count;
        NeedGlobalBits(n);
        buffer = BitBuffer;
        count = BitCount;
    }
}

// The same on BitBuffer and BitCount, for the decoder's colder paths (block
// headers, code lengths): PeekBits makes n (<= 16) bits available and returns
// them, DropBits removes them, TakeBits does both.
uint32_t PeekBits(uint32_t n);
inline void DropBits(uint32_t n)
{
    DumpBits(n, BitBuffer, BitCount);
}
uint32_t TakeBits(uint32_t n);

#pragma once
#include <cstdint>

// The byte and bit source of the inflate decoder: a deflated member's data read
// from ArchiveFile in pieces of at most 32,768 bytes, decrypted right after each
// read when flag bit 0 of CurrentHeader is set, handed out one byte at a time.
// It never reads past the member's data; after its end NextByte returns -1.

constexpr uint32_t InputPieceSize = 32768;
constexpr uint32_t InputBufferSize = 32770;

extern uint8_t* InputBuffer;     // InputBufferSize bytes; reads fill at most InputPieceSize
extern int32_t InputCount;       // valid bytes in InputBuffer: what the last read reported
extern uint16_t InputPos;        // next byte of InputBuffer to hand out
// Member data bytes not yet handed out (the encryption header excluded); set by
// the extraction driver before decoding, counted down by NextByte and CopyStored.
extern int32_t InputRemaining;
extern uint32_t BitBuffer;       // bits taken and not yet used; bit 0 is the stream's next bit
extern uint16_t BitCount;        // valid bits in BitBuffer

int32_t ReadBufferedByte();  // next byte, refilling first; -1 when a refill brings nothing
int32_t NextByte();          // -1 at once when InputRemaining <= 0, else ReadBufferedByte()

// Makes at least n (<= 16) bits available; after the end of the input the
// buffer fills with 1 bits.
void NeedBits(uint16_t n, uint32_t& buffer, uint16_t& count);
inline void DumpBits(uint16_t n, uint32_t& buffer, uint16_t& count)
{
    buffer >>= n;
    count = static_cast<uint16_t>(count - n);
}

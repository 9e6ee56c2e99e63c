#include "decode/InputReader.h"

#include "decode/Decrypt.h"
#include "decode/MemberCoding.h"
#include "fileio/FileIo.h"

MemberCoding CurrentCoding;
uint8_t* InputBuffer;
int32_t InputCount;
uint16_t InputPos;
int32_t InputRemaining;
BitWord BitBuffer;
uint32_t BitCount;
uint32_t InputOverrunBits;

int32_t ReadBufferedByte()
{
    if (InputPos >= InputCount) {
        // Only ever called with InputRemaining > 0, so the read stays inside the member.
        uint32_t want = static_cast<uint32_t>(InputRemaining) < InputPieceSize
                            ? static_cast<uint32_t>(InputRemaining)
                            : InputPieceSize;
        InputCount = static_cast<int32_t>(ReadFromFile(ArchiveFile, InputBuffer, want));
        if (CurrentCoding.encrypted)
            DecryptBytes(InputBuffer, static_cast<uint32_t>(InputCount));
        InputPos = 0;
    }
    if (InputCount == 0) {
        // The archive file ended inside the member; NextByte's count-down leaves -1.
        InputRemaining = 0;
        return -1;
    }
    return InputBuffer[InputPos++];
}

int32_t NextByte()
{
    if (InputRemaining <= 0)
        return -1;
    int32_t value = ReadBufferedByte();
    --InputRemaining;
    return value;
}

void NeedBits(uint32_t n, BitWord& buffer, uint32_t& count)
{
    while (count < n) {
        int32_t value = NextByte();
        if (value < 0)
            InputOverrunBits += 8;
        // n <= 16, so count <= 15 here; -1 converts to all 1 bits.
        buffer |= static_cast<BitWord>(static_cast<intptr_t>(value)) << count;
        count += 8;
    }
}

void NeedGlobalBits(uint32_t n)
{
    NeedBits(n, BitBuffer, BitCount);
}

uint32_t PeekBits(uint32_t n)
{
    FillBits(n, BitBuffer, BitCount);
    return static_cast<uint32_t>(BitBuffer & ((static_cast<BitWord>(1) << n) - 1));
}

uint32_t TakeBits(uint32_t n)
{
    uint32_t value = PeekBits(n);
    DropBits(n);
    return value;
}

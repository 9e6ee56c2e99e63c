#include "decode/OutputWindow.h"

#include "decode/Crc32.h"
#include "decode/Decrypt.h"
#include "decode/InputReader.h"
#include "decode/MemberCoding.h"
#include "fileio/FileIo.h"
#include "fileio/Memory.h"

#include <cstring>

uint32_t OutputCrc;
uint8_t* SlideWindow;
uint16_t WindowPos;
uint32_t OutputRoom;
bool OutputFellShort;
uint8_t* WindowShadow;
// The shadow holds the window's history from this position to its end.
static uint32_t ShadowFrom;

void AllocateWindow()
{
    if constexpr (WindowHasShadow) {
        WindowShadow = static_cast<uint8_t*>(AllocateClearedBlock(WindowSize + WindowBlockSize));
        SlideWindow = WindowShadow + WindowSize;
        ShadowFrom = 0;
    } else {
        SlideWindow = static_cast<uint8_t*>(AllocateClearedBlock(WindowBlockSize));
    }
}

void ReleaseWindow()
{
    ReleaseBlock(WindowHasShadow ? WindowShadow : SlideWindow);
    if constexpr (WindowHasShadow)
        WindowShadow = nullptr;
    SlideWindow = nullptr;
}

void FillWindowShadow(uint32_t pos)
{
    if (pos < ShadowFrom) {
        std::memcpy(WindowShadow + pos, SlideWindow + pos, ShadowFrom - pos);
        ShadowFrom = pos;
    }
}

bool FlushWindow(uint16_t count)
{
    WindowPos = 0;
    if (count > OutputRoom) {
        OutputFellShort = true;
        return false;
    }
    OutputRoom -= count;
    if (WriteToFile(OutputFile, SlideWindow, count) != count)
        OutputFellShort = true;
    // The register covers what was handed over; a short write fails the member anyway.
    CrcUpdate(SlideWindow, count, OutputCrc);
    if constexpr (WindowHasShadow)
        ShadowFrom = WindowSize;  // the window now holds the history; the shadow none of it yet
    return !OutputFellShort;
}

bool CopyStored()
{
    uint32_t size = InputRemaining <= 0 ? 0
                    : static_cast<uint32_t>(InputRemaining) < InputPieceSize
                        ? static_cast<uint32_t>(InputRemaining)
                        : InputPieceSize;
    HeapBlock<uint8_t> buffer(size + 2);
    bool complete = InputRemaining >= 0;
    while (InputRemaining > 0) {
        uint32_t want = static_cast<uint32_t>(InputRemaining) < InputPieceSize
                            ? static_cast<uint32_t>(InputRemaining)
                            : InputPieceSize;
        uint32_t got = ReadFromFile(ArchiveFile, buffer.get(), want);
        InputRemaining -= static_cast<int32_t>(got);
        if (CurrentCoding.encrypted)
            DecryptBytes(buffer.get(), got);
        uint32_t written = WriteToFile(OutputFile, buffer.get(), got);
        CrcUpdate(buffer.get(), static_cast<int32_t>(written), OutputCrc);
        if (written != got)
            complete = false;
        if (got == 0) {
            // The archive file ended (or the read failed) inside the member.
            complete = false;
            break;
        }
    }
    return complete;
}

#pragma once
#include <cstdint>

#include "decode/InputReader.h"

// The output side of decoding. Every byte that reaches an extracted file passes
// through exactly one of FlushWindow and CopyStored, and each adds exactly those
// bytes to OutputCrc (which is never complemented here: the CRC-32 of the
// written data is ~OutputCrc).

constexpr uint32_t WindowSize = 32768;
// The window's block: the window itself and room for the word-wide copies of
// the inflate decoder, which may touch up to two words past a run's end.
constexpr uint32_t WindowBlockSize = WindowSize + 2 * sizeof(uintptr_t);

extern uint32_t OutputCrc;    // set to 0xFFFFFFFF by the driver before each member
extern uint8_t* SlideWindow;  // WindowBlockSize bytes, cleared; positions 0..32,767 form the window
extern uint16_t WindowPos;    // next window position to write, 0..32,768

// Builds with a 64-bit bit buffer (never the stub) keep a shadow of the window
// right before it, in one block, for the inflate decoder's fast loop:
//   [shadow: WindowSize bytes][window: WindowSize bytes][slack: WindowBlockSize - WindowSize bytes]
// shadow[i] is window[i] as the last flush left it (0 before the first), for
// every i from the `pos` of the last FillWindowShadow since that flush on: the
// history that a distance reaching back before the window's start reads, found
// at `distance` bytes behind its destination with no test for the window's start.
constexpr bool WindowHasShadow = BitWordBytes == 8;
extern uint8_t* WindowShadow;  // null without a shadow

// The inflate decoder takes the window (and its shadow), both cleared, for each
// member and gives them back at its end.
void AllocateWindow();
void ReleaseWindow();

// Makes the shadow hold the history from `pos` on, copied from the window,
// which has not been written there since the last flush: `pos` is where the
// fast loop starts writing, and this is called then, so that a member of stored
// blocks never pays for it.
void FillWindowShadow(uint32_t pos);

// Set by FlushWindow when the system wrote less than it was given or the bytes
// would pass OutputRoom; the inflate decoder clears it per member and then
// reports the member as failed.
extern bool OutputFellShort;

// Output bytes the member may still write: the inflate decoder starts it at
// CurrentCoding.uncompressedSize, so that no member writes more than its
// header says, however far its data would run.
extern uint32_t OutputRoom;

// Writes the first `count` window bytes to OutputFile in one write, adds them to
// OutputCrc, and sets WindowPos to 0. Writes nothing when the bytes would pass
// OutputRoom. Returns false, with OutputFellShort set, when it wrote nothing or
// the system wrote less: the decoder then stops.
bool FlushWindow(uint16_t count);

// Copies InputRemaining bytes of a stored member from ArchiveFile's current
// position to OutputFile, decrypting when CurrentCoding says the member is encrypted.
// Returns true when every byte of the member was read (the archive did not end
// early) and written.
bool CopyStored();

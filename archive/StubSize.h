#pragma once
#include <cstdint>

// Length of the stub's own executable image. The archive's first local header
// sits at exactly this offset of the self-extracting file, and a file of
// exactly this length carries no archive. The build pads the linked stub to
// this length and fails when the linked image is larger (cmake/PadStub.cmake
// reads the number from this line). The x86-64 twin build, which runs the same
// code under 64-bit Wine for testing, defines a length of its own.
#ifdef ZELVIX_STUB_SIZE
constexpr uint32_t StubSize = ZELVIX_STUB_SIZE;
#else
constexpr uint32_t StubSize = 35328;
#endif

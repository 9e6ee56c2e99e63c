#pragma once
#include <cstdint>

// Length of the stub's own executable image. The archive's first local header
// sits at exactly this offset of the self-extracting file, and a file of
// exactly this length carries no archive. The build pads the linked stub to
// this length and fails when the linked image is larger (cmake/PadStub.cmake
// reads the number from this line).
constexpr uint32_t StubSize = 35328;

#pragma once
#include <cstdint>

// Decodes the current deflated member (RFC 1951) from ArchiveFile into
// OutputFile through the input reader and the output window. Returns true when
// the member decoded completely: every block ended normally up to the block
// with the last-block flag. Any failure (an invalid code, a bad stored length,
// type 3, a code that cannot be built, the input ending first) returns false.
bool Inflate();

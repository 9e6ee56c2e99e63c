#pragma once
#include <cstdint>

#include "archive/LocalHeader.h"

// How decoding a member's data ended.
enum class DataOutcome {
    Verified,      // decoded whole, and the header's CRC-32 matches
    CrcMismatch,   // decoded whole, but the header's CRC-32 does not match
    Damaged,       // the decoder failed: damaged data, the archive ending inside it, a write falling
                   // short, or deflated data decoding to more than the uncompressed size
    SizeMismatch,  // stored, with a compressed size other than its uncompressed size (plus the
                   // encryption header): nothing is read or written
    OutOfReach,    // its data runs to 2 GiB or more, lies beyond 4 GiB, or could not be sought
};

// Decodes the data of the member whose local header `header` starts at
// `start` into OutputFile: seeks to its data (past the encryption header when
// flag bit 0 is set), sets OutputCrc, InputRemaining and CurrentCoding, runs
// CopyStored (MethodStored) or Inflate (MethodDeflated; no other method may
// come here) and compares the CRC-32. For an encrypted member the caller has
// passed CheckEncryptionHeader, so CipherKeys stand at the member's data.
// The stub's driver, mksfx, the fuzzer and the tests all decode through this.
DataOutcome DecodeMemberData(uint32_t start, const LocalFileHeader& header);

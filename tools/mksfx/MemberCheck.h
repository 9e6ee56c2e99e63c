#pragma once
#include "archive/LocalHeader.h"
#include "fileio/FileIo.h"

#include <cstdint>
#include <string>

// Checks one member of ArchiveFile as the stub checks it, with its own
// decoders: for an encrypted member the password against the encryption
// header first, then the data against the CRC-32, written to `output`.
// `header` is the local header that starts at `start` (its name and extra
// field lengths place the data) carrying the flags, method, time, CRC-32 and
// sizes the stub will see. Returns the error, or "".
std::string CheckMemberData(uint32_t start, const LocalFileHeader& header, const std::string& password,
                            FileHandle output);

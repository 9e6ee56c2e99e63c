#pragma once
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"

// Walks a ZIP archive's local headers with the program's own walk and decodes
// every member the way the extraction driver does (encryption header check,
// then DecodeMemberData), each into a file of its own.
struct DecodedMember {
    std::string name;
    uint16_t flags = 0;
    uint16_t method = 0;
    bool passwordAccepted = false;  // true for members that are not encrypted
    bool decoded = false;           // the decoder's own verdict
    bool crcMatches = false;        // the header's CRC-32 matches, as the stub checks it
    Bytes output;
};

// `start` is the offset of the first local header.
std::vector<DecodedMember> DecodeArchive(const std::string& path, const char* password = "", uint32_t start = 0);

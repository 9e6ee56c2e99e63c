#pragma once
#include <cstdint>

// The reflected CRC-32 of the ZIP format (polynomial 0xEDB88320). A register
// starts at 0xFFFFFFFF and the CRC-32 of the data is its complement; nothing
// here sets a start value or complements a result.

// 1,028-byte block whose first 256 entries hold the table; allocated and filled
// once by SetUpCrcTable before any window exists, only read afterwards.
extern uint32_t* CrcTable;

// Sixteen tables of 256 entries for CrcUpdate to take sixteen bytes a step: the
// first is CrcTable's, each next one advances the previous by a zero byte. Built by
// SetUpCrcTable beside CrcTable; while null, CrcUpdate goes byte by byte.
extern uint32_t* CrcSliceTable;

// True when CrcUpdate folds whole 16-byte blocks with the processor's
// carry-less multiply (x86-64 with PCLMULQDQ only; never in the stub). Set by
// SetUpCrcTable from what the processor reports; both ways give the same
// register for every input.
extern bool CrcFoldsByMultiply;

void SetUpCrcTable();    // allocates CrcTable and CrcSliceTable and fills them
void ReleaseCrcTable();  // frees both at shutdown
void BuildCrcTable();    // fills the 256 entries of an allocated CrcTable

inline uint32_t CrcUpdateByte(uint8_t byte, uint32_t crc)
{
    return CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// Runs CrcUpdateByte over count bytes in order; a count of 0 or less leaves the
// register as it is.
void CrcUpdate(const uint8_t* bytes, int32_t count, uint32_t& crc);

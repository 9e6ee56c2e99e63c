#include "decode/Crc32.h"

#include "fileio/Memory.h"

#include <cstring>

uint32_t* CrcTable = nullptr;
uint32_t* CrcSliceTable = nullptr;

constexpr uint32_t CrcSlices = 16;

void SetUpCrcTable()
{
    CrcTable = static_cast<uint32_t*>(AllocateBlock(1028));
    BuildCrcTable();
    uint32_t* slices = static_cast<uint32_t*>(AllocateBlock(CrcSlices * 256 * sizeof(uint32_t)));
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = CrcTable[n];
        for (uint32_t slice = 0; slice < CrcSlices; ++slice) {
            slices[slice * 256 + n] = value;
            value = CrcTable[value & 0xFF] ^ (value >> 8);
        }
    }
    CrcSliceTable = slices;
}

void ReleaseCrcTable()
{
    ReleaseBlock(CrcTable);
    ReleaseBlock(CrcSliceTable);
    CrcTable = nullptr;
    CrcSliceTable = nullptr;
}

void BuildCrcTable()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        CrcTable[n] = value;
    }
}

void CrcUpdate(const uint8_t* bytes, int32_t count, uint32_t& crc)
{
    uint32_t value = crc;
    const uint32_t(*t)[256] = reinterpret_cast<const uint32_t(*)[256]>(CrcSliceTable);
    if (t) {
        // Sixteen bytes a step, the same register as sixteen CrcUpdateByte steps:
        // byte i of the step is advanced over the 15 - i bytes after it by
        // table 15 - i.
        while (count >= 16) {
            uint32_t a;
            uint32_t b;
            uint32_t c;
            uint32_t d;
            std::memcpy(&a, bytes, 4);
            std::memcpy(&b, bytes + 4, 4);
            std::memcpy(&c, bytes + 8, 4);
            std::memcpy(&d, bytes + 12, 4);
            // Twelve of the sixteen lookups do not depend on the register; they are
            // summed first, so that only the four of the first word wait for it.
            uint32_t rest = t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24];
            rest ^= t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24];
            rest ^= t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
            a ^= value;
            value = (t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF]) ^ (t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24]) ^ rest;
            bytes += 16;
            count -= 16;
        }
    }
    for (int32_t i = 0; i < count; ++i)
        value = CrcUpdateByte(bytes[i], value);
    crc = value;
}

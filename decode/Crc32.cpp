#include "decode/Crc32.h"

#include "fileio/Memory.h"

#include <cstring>

uint32_t* CrcTable = nullptr;
uint32_t* CrcSliceTable = nullptr;

constexpr uint32_t CrcSlices = 8;

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
    const uint32_t* t = CrcSliceTable;
    if (t) {
        // Eight bytes a step, the same register as eight CrcUpdateByte steps.
        while (count >= 8) {
            uint32_t low;
            uint32_t high;
            std::memcpy(&low, bytes, 4);
            std::memcpy(&high, bytes + 4, 4);
            low ^= value;
            value = t[7 * 256 + (low & 0xFF)] ^ t[6 * 256 + ((low >> 8) & 0xFF)] ^
                    t[5 * 256 + ((low >> 16) & 0xFF)] ^ t[4 * 256 + (low >> 24)] ^ t[3 * 256 + (high & 0xFF)] ^
                    t[2 * 256 + ((high >> 8) & 0xFF)] ^ t[256 + ((high >> 16) & 0xFF)] ^ t[high >> 24];
            bytes += 8;
            count -= 8;
        }
    }
    for (int32_t i = 0; i < count; ++i)
        value = CrcUpdateByte(bytes[i], value);
    crc = value;
}

#include "decode/Crc32.h"

#include "fileio/Memory.h"

uint32_t* CrcTable = nullptr;

void SetUpCrcTable()
{
    CrcTable = static_cast<uint32_t*>(AllocateBlock(1028));
    BuildCrcTable();
}

void ReleaseCrcTable()
{
    ReleaseBlock(CrcTable);
    CrcTable = nullptr;
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
    for (int32_t i = 0; i < count; ++i)
        value = CrcUpdateByte(bytes[i], value);
    crc = value;
}

#include "decode/Decrypt.h"

#include "decode/Crc32.h"

CipherKeySet CipherKeys;

void InitKeys(const char* password)
{
    CipherKeys.key0 = 0x12345678u;
    CipherKeys.key1 = 0x23456789u;
    CipherKeys.key2 = 0x34567890u;
    while (*password)
        UpdateKeys(static_cast<uint8_t>(*password++));
}

void UpdateKeys(uint8_t byte)
{
    CipherKeys.key0 = CrcUpdateByte(byte, CipherKeys.key0);
    CipherKeys.key1 = (CipherKeys.key1 + (CipherKeys.key0 & 0xFF)) * 134775813u + 1;
    CipherKeys.key2 = CrcUpdateByte(static_cast<uint8_t>(CipherKeys.key1 >> 24), CipherKeys.key2);
}

uint8_t DecryptByte()
{
    uint32_t t = (CipherKeys.key2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void DecryptBytes(uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t plain = static_cast<uint8_t>(bytes[i] ^ DecryptByte());
        UpdateKeys(plain);
        bytes[i] = plain;
    }
}

bool CheckEncryptionHeader(uint8_t* header, uint16_t length, uint16_t flags, const char* password,
                           uint32_t timeAndDate, uint32_t crc32)
{
    if (!password || !*password || length == 0 || length > EncryptionHeaderSize)
        return false;
    InitKeys(password);
    for (uint16_t i = 0; i < length; ++i) {
        uint8_t plain = static_cast<uint8_t>(header[length + i] ^ DecryptByte());
        UpdateKeys(plain);
        header[i] = plain;
    }
    uint8_t expected = (flags & FlagCheckByteIsTime) ? static_cast<uint8_t>(timeAndDate >> 8)
                                                     : static_cast<uint8_t>(crc32 >> 24);
    return header[length - 1] == expected;
}

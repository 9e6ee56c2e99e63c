#include "decode/Decrypt.h"

#include "decode/Crc32.h"

CipherKeySet CipherKeys;

void InitKeys(CipherKeySet& keys, const char* password)
{
    keys.key0 = 0x12345678u;
    keys.key1 = 0x23456789u;
    keys.key2 = 0x34567890u;
    while (*password)
        UpdateKeys(keys, static_cast<uint8_t>(*password++));
}

void UpdateKeys(CipherKeySet& keys, uint8_t plain)
{
    keys.key0 = CrcUpdateByte(plain, keys.key0);
    keys.key1 = (keys.key1 + (keys.key0 & 0xFF)) * 134775813u + 1;
    keys.key2 = CrcUpdateByte(static_cast<uint8_t>(keys.key1 >> 24), keys.key2);
}

uint8_t KeyStreamByte(const CipherKeySet& keys)
{
    uint32_t t = (keys.key2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void DecryptBytes(uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t plain = static_cast<uint8_t>(bytes[i] ^ KeyStreamByte(CipherKeys));
        UpdateKeys(CipherKeys, plain);
        bytes[i] = plain;
    }
}

bool CheckEncryptionHeader(uint8_t* header, uint16_t length, uint16_t flags, const char* password,
                           uint32_t timeAndDate, uint32_t crc32)
{
    if (!password || !*password || length == 0 || length > EncryptionHeaderSize)
        return false;
    InitKeys(CipherKeys, password);
    for (uint16_t i = 0; i < length; ++i) {
        uint8_t plain = static_cast<uint8_t>(header[length + i] ^ KeyStreamByte(CipherKeys));
        UpdateKeys(CipherKeys, plain);
        header[i] = plain;
    }
    uint8_t expected =
        (flags & FlagCheckByteIsTime) ? static_cast<uint8_t>(timeAndDate >> 8) : static_cast<uint8_t>(crc32 >> 24);
    return header[length - 1] == expected;
}

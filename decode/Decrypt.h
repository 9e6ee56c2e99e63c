#pragma once
#include <cstdint>

// The traditional PKWARE encryption of the ZIP format: a stream cipher over
// three 32-bit keys seeded from the password. The program only decrypts.

struct CipherKeySet {
    uint32_t key0;
    uint32_t key1;
    uint32_t key2;
};
extern CipherKeySet CipherKeys;  // one set for the program; each check re-seeds it

constexpr uint32_t EncryptionHeaderSize = 12;
// The password prompt takes at most this many characters, so no longer
// password can ever open a member in the stub.
constexpr uint32_t MaxPasswordLength = 24;
// The general-purpose flag bit that moves the check byte to the time's high
// byte (bit 3: the member's sizes follow its data, so its CRC-32 was unknown
// when the encryption header was written).
constexpr uint16_t FlagCheckByteIsTime = 0x0008;

// The key schedule, over the caller's key set: decryption here runs on
// CipherKeys, mksfx encrypts with a set of its own.
void InitKeys(CipherKeySet& keys, const char* password);
void UpdateKeys(CipherKeySet& keys, uint8_t plain);
uint8_t KeyStreamByte(const CipherKeySet& keys);  // XORed with the next plain byte

// Checks `password` against a member's encryption header. `header` holds 24
// bytes: the 12 stored bytes in 12..23 (never touched) are decrypted into
// 0..11. The check byte (header[11]) must equal the time's high byte when flag
// bit 3 is set, else the CRC-32's high byte. An empty password fails without
// touching the keys. After a true result CipherKeys stand at the member's data.
bool CheckEncryptionHeader(uint8_t* header, uint16_t length, uint16_t flags, const char* password,
                           uint32_t timeAndDate, uint32_t crc32);

// Decrypts count bytes in place, first to last, advancing the keys.
void DecryptBytes(uint8_t* bytes, uint32_t count);

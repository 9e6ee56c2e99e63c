#include "decode/Decrypt.h"

#include "decode/Crc32.h"
#include "tests/support/DecodeHarness.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

// The encrypting side of the cipher, after the ZIP application note, on zlib's
// CRC table: an encryptor independent of the code under test.
struct Encryptor {
    uint32_t keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
    explicit Encryptor(const std::string& password)
    {
        for (char c : password)
            Update(static_cast<uint8_t>(c));
    }
    static uint32_t Crc(uint32_t crc, uint8_t byte)
    {
        return static_cast<uint32_t>(get_crc_table()[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
    }
    void Update(uint8_t plain)
    {
        keys[0] = Crc(keys[0], plain);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = Crc(keys[2], static_cast<uint8_t>(keys[1] >> 24));
    }
    uint8_t Encrypt(uint8_t plain)
    {
        uint32_t t = (keys[2] & 0xFFFF) | 2;
        uint8_t cipher = static_cast<uint8_t>(plain ^ ((t * (t ^ 1)) >> 8));
        Update(plain);
        return cipher;
    }
};

// A 24-byte check buffer: 11 fixed bytes and the check byte, encrypted into 12..23.
std::vector<uint8_t> HeaderBuffer(const std::string& password, uint8_t checkByte)
{
    Encryptor encryptor(password);
    std::vector<uint8_t> buffer(24, 0);
    for (int i = 0; i < 12; ++i)
        buffer[12 + i] = encryptor.Encrypt(i < 11 ? static_cast<uint8_t>(0x3C * i + 7) : checkByte);
    return buffer;
}

class Decryption : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CrcTable)
            SetUpCrcTable();
    }
};

}  // namespace

TEST_F(Decryption, KeysStartFromTheConstantsAndTakeOneUpdatePerCharacter)
{
    InitKeys(CipherKeys, "");
    EXPECT_EQ(CipherKeys.key0, 0x12345678u);
    EXPECT_EQ(CipherKeys.key1, 0x23456789u);
    EXPECT_EQ(CipherKeys.key2, 0x34567890u);
    Encryptor reference("secret");
    InitKeys(CipherKeys, "secret");
    EXPECT_EQ(CipherKeys.key0, reference.keys[0]);
    EXPECT_EQ(CipherKeys.key1, reference.keys[1]);
    EXPECT_EQ(CipherKeys.key2, reference.keys[2]);
}

TEST_F(Decryption, CheckByteIsTheCrcHighByteOrWithFlagBit3TheTimeHighByte)
{
    std::vector<uint8_t> header = HeaderBuffer("pw", 0xCB);
    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 12, 0x0001, "pw", 0x12340000u, 0xCBF43926u));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0x0001, "pw", 0x1234CB00u, 0xCAF43926u));
    // Flag bit 3: the time's high byte decides, whatever the CRC field holds.
    header = HeaderBuffer("pw", 0x6B);
    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 12, 0x0009, "pw", 0x00006B3Cu, 0x00000000u));
    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 12, 0x0009, "pw", 0x99996B3Cu, 0xCBF43926u));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0x0009, "pw", 0x00006A3Cu, 0x6B000000u));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0x0001, "pw", 0x00006B3Cu, 0x00000000u));
}

TEST_F(Decryption, AcceptedKeysDecryptTheDataThatFollows)
{
    Encryptor encryptor("letmein");
    std::vector<uint8_t> header(24);
    for (int i = 0; i < 12; ++i)
        header[12 + i] = encryptor.Encrypt(i < 11 ? static_cast<uint8_t>(i * 31) : 0x8E);
    Bytes plain = RandomBytes(1000, 8);
    Bytes cipher;
    for (uint8_t byte : plain)
        cipher.push_back(encryptor.Encrypt(byte));
    ASSERT_TRUE(CheckEncryptionHeader(header.data(), 12, 1, "letmein", 0, 0x8E000000u));
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(header[i], static_cast<uint8_t>(i * 31));
    DecryptBytes(cipher.data(), static_cast<uint32_t>(cipher.size()));
    EXPECT_TRUE(cipher == plain);
}

TEST_F(Decryption, FailedAttemptsLeaveTheStoredBytesForTheNext)
{
    std::vector<uint8_t> header = HeaderBuffer("right", 0x42);
    std::vector<uint8_t> stored(header.begin() + 12, header.end());
    // These two wrong passwords happen not to reach check byte 0x42 here.
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0, "wrong", 0, 0x42000000u));
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0, "Right", 0, 0x42000000u));
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), header.begin() + 12));
    EXPECT_TRUE(CheckEncryptionHeader(header.data(), 12, 0, "right", 0, 0x42000000u));
}

TEST_F(Decryption, AnEmptyPasswordFailsWithoutTouchingTheKeys)
{
    std::vector<uint8_t> header = HeaderBuffer("", 0x00);
    CipherKeys = {1, 2, 3};
    EXPECT_FALSE(CheckEncryptionHeader(header.data(), 12, 0, "", 0, 0));
    EXPECT_EQ(CipherKeys.key0, 1u);
    EXPECT_EQ(CipherKeys.key1, 2u);
    EXPECT_EQ(CipherKeys.key2, 3u);
}

TEST_F(Decryption, DecodersDecryptAcrossPiecesAndUpdateOnThePlainBytes)
{
    // An encrypted deflated member of more than one piece, and a stored one.
    Bytes plain = RandomBytes(20000, 1);
    Bytes text(60000, 'q');
    plain.insert(plain.end(), text.begin(), text.end());
    for (Decoder decoder : {Decoder::Inflate, Decoder::CopyStored}) {
        Bytes data = decoder == Decoder::Inflate ? DeflateWithZlib(plain, 0) : plain;
        ASSERT_GT(data.size(), 32768u);
        Encryptor encryptor("pw");
        Bytes cipher;
        for (uint8_t byte : data)
            cipher.push_back(encryptor.Encrypt(byte));
        InitKeys(CipherKeys, "pw");
        CipherKeySet keys = CipherKeys;
        DecodeSetup setup;
        setup.flags = 1;
        setup.keys = &keys;
        DecodeResult result = RunDecoder(decoder, cipher, setup);
        EXPECT_TRUE(result.succeeded);
        EXPECT_TRUE(result.output == plain);
    }
}

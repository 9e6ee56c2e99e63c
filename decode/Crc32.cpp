#include "decode/Crc32.h"

#include "fileio/Memory.h"

#include <cstring>

// The folding path is chosen by libgcc's CPU detection, which a constructor
// fills in; Windows builds link without a C runtime to run it, so they keep
// to the slicing tables.
#if defined(__x86_64__) && !defined(_WIN32)
#define ZELVIX_CRC_FOLDING 1
#include <immintrin.h>
#endif

uint32_t* CrcTable = nullptr;
uint32_t* CrcSliceTable = nullptr;
bool CrcFoldsByMultiply = false;

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
#ifdef ZELVIX_CRC_FOLDING
    CrcFoldsByMultiply = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#endif
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

#ifdef ZELVIX_CRC_FOLDING
// Moves a lane 128 bits on and adds the next 16 bytes to it.
__attribute__((target("pclmul,sse4.1"))) static inline __m128i Fold128(__m128i lane, __m128i next, __m128i fold128)
{
    __m128i low = _mm_clmulepi64_si128(lane, fold128, 0x00);
    __m128i high = _mm_clmulepi64_si128(lane, fold128, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The register over `count` bytes (a multiple of 16, at least 64) by folding:
// the data is a polynomial over GF(2), and multiplying a 128-bit lane by
// x^(d+32) and x^(d-32) modulo the CRC polynomial (the constants below, bit
// reflected like the register) moves it d bits further on, where it is added
// to the data there. Four lanes go 512 bits a step, then fold into one; the
// last 128 bits shrink to 64 and a Barrett reduction gives the 32-bit
// remainder. Compiled for PCLMULQDQ and SSE4.1 alone, so the rest of the
// program runs on any x86-64; only called when the processor has both.
__attribute__((target("pclmul,sse4.1"))) static uint32_t CrcFold(const uint8_t* bytes, uint32_t count,
                                                                 uint32_t crc)
{
    // Each is x^k mod P (P = 0x104C11DB7) by carry-less long division, then
    // written bit-reversed over 33 bits; floor(x^64 / P) and P likewise.
    const __m128i fold512 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // x^480, x^544
    const __m128i fold128 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // x^96, x^160
    const __m128i fold64 = _mm_set_epi64x(0, 0x0163cd6124);              // x^64
    const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // floor(x^64 / P), P
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32));
    __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 48));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    bytes += 64;
    count -= 64;
    while (count >= 64) {
        __m128i y1 = _mm_clmulepi64_si128(x1, fold512, 0x00);
        __m128i y2 = _mm_clmulepi64_si128(x2, fold512, 0x00);
        __m128i y3 = _mm_clmulepi64_si128(x3, fold512, 0x00);
        __m128i y4 = _mm_clmulepi64_si128(x4, fold512, 0x00);
        x1 = _mm_clmulepi64_si128(x1, fold512, 0x11);
        x2 = _mm_clmulepi64_si128(x2, fold512, 0x11);
        x3 = _mm_clmulepi64_si128(x3, fold512, 0x11);
        x4 = _mm_clmulepi64_si128(x4, fold512, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, y1), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, y2), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, y3), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, y4), _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 48)));
        bytes += 64;
        count -= 64;
    }
    x1 = Fold128(x1, x2, fold128);
    x1 = Fold128(x1, x3, fold128);
    x1 = Fold128(x1, x4, fold128);
    while (count >= 16) {
        x1 = Fold128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), fold128);
        bytes += 16;
        count -= 16;
    }

    // 128 bits to 64, then Barrett's reduction to the 32-bit remainder.
    x2 = _mm_clmulepi64_si128(x1, fold128, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), fold64, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), barrett, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}
#endif

void CrcUpdate(const uint8_t* bytes, int32_t count, uint32_t& crc)
{
    uint32_t value = crc;
#ifdef ZELVIX_CRC_FOLDING
    if (CrcFoldsByMultiply && count >= 64) {
        uint32_t whole = static_cast<uint32_t>(count) & ~15u;
        value = CrcFold(bytes, whole, value);
        bytes += whole;
        count -= static_cast<int32_t>(whole);
    }
#endif
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

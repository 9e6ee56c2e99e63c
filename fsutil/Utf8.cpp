#include "fsutil/Utf8.h"

uint32_t Utf8CharLength(const char* text, const char* end)
{
    const uint32_t lead = static_cast<uint8_t>(*text);
    uint32_t length;
    uint32_t point;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {  // C0 and C1 could only start overlong forms
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {  // F5 and above lie past U+10FFFF
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (end - text < static_cast<long>(length))
        return 0;
    for (uint32_t i = 1; i < length; ++i) {
        const uint32_t next = static_cast<uint8_t>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        point = point << 6 | (next & 0x3F);
    }
    static const uint32_t SmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < SmallestOfLength[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    return length;
}

bool IsValidUtf8(const char* text, uint32_t length)
{
    const char* const end = text + length;
    while (text < end) {
        const uint32_t step = Utf8CharLength(text, end);
        if (step == 0)
            return false;
        text += step;
    }
    return true;
}

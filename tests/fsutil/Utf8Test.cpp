#include "fsutil/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Utf8Case {
    const char* behaviour;
    std::string bytes;
    bool valid;
};

const Utf8Case Utf8Cases[] = {
    {"ASCII", "readme.txt", true},
    {"two, three and four bytes", "caf\xC3\xA9 \xE8\xA1\xA8 \xF0\x9F\x98\x80", true},
    {"the last code point", "\xF4\x8F\xBF\xBF", true},
    {"the first point of four bytes", "\xF0\x90\x80\x80", true},
    {"Latin-1 byte", "caf\xE9.txt", false},
    {"stray continuation byte", "\x80", false},
    {"overlong slash", "\xC0\xAF", false},
    {"overlong of three bytes", "\xE0\x80\xAF", false},
    {"overlong of four bytes", "\xF0\x8F\xBF\xBF", false},
    {"surrogate", "\xED\xA0\x80", false},
    {"past U+10FFFF", "\xF4\x90\x80\x80", false},
    {"cut short at the end", "ab\xE8\xA1", false},
    {"lead byte before ASCII",
     "\xE8"
     "a\xA8",
     false},
};

TEST(Utf8, AcceptsShortestFormsOnly)
{
    for (const Utf8Case& c : Utf8Cases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(IsValidUtf8(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.valid);
    }
}

}  // namespace

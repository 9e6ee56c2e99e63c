#include "fsutil/PathString.h"

#include "archive/OutputPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DirPart(const std::string& path)
{
    char out[300];
    PathDirPart(path.c_str(), out, sizeof out);
    return out;
}

std::string NamePart(const std::string& path)
{
    char out[300];
    PathNamePart(path.c_str(), out, sizeof out);
    return out;
}

std::string FromBuffer(const std::string& bytes, uint16_t count)
{
    char out[300];
    StringFromBuffer(bytes.data(), count, out);
    return out;
}

std::string Slashed(std::string path)
{
    return SlashesToBackslashes(path.data());
}

std::string Appended(const std::string& path)
{
    char buffer[300];
    CopyString(buffer, sizeof buffer, path.c_str());
    return AppendBackslash(buffer);
}

TEST(PathDirPart, SplitsAtTheLastSeparatorKeepingDriveRoots)
{
    EXPECT_EQ(DirPart("C:\\"), "C:\\");
    EXPECT_EQ(DirPart("C:/"), "C:/");
    EXPECT_EQ(DirPart("C:x"), "C:x");  // three characters with a colon come back whole
    EXPECT_EQ(DirPart("C:\\Data"), "C:\\");
    EXPECT_EQ(DirPart("C:\\Data\\File.txt"), "C:\\Data");
    EXPECT_EQ(DirPart("C:/Data/File.txt"), "C:/Data");
    EXPECT_EQ(DirPart("C:file"), "C:");
    EXPECT_EQ(DirPart("\\\\server\\share"), "\\\\server");
    EXPECT_EQ(DirPart("Data\\"), "Data");
    EXPECT_EQ(DirPart("File.txt"), "");
    EXPECT_EQ(DirPart(""), "");
}

TEST(PathDirPart, NeverWritesPastTheBufferItIsGiven)
{
    char out[6] = {'#', '#', '#', '#', '#', '#'};
    EXPECT_EQ(PathDirPart("C:\\Long\\Directory\\File", out, 5), 4u);
    EXPECT_STREQ(out, "C:\\L");
    EXPECT_EQ(out[5], '#');
}

TEST(PathNamePart, TakesTheFinalComponentOfAnySeparator)
{
    EXPECT_EQ(NamePart("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(NamePart("C:c.txt"), "c.txt");
    EXPECT_EQ(NamePart("plain.txt"), "plain.txt");
    EXPECT_EQ(NamePart("dir\\"), "");
    EXPECT_EQ(NamePart("docs/"), "");
    EXPECT_EQ(NamePart(""), "");
}

TEST(PathNamePart, CutsALongComponentToTwoHundredFiftyFiveCharacters)
{
    std::string longName(300, 'n');
    EXPECT_EQ(NamePart("dir\\" + longName), std::string(255, 'n'));
    char small[8];
    EXPECT_EQ(PathNamePart(longName.c_str(), small, sizeof small), 7u);
}

TEST(StringFromBuffer, TakesExactlyCountBytesUpToTheFirstNul)
{
    EXPECT_EQ(FromBuffer(std::string("ab\0cd", 5), 5), "ab");
    EXPECT_EQ(FromBuffer("abcdef", 3), "abc");
    EXPECT_EQ(FromBuffer("abc", 0), "");
    EXPECT_EQ(FromBuffer(std::string("\0abc", 4), 4), "");
}

TEST(SlashesToBackslashes, ConvertsEverySlashAndNothingElse)
{
    EXPECT_EQ(Slashed(""), "");
    EXPECT_EQ(Slashed("a/b//c"), "a\\b\\\\c");
    EXPECT_EQ(Slashed("C:\\mixed/path"), "C:\\mixed\\path");
    std::string longName;
    for (int i = 0; i < 100; ++i)
        longName += "ab/";
    EXPECT_EQ(Slashed(longName).find('/'), std::string::npos);
}

TEST(AppendBackslash, AddsOneSeparatorOnlyWhenMissing)
{
    EXPECT_EQ(Appended("C:"), "C:\\");
    EXPECT_EQ(Appended("C:\\"), "C:\\");
    EXPECT_EQ(Appended(""), "");
    EXPECT_EQ(Appended("C:\\Out"), "C:\\Out\\");
    EXPECT_EQ(Appended("a/"), "a/\\");  // only a backslash counts as the separator
}

TEST(StripLeadingBackslash, RemovesExactlyOne)
{
    EXPECT_STREQ(StripLeadingBackslash("\\\\two"), "\\two");
    EXPECT_STREQ(StripLeadingBackslash("\\"), "");
    EXPECT_STREQ(StripLeadingBackslash(""), "");
    EXPECT_STREQ(StripLeadingBackslash("dir\\"), "dir\\");
}

TEST(IsUnsafeMemberName, AcceptsOrdinaryNames)
{
    for (const char* name : {"readme.txt", "docs\\readme.txt", "\\rooted.txt", "a\\b\\c.txt", "..hidden",
                             "file..txt", "CONFIG.SYS", "console.txt", "COM10", "LPT0.txt", "nul-ish", "dir\\",
                             "a b\\c d.txt", ".profile", "ab\\c.txt", "COM\xB4"}) {
        EXPECT_FALSE(IsUnsafeMemberName(name)) << name;
    }
}

TEST(IsUnsafeMemberName, RefusesNamesThatLeaveTheDestination)
{
    for (const char* name : {"\\\\server\\share\\x", "..\\evil.txt", "a\\..\\..\\evil.txt", "a\\..", "..",
                             ". .\\x", "a\\...\\b", "a\\ \\b", "a\\.\\b", "a/../b"}) {
        EXPECT_EQ(WhyUnsafeMemberName(name), UnsafeName::LeavesDestination) << name;
    }
    for (const char* name : {"C:\\Windows\\x.dll", "C:evil", "file.txt:stream"})
        EXPECT_EQ(WhyUnsafeMemberName(name), UnsafeName::HasColon) << name;
}

TEST(IsUnsafeMemberName, RefusesCharactersNoFileNameMayHold)
{
    // A wildcard would also make the existence test match other files.
    for (const char* name :
         {"*.txt", "a?.txt", "dir\\<x>", "pipe|name", "quote\"d", "tab\there", "\x01", "unit\x1Fsep"}) {
        EXPECT_EQ(WhyUnsafeMemberName(name), UnsafeName::ReservedChar) << name;
    }
    EXPECT_FALSE(IsUnsafeMemberName("caf\xE9 cr\xE8me.txt"));  // ANSI letters beyond ASCII are fine
}

TEST(IsUnsafeMemberName, RefusesDeviceNamesInAnyComponentAndCase)
{
    for (const char* name : {"CON", "con.txt", "a\\PRN\\b.txt", "Aux.log", "NUL", "nul.tar.gz", "COM1", "com9.txt",
                             "LPT1", "lpt5.doc", "dir\\CON .txt", "CON \\x", "conin$", "CONOUT$.log", "COM\xB9",
                             "lpt\xB2.txt", "com\xB3", "LPT\xB3.txt"}) {
        EXPECT_EQ(WhyUnsafeMemberName(name), UnsafeName::Device) << name;
    }
}

// Code page 932 (Shift-JIS): lead bytes 81-9F and E0-FC. The second byte of
// 表 (95 5C), ソ (83 5C) and 能 (94 5C) is the backslash's byte.
class CodePage932 : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const uint8_t ranges[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
        SetLeadByteRanges(ranges, sizeof ranges);
    }
    void TearDown() override { SetLeadByteRanges(nullptr, 0); }
};

const std::string Table = "\x95\x5C";                      // 表
const std::string So = "\x83\x5C";                         // ソ
const std::string Timetable = "\x8E\x9E\x8D\x8F" + Table;  // 時刻表

TEST_F(CodePage932, TrailBackslashesAreNeverSeparators)
{
    std::string path = "S:\\" + Timetable;
    EXPECT_EQ(DirPart(path + "\\" + So + "\\readme.txt"), path + "\\" + So);
    EXPECT_EQ(DirPart(path), "S:\\");
    EXPECT_EQ(DirPart(So + "\\" + Table), So);
    EXPECT_EQ(DirPart(Table), "");
    EXPECT_EQ(NamePart(path), Timetable);
    EXPECT_EQ(NamePart("a\\" + So), So);
    EXPECT_EQ(Appended(path), path + "\\");
    EXPECT_EQ(Appended(path + "\\"), path + "\\");
    EXPECT_FALSE(EndsWithBackslash(Table.c_str()));
    EXPECT_TRUE(EndsWithBackslash((Table + "\\").c_str()));
    EXPECT_FALSE(ContainsChar(Timetable.c_str(), '\\'));
    EXPECT_TRUE(ContainsChar((Table + "\\x").c_str(), '\\'));
    EXPECT_STREQ(StripLeadingBackslash(Table.c_str()), Table.c_str());

    // A lead byte just before the end is a character of its own.
    EXPECT_EQ(NamePart("a\\\x95"), "\x95");
    EXPECT_TRUE(EndsWithBackslash("\x95\\\\"));  // 表 then a backslash
}

TEST_F(CodePage932, NamePartIsNeverCutInsideACharacter)
{
    // Two bytes, 126 two-byte characters, then 表 in bytes 255 and 256.
    std::string name = "ab" + std::string(126 * 2, '\x95') + Table;
    EXPECT_EQ(NamePart("dir\\" + name), name.substr(0, 254));
    char small[5];
    EXPECT_EQ(PathNamePart(Table.c_str(), small, 2), 0u);  // room for one byte: the character does not fit
    EXPECT_EQ(PathNamePart((So + Table).c_str(), small, sizeof small), 4u);
}

TEST_F(CodePage932, TheUnsafeNameCheckReadsWholeCharacters)
{
    for (const std::string& name :
         {Table + ".txt", "docs\\" + So + "\\" + Table + "\\CON" + Table, Timetable + "\\readme.txt",
          std::string("\x83\x7C.txt") /* ポ: second byte is | */}) {
        EXPECT_FALSE(IsUnsafeMemberName(name.c_str())) << name;
    }
    for (const std::string& name :
         {Table + "\\..\\..\\evil.txt", "..\\" + Table, So + "\\CON.txt", Table + ":stream", Table + "\\*.txt"}) {
        EXPECT_TRUE(IsUnsafeMemberName(name.c_str())) << name;
    }
}

TEST_F(CodePage932, OutputPathsKeepATrailBackslashOfTheExtractPath)
{
    char out[64];
    ASSERT_TRUE(FormOutputPath(("S:\\" + Timetable).c_str(), (Table + ".txt").c_str(), out, sizeof out));
    EXPECT_EQ(std::string(out), "S:\\" + Timetable + "\\" + Table + ".txt");
    ASSERT_TRUE(FormOutputPath(("S:\\" + Timetable + "\\").c_str(), "a.txt", out, sizeof out));
    EXPECT_EQ(std::string(out), "S:\\" + Timetable + "\\a.txt");
}

// Code page 932 knows no superscript digits: its bytes B2, B3 and B9 are the
// half-width katakana ｲ, ｳ and ｹ.
TEST_F(CodePage932, KatakanaAfterComOrLptNamesNoDevice)
{
    SetSuperscriptDigits("???");  // what a code page without them makes of them
    for (const char* name : {"COM\xB2.txt", "lpt\xB9", "COM\xB3", "COM\x82\x50"})  // the last is １
        EXPECT_EQ(WhyUnsafeMemberName(name), UnsafeName::None) << name;
    EXPECT_EQ(WhyUnsafeMemberName("COM1.txt"), UnsafeName::Device);
    SetSuperscriptDigits("\xB9\xB2\xB3");
}

// Text in UTF-8, the process's code page when the manifest's entry is honoured.
class Utf8Text : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUtf8Text(true);
        SetSuperscriptDigits("\xC2\xB9\xC2\xB2\xC2\xB3");
    }
    void TearDown() override
    {
        SetUtf8Text(false);
        SetSuperscriptDigits("\xB9\xB2\xB3");
    }
};

std::string Repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

// Limits count UTF-16 units: 255 in a component, whatever the bytes.
TEST_F(Utf8Text, NamePartKeepsTwoHundredFiftyFiveUnitsAndWholeCharacters)
{
    const std::string japanese = "\xE8\xA1\xA8";   // 表: 3 bytes, 1 unit
    const std::string emoji = "\xF0\x9F\x98\x80";  // 😀: 4 bytes, 2 units
    struct Case {
        const char* behaviour;
        std::string name;
        std::string kept;
    };
    const Case cases[] = {
        {"100 Japanese characters are kept whole", Repeated(japanese, 100), Repeated(japanese, 100)},
        {"255 Japanese characters are kept", Repeated(japanese, 255), Repeated(japanese, 255)},
        {"the 256th is cut", Repeated(japanese, 256), Repeated(japanese, 255)},
        {"a 4-byte character that ends at unit 255", "a" + Repeated(japanese, 252) + emoji,
         "a" + Repeated(japanese, 252) + emoji},
        {"a 4-byte character that would end at unit 256", Repeated(japanese, 254) + emoji,
         Repeated(japanese, 254)},
        {"a byte that starts no character counts as one", std::string("\xFF") + Repeated("a", 300),
         "\xFF" + Repeated("a", 254)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        char out[MaxNamePartBytes + 1];
        PathNamePart(("dir\\" + c.name).c_str(), out, sizeof out);
        EXPECT_EQ(std::string(out), c.kept);
        EXPECT_LE(TextUnits(out), MaxNamePart);
    }
    char small[6];
    EXPECT_EQ(PathNamePart((japanese + emoji).c_str(), small, sizeof small), 3u);  // no room for the emoji
    EXPECT_EQ(TextUnits(("a" + japanese + emoji).c_str()), 4u);
}

// Only ASCII "\", "/" and ":" separate; the superscript digits are the
// characters U+00B9, U+00B2 and U+00B3, whatever code page a name came from.
TEST_F(Utf8Text, TheUnsafeNameCheckDecidesOnCharacters)
{
    struct Case {
        const char* behaviour;
        const char* name;
        UnsafeName expected;
    };
    const Case cases[] = {
        {"fullwidth reverse solidus between dots",
         "..\xEF\xBC\xBC..\xEF\xBC\xBC"
         "evil.txt",
         UnsafeName::None},
        {"division slash between dots", "sub\\..\xE2\x88\x95..\xE2\x88\x95x.txt", UnsafeName::None},
        {"Cyrillic, Greek, emoji", "\xD0\x9F\\\xCE\xB5\\\xF0\x9F\x98\x80.txt", UnsafeName::None},
        {"COM with superscript one", "COM\xC2\xB9.txt", UnsafeName::Device},
        {"lpt with superscript two in a folder", "a\\lpt\xC2\xB2\\b", UnsafeName::Device},
        {"COM with superscript three", "COM\xC2\xB3", UnsafeName::Device},
        {"COM with half-width katakana i", "COM\xEF\xBD\xB2.txt", UnsafeName::None},
        {"COM with the 1252 byte of superscript one", "COM\xB9", UnsafeName::None},
        {"COM with superscript four", "COM\xE2\x81\xB4", UnsafeName::None},
        {"dots around a Japanese folder", "\xE8\xA1\xA8\\..\\..\\x", UnsafeName::LeavesDestination},
        {"a stream after Cyrillic", "\xD0\x96:s", UnsafeName::HasColon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(WhyUnsafeMemberName(c.name), c.expected);
    }
}

}  // namespace

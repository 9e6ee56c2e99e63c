#include "archive/OutputPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Formed(const std::string& base, const std::string& name, uint32_t size = 260)
{
    std::string out(size, '#');
    if (!FormOutputPath(base.c_str(), name.c_str(), out.data(), size))
        return "<too long>";
    return out.c_str();
}

TEST(FormOutputPath, JoinsWithExactlyOneSeparator)
{
    EXPECT_EQ(Formed("C:\\Out", "docs\\readme.txt"), "C:\\Out\\docs\\readme.txt");
    EXPECT_EQ(Formed("C:\\Out\\", "readme.txt"), "C:\\Out\\readme.txt");
    EXPECT_EQ(Formed("C:\\Out", "\\rooted.txt"), "C:\\Out\\rooted.txt");
    EXPECT_EQ(Formed("C:\\", "a.txt"), "C:\\a.txt");
}

TEST(FormOutputPath, AFullLengthExtractPathStillGetsItsSeparator)
{
    std::string base = "C:\\" + std::string(252, 'd');  // 255 characters, the most the path field holds
    std::string formed = Formed(base, "x.txt", 300);
    EXPECT_EQ(formed, base + "\\x.txt");
}

TEST(FormOutputPath, RefusesWhatDoesNotFitAndWritesNothingPastTheBuffer)
{
    std::string out(20, '#');
    EXPECT_FALSE(FormOutputPath("C:\\Out", "a-long-member-name.txt", out.data(), 10));
    EXPECT_EQ(out.substr(10), std::string(10, '#'));
    EXPECT_EQ(Formed("C:\\Out", "abc", 11), "C:\\Out\\abc");  // exactly fits with its terminator
    EXPECT_EQ(Formed("C:\\Out", "abcd", 11), "<too long>");
}

}  // namespace

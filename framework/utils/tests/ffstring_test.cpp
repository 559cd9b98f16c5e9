#include "framework/utils/ffstring.h"

#include <gtest/gtest.h>

using FF::utils::String;

TEST(FFString, LeftTailAndRightCutAtTheLength)
{
    const String path("/storage/user_dir");
    EXPECT_EQ(path.left(8), "/storage");
    EXPECT_EQ(path.left(100), path);
    EXPECT_EQ(path.tail(1), "storage/user_dir");
    EXPECT_EQ(path.tail(static_cast<std::uint32_t>(path.size())), "");
    EXPECT_EQ(path.tail(1000), "");
    EXPECT_EQ(String("HKLM\\COM3\\PortName").right(8), "PortName");
    EXPECT_EQ(String("abc").right(10), "abc");
}

TEST(FFString, ReverseFindGivesAllBitsWhenAbsent)
{
    EXPECT_EQ(String().reverseFind('\\'), 0xFFFFFFFFu);
    EXPECT_EQ(String("abc").reverseFind('\\'), 0xFFFFFFFFu);
    EXPECT_EQ(String("a\\b\\c").reverseFind('\\'), 3u);
}

TEST(FFString, CompareNoCaseIgnoresOnlyAsciiCase)
{
    EXPECT_EQ(String("portname").compare_no_case("PortName"), 0);
    EXPECT_EQ(String("COM#").compare_no_case("com#"), 0);
    EXPECT_NE(String("PortName").compare_no_case("RealPortName"), 0);
    EXPECT_NE(String("Port").compare_no_case("PortName"), 0);
    EXPECT_NE(String("PortName").compare_no_case("Port"), 0);
    EXPECT_NE(String("a").compare_no_case(nullptr), 0);
}

TEST(FFString, FormatReplacesTheContents)
{
    String name("old text that is long");
    EXPECT_EQ(name.format("COM%d", 12), "COM12");
    std::string longer(300, 'x');
    EXPECT_EQ(name.format("%s-%d", longer.c_str(), 7), longer + "-7");
}

TEST(FFString, TrimRemovesWhiteSpaceAtTheEnds)
{
    String field(" \t a b \r\n");
    EXPECT_EQ(String(field).trim(), "a b");
    EXPECT_EQ(String(field).trim_left(), "a b \r\n");
    EXPECT_EQ(String("   ").trim(), "");
}

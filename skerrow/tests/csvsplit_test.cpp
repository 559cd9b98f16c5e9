#include "skerrow/skerrow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

Fields split(const std::string& line, char separator = ',')
{
    Fields fields{"stale"};
    EXPECT_EQ(0, SplitCsvStr(&line, &fields, separator)) << line;
    return fields;
}

} // namespace

TEST(SplitCsvStr, EmptyLineIsRefusedAndClearsTheFields)
{
    const std::string empty;
    Fields fields{"stale"};
    EXPECT_EQ(-1, SplitCsvStr(&empty, &fields, ','));
    EXPECT_TRUE(fields.empty());
    EXPECT_EQ(-1, SplitCsvStr(nullptr, &fields, ','));
    EXPECT_EQ(-1, SplitCsvStr(&empty, nullptr, ','));
}

TEST(SplitCsvStr, TrimsFieldsAndKeepsEmptyOnes)
{
    EXPECT_EQ((Fields{"a", "b", "c"}), split("a, b ,c"));
    EXPECT_EQ((Fields{"a", "", "b"}), split("a,,b"));
    EXPECT_EQ((Fields{"", "a"}), split(",a"));
}

TEST(SplitCsvStr, TrailingSeparatorGivesNoEmptyLastField)
{
    EXPECT_EQ((Fields{"a", "b"}), split("a,b,"));
    EXPECT_EQ((Fields{""}), split(","));
    EXPECT_EQ((Fields{"a", ""}), split("a,,"));
}

TEST(SplitCsvStr, QuotedSeparatorsBelongToTheField)
{
    EXPECT_EQ((Fields{"x,y", "z"}), split("\"x,y\",z"));
    EXPECT_EQ((Fields{"a", "1;2;3"}), split("a;\"1;2;3\"", ';'));
    EXPECT_EQ((Fields{"x,y", "z"}), split("  \"x,y\"  , z"));
}

TEST(SplitCsvStr, DoubledQuotesBecomeOne)
{
    EXPECT_EQ((Fields{"say \"hi\"", "b"}), split("\"say \"\"hi\"\"\",b"));
    EXPECT_EQ((Fields{"\"", "b"}), split("\"\"\"\",b"));
    EXPECT_EQ((Fields{"", "b"}), split("\"\",b"));
    // A single quote inside stays.
    EXPECT_EQ((Fields{"x\"y\"z", "c"}), split("\"x\"y\"z\",c"));
    // Quotes that do not enclose the field stay as they are.
    EXPECT_EQ((Fields{"a\"\"b", "c"}), split("a\"\"b,c"));
}

TEST(SplitCsvStr, LineWithoutSeparatorIsOneUntouchedField)
{
    EXPECT_EQ((Fields{"  \"quoted\" text "}), split("  \"quoted\" text "));
    EXPECT_EQ((Fields{" "}), split(" "));
}

TEST(SplitCsvStr, LineFeedSeparatorDropsCarriageReturnsAndKeepsQuotes)
{
    EXPECT_EQ((Fields{"l1", "l2"}), split("l1\r\nl2", '\n'));
    EXPECT_EQ((Fields{"l1", "l2"}), split("l1\r\nl2\r\n", '\n'));
    EXPECT_EQ((Fields{"\"q\"", "x"}), split("\"q\"\nx", '\n'));
}

TEST(SplitCsvStr, UnclosedQuoteKeepsTheRestAsTheLastField)
{
    EXPECT_EQ((Fields{"a", "\"b,c"}), split("a,\"b,c"));
    EXPECT_EQ((Fields{"a", "\"b,"}), split("a, \"b, "));
    // The line's own last separator lies inside the open quote.
    EXPECT_EQ((Fields{"\"open,"}), split("\"open,"));
}

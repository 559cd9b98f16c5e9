#include "quillet/widgets/screentool.h"

#include <gtest/gtest.h>

TEST(QuilletScreenTool, EffectiveDpiDropsTwentyFourFromNinetySixOn)
{
    EXPECT_EQ(ScreenTool::effectiveDpi(96.0), 72);
    EXPECT_EQ(ScreenTool::effectiveDpi(120.0), 96);
    EXPECT_EQ(ScreenTool::effectiveDpi(144.0), 120);
    EXPECT_EQ(ScreenTool::effectiveDpi(192.0), 168);
    EXPECT_EQ(ScreenTool::effectiveDpi(95.9), 95);
}

TEST(QuilletScreenTool, ScaleFiguresAtCommonScreens)
{
    // 96 dpi: the identity.
    const int at96 = ScreenTool::effectiveDpi(96);
    for (int v : {12, 20, 24, 30, 323, 382})
        EXPECT_EQ(ScreenTool::scaleAt(at96, v), v);
    const int at120 = ScreenTool::effectiveDpi(120);
    EXPECT_EQ(ScreenTool::scaleAt(at120, 30), 40);
    EXPECT_EQ(ScreenTool::scaleAt(at120, 20), 26);
    // The single-precision ratio lies just below 5/3.
    const int at144 = ScreenTool::effectiveDpi(144);
    EXPECT_EQ(ScreenTool::scaleAt(at144, 30), 49);
    EXPECT_EQ(ScreenTool::scaleAt(at144, 24), 39);
    const int at95 = ScreenTool::effectiveDpi(95);
    EXPECT_EQ(at95, 95);
    EXPECT_EQ(ScreenTool::scaleAt(at95, 24), 31);
}

TEST(QuilletScreenTool, ScaleSizeRoundsHalfUp)
{
    EXPECT_EQ(ScreenTool::scaleSizeAt(72, QSize(305, 166)), QSize(305, 166));
    // 96/72 * 305 = 406.67, * 166 = 221.33.
    EXPECT_EQ(ScreenTool::scaleSizeAt(96, QSize(305, 166)), QSize(407, 221));
    // 108/72 = 1.5: 3 * 1.5 = 4.5 rounds up to 5.
    EXPECT_EQ(ScreenTool::scaleSizeAt(108, QSize(3, 1)), QSize(5, 2));
}

TEST(QuilletScreenTool, FontSizeSteps)
{
    EXPECT_EQ(ScreenTool::fontSizeAt(71, 11), 9);
    EXPECT_EQ(ScreenTool::fontSizeAt(72, 11), 11);
    EXPECT_EQ(ScreenTool::fontSizeAt(143, 11), 11);
    EXPECT_EQ(ScreenTool::fontSizeAt(144, 11), 12);
    EXPECT_EQ(ScreenTool::fontSizeAt(215, 11), 12);
}

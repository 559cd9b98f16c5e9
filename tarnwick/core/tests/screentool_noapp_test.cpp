#include "tarnwick/core/screentool.h"

#include <gtest/gtest.h>

// Only a QCoreApplication exists: there is no screen to read.
TEST(ScreenToolWithoutScreen, KeepsItsDefaults)
{
    EXPECT_EQ(ScreenTool::screenSize(), QSize(-1, -1));
    EXPECT_EQ(ScreenTool::scale(100), 100);
    EXPECT_EQ(ScreenTool::fontSize(11), 11);
    EXPECT_EQ(ScreenTool::scaleSize(QSize(-7, 13)), QSize(-7, 13));
    const QPair<int, int> p = ScreenTool::scaleRound(qMakePair(3, 4));
    EXPECT_EQ(p.first, 3);
    EXPECT_EQ(p.second, 4);
}

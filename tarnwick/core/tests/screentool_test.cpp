#include "tarnwick/core/screentool.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
struct DpiRow {
    qreal logical;
    int dpi;
    int font11;
    int scale100;
    int scaleSize100;
};
} // namespace

TEST(ScreenTool, ScalingTableByLogicalDpi)
{
    const DpiRow rows[] = {
        {72, 72, 11, 100, 100},   {95, 95, 11, 131, 132},   {96, 72, 11, 100, 100},
        {120, 96, 11, 133, 133},  {144, 120, 11, 166, 167}, {168, 144, 12, 200, 200},
        {192, 168, 12, 233, 233}, {240, 216, 13, 300, 300}, {96.9, 72, 11, 100, 100},
    };
    for (const DpiRow& r : rows) {
        const int dpi = ScreenTool::dpiForLogicalDpi(r.logical);
        EXPECT_EQ(dpi, r.dpi) << r.logical;
        const float f = ScreenTool::factorForDpi(dpi);
        EXPECT_EQ(ScreenTool::fontSizeFor(f, 11), r.font11) << r.logical;
        EXPECT_EQ(ScreenTool::scaleFor(f, 100), r.scale100) << r.logical;
        EXPECT_EQ(ScreenTool::scaleSizeFor(f, QSize(100, 100)), QSize(r.scaleSize100, r.scaleSize100)) << r.logical;
    }
}

TEST(ScreenTool, NegativeLengthsRoundLikeQRound)
{
    const float f = ScreenTool::factorForDpi(ScreenTool::dpiForLogicalDpi(120));
    EXPECT_EQ(ScreenTool::scaleSizeFor(f, QSize(-7, 3)), QSize(-9, 4));
    EXPECT_EQ(ScreenTool::scaleFor(f, -7), -9); // truncation toward zero of -9.33
}

TEST(ScreenTool, OperationsUseThePrimaryScreen)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const float f = ScreenTool::factorForDpi(ScreenTool::dpiForLogicalDpi(screen->logicalDotsPerInch()));
    EXPECT_EQ(ScreenTool::screenSize(), screen->size());
    EXPECT_EQ(ScreenTool::scale(100), ScreenTool::scaleFor(f, 100));
    EXPECT_EQ(ScreenTool::fontSize(11), ScreenTool::fontSizeFor(f, 11));
    EXPECT_EQ(ScreenTool::scaleSize(QSize(50, 7)), ScreenTool::scaleSizeFor(f, QSize(50, 7)));
    const QPair<int, int> p = ScreenTool::scaleRound(qMakePair(7, 50));
    EXPECT_EQ(QSize(p.first, p.second), ScreenTool::scaleSizeFor(f, QSize(7, 50)));
}

TEST(ScreenTool, PercentOfAWidget)
{
    QWidget w;
    w.setGeometry(10, 20, 200, 101);
    EXPECT_EQ(ScreenTool::widthPercent(&w, 33), 66);
    EXPECT_EQ(ScreenTool::heightPercent(&w, 50), 50);
    EXPECT_EQ(ScreenTool::sizePercent(&w, 33), QSize(66, 33));
    EXPECT_EQ(ScreenTool::sizePercent(&w, 50), QSize(100, 51)); // 50.5 rounds up
    EXPECT_EQ(ScreenTool::widthPercent(nullptr, 33), -1);
    EXPECT_EQ(ScreenTool::heightPercent(nullptr, 33), -1);
    EXPECT_EQ(ScreenTool::sizePercent(nullptr, 33), QSize(-1, -1));
}

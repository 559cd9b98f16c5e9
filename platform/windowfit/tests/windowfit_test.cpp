// Where a frame goes on the available area, and the allowance for a frame
// not known yet; on the offscreen platform nothing is moved or resized. The
// fit on a screen with a window manager is tested under Xvfb and openbox
// (windowfit_xsession_test).

#include "platform/windowfit/windowfit.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWidget>

namespace {

using Platform::WindowFit;

TEST(WindowFit, AFrameThatFitsIsCentredAndMovedInsideTheAvailableArea)
{
    // A work area below a 30 px panel at the top.
    const QRect available(0, 30, 1366, 738);
    EXPECT_EQ(WindowFit::placeFrame(QSize(400, 300), available, available), QRect(483, 249, 400, 300));
    // Over a window of its own: centred on it.
    EXPECT_EQ(WindowFit::placeFrame(QSize(400, 300), available, QRect(200, 100, 800, 600)), QRect(400, 250, 400, 300));
    // Over a window near the edges: moved in, flush with them.
    EXPECT_EQ(WindowFit::placeFrame(QSize(400, 300), available, QRect(1200, 0, 200, 100)), QRect(966, 30, 400, 300));
    EXPECT_EQ(WindowFit::placeFrame(QSize(400, 300), available, QRect(-100, 850, 100, 100)), QRect(0, 468, 400, 300));
    // Exactly as large as the area.
    EXPECT_EQ(WindowFit::placeFrame(available.size(), available, QRect(0, 0, 20, 20)), available);
}

TEST(WindowFit, AFrameTooLargeStartsAtTheTopLeftOfTheAvailableArea)
{
    const QRect available(100, 30, 1266, 738);
    EXPECT_EQ(WindowFit::placeFrame(QSize(1900, 800), available, available), QRect(100, 30, 1900, 800));
    // Too wide only: still centred down.
    EXPECT_EQ(WindowFit::placeFrame(QSize(1900, 300), available, available), QRect(100, 249, 1900, 300));
}

TEST(WindowFit, TheAllowanceGrowsWithTheDpi)
{
    EXPECT_EQ(WindowFit::frameAllowance(96), QMargins(8, 40, 8, 8));
    EXPECT_EQ(WindowFit::frameAllowance(120), QMargins(10, 50, 10, 10));
    EXPECT_EQ(WindowFit::frameAllowance(144), QMargins(12, 60, 12, 12));
}

TEST(WindowFit, OnTheOffscreenPlatformAWindowKeepsItsSizeAndPlace)
{
    ASSERT_EQ(QGuiApplication::platformName(), QLatin1String("offscreen"));
    QWidget window;
    window.resize(3000, 2000);
    window.move(17, 23);
    WindowFit::fitAndCentre(&window);
    EXPECT_EQ(window.size(), QSize(3000, 2000));
    EXPECT_EQ(window.pos(), QPoint(17, 23));
    EXPECT_EQ(WindowFit::clientRoom(&window), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    // No window manager draws a title there.
    window.setWindowTitle(QStringLiteral("Input the Password"));
    EXPECT_EQ(WindowFit::titleWidth(&window), 0);
}

} // namespace

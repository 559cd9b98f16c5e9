// Windows placed by WindowFit on the X display that windowfit_xsession_test
// starts (Xvfb with openbox): each within the work area, its frame included,
// and centred there or over the window it belongs to; one as wide as its
// title needs has it drawn whole.

#include "platform/windowfit/windowfit.h"
#include "testing/main/eventwait.h"
#include "testing/xsession/drawntitle.h"
#include "testing/xsession/xdisplay.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

using Platform::WindowFit;
using TestWait::waitUntil;

// The window as the server has it once the window manager has framed it and
// its place has settled (a re-placement included).
TestX::FramedWindow shown(QWidget& window)
{
    window.show();
    EXPECT_TRUE(waitUntil([&] { return !WindowFit::awaitsFrame(&window); }, WindowFit::kFrameWatchMs + 30000));
    // Placed again, if at all, as soon as Qt knew the frame.
    const auto framed = TestX::XDisplay::current().settledWindow(window.winId());
    EXPECT_TRUE(framed) << "never framed, or never settled";
    return framed.value_or(TestX::FramedWindow());
}

TEST(WindowFitOnScreen, AWindowLargerThanTheScreenTakesTheWorkAreaFrameIncluded)
{
    const QRect work = TestX::XDisplay::current().workArea();
    ASSERT_FALSE(work.isEmpty());
    QWidget window;
    window.setWindowTitle(QStringLiteral("large"));
    window.resize(work.width() + 500, work.height() + 300);
    WindowFit::fitAndCentre(&window);
    const TestX::FramedWindow framed = shown(window);
    EXPECT_FALSE(framed.frame.isNull()) << "openbox put no frame around the window";
    EXPECT_TRUE(work.contains(framed.outer())) << framed.text().toStdString();
    // Its own frame known, the window takes all the room there is, or all
    // but a pixel where the frame is odd.
    EXPECT_GE(framed.outer().width(), work.width() - 1) << framed.text().toStdString();
    EXPECT_GE(framed.outer().height(), work.height() - 1) << framed.text().toStdString();
}

TEST(WindowFitOnScreen, AFixedWindowIsCentredWithTheFrameItGets)
{
    const QRect work = TestX::XDisplay::current().workArea();
    QWidget window;
    window.setWindowTitle(QStringLiteral("fixed"));
    window.setFixedSize(600, 400);
    WindowFit::fitAndCentre(&window);
    const TestX::FramedWindow framed = shown(window);
    EXPECT_EQ(framed.client.size(), QSize(600, 400));
    // The allowance taken before is larger than openbox's frame: placed again.
    EXPECT_NE(framed.frame, WindowFit::frameAllowance(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    EXPECT_TRUE(TestX::centredWithin(work, framed));
}

TEST(WindowFitOnScreen, AFramelessWindowFitsTheWorkAreaExactly)
{
    const QRect work = TestX::XDisplay::current().workArea();
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.resize(work.width() + 100, 200);
    WindowFit::fitAndCentre(&window);
    const TestX::FramedWindow framed = shown(window);
    EXPECT_TRUE(framed.frame.isNull());
    EXPECT_EQ(framed.client.width(), work.width());
    EXPECT_TRUE(TestX::centredWithin(work, framed));
}

TEST(WindowFitOnScreen, ADialogOpensOverItsWindowWithTheFrameOfItsWindow)
{
    QWidget owner;
    owner.resize(500, 300);
    WindowFit::fitAndCentre(&owner);
    const TestX::FramedWindow ownerFramed = shown(owner);
    // Moved away from the centre, so that the dialog's place says what it is centred on.
    owner.move(20, 20);
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto now = TestX::XDisplay::current().framedWindow(owner.winId());
            return now && now->outer().topLeft() == QPoint(20, 20);
        },
        30000));
    QDialog dialog(&owner);
    dialog.resize(200, 100);
    // Before it is shown its frame is taken to be that of the owner.
    EXPECT_EQ(WindowFit::frameOf(&dialog), ownerFramed.frame);
    WindowFit::fitAndCentre(&dialog);
    const TestX::FramedWindow framed = shown(dialog);
    const auto ownerNow = TestX::XDisplay::current().framedWindow(owner.winId());
    ASSERT_TRUE(ownerNow);
    EXPECT_TRUE(TestX::centredWithin(ownerNow->outer(), framed));
}

TEST(WindowFitOnScreen, AWindowAsWideAsItsTitleNeedsHasItsTitleDrawnWhole)
{
    // The frame of a window of the program stands in for that of the next
    // one before it is shown.
    QWidget neighbour;
    neighbour.setWindowTitle(QStringLiteral("neighbour"));
    neighbour.resize(300, 100);
    shown(neighbour);
    for (const QString& title : {QStringLiteral("Input the Password"), QStringLiteral("输入密码"),
                                 QStringLiteral("Omber File Operation - 200.200.200.190")}) {
        SCOPED_TRACE(title.toStdString());
        QWidget window;
        window.setWindowTitle(title);
        const int width = WindowFit::titleWidth(&window);
        ASSERT_GT(width, 0);
        window.setFixedSize(width, 100);
        WindowFit::fitAndCentre(&window);
        shown(window);
        const int drawn = TestX::drawnTitleWidth(window);
        const int whole = TestX::drawnTitleWidthWhole(title);
        EXPECT_GT(whole, 0);
        EXPECT_NEAR(drawn, whole, 2) << "in a window " << width << " px wide";
    }
    // No title bar, no title to make room for.
    QWidget frameless(nullptr, Qt::Window | Qt::FramelessWindowHint);
    frameless.setWindowTitle(QStringLiteral("Input the Password"));
    EXPECT_EQ(WindowFit::titleWidth(&frameless), 0);
}

// On a display that no window manager manages no frame ever comes: the
// window keeps the place it was given, and the watch for its frame ends at
// its limit.
TEST(WindowFitWithoutAWindowManager, TheWatchForAFrameEndsAtItsLimit)
{
    ASSERT_TRUE(TestX::XDisplay::current().workArea().isEmpty()) << "a window manager runs";
    QWidget window;
    window.resize(400, 300);
    WindowFit::fitAndCentre(&window);
    EXPECT_TRUE(WindowFit::awaitsFrame(&window));
    const QPoint placed = window.pos();
    QElapsedTimer clock;
    clock.start();
    window.show();
    ASSERT_TRUE(waitUntil([&] { return !WindowFit::awaitsFrame(&window); }, WindowFit::kFrameWatchMs + 30000));
    // Not before its limit, but for a coarse timer's lead (5 %).
    EXPECT_GE(clock.elapsed(), WindowFit::kFrameWatchMs * 9 / 10);
    EXPECT_EQ(window.pos(), placed);
}

} // namespace

// The VNC viewer's window on the X display that tarnwickscreen_test starts
// (Xvfb with openbox), against a fake panel whose screen is 1024 x 600: the
// window lies within the work area, title bar included, and centred, both
// as it opens and once the first picture has sized it. TW_SHOT_DIR names the
// folder for pictures of the screen.

#include "platform/windowfit/windowfit.h"
#include "tarnwick/ui/mainwindow/tests/screenpictures.h"
#include "tarnwick/vnc/vncviewer.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "testing/fakerfb/fakerfbserver.h"
#include "testing/main/eventwait.h"
#include "testing/xsession/xdisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace {

using TarnwickScreens::saveScreen;

using TestWait::waitUntil;

// Where the window is once its place has settled, and that it lies centred
// within the work area, frame included.
void expectPlacedWithinTheWorkArea(QWidget& window, const char* when)
{
    SCOPED_TRACE(when);
    ASSERT_TRUE(waitUntil([&] { return !Platform::WindowFit::awaitsFrame(&window); },
                          Platform::WindowFit::kFrameWatchMs + 30000));
    const TestX::XDisplay display = TestX::XDisplay::current();
    const auto framed = display.settledWindow(window.winId());
    ASSERT_TRUE(framed) << "never framed, or never settled";
    EXPECT_FALSE(framed->frame.isNull()) << "no frame";
    EXPECT_TRUE(TestX::centredWithin(display.workArea(), *framed));
}

TEST(VncViewerWindowOnScreen, OpensAndStaysWithinTheWorkAreaWithAPanelScreenOf1024By600)
{
    FakeRfb::FakeRfbServer server;
    FakeRfb::ServerConfig config;
    config.size = QSize(1024, 600);
    server.setConfig(config);
    QImage picture(config.size, QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 0, 1024, 40), QColor(230, 230, 230));
    painter.fillRect(QRect(0, 560, 1024, 40), QColor(200, 60, 60));
    painter.end();
    server.setPicture(picture);
    ASSERT_TRUE(server.start());

    VncViewerWindow window(QStringLiteral("127.0.0.1"), server.port());
    window.show();
    expectPlacedWithinTheWorkArea(window, "opened");

    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 30000));
    expectPlacedWithinTheWorkArea(window, "sized to the panel's screen");
    // The picture whole and in its shape inside the window.
    auto* viewer = window.findChild<VNC::VncViewer*>();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(window.rect().contains(viewer->geometry()));
    EXPECT_NEAR(double(viewer->width()) / viewer->height(), 1024.0 / 600.0, 0.02);
    waitUntil([] { return false; }, 500);
    saveScreen(QStringLiteral("vncviewer"));
    window.close();
}

} // namespace

// Tarnwick's windows on a laptop's screen at 96, 120 (125 %), 144 (150 %) and
// 192 DPI (200 %), on Xvfb with openbox: the main window of the program
// itself, within the work area, title bar included, and centred (at 96 DPI
// in its own size); on the same screens, in programs of their own, the
// device lists and the settings box of the main window (pagescreenchecks)
// and the VNC viewer's window (vncwindowscreenchecks).
// Pictures of the screens stay in this build folder.

#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "testing/xsession/scopedprogram.h"
#include "testing/xsession/xsession.h"

#include <gtest/gtest.h>

#include <QDir>

#include <string>

namespace {

TEST(TarnwickScreens, MainWindowPagesAndViewerWindowWithinTheWorkArea)
{
    if (!TestX::XSession::missingTools().isEmpty())
        GTEST_SKIP() << TestX::XSession::missingTools().join(", ").toStdString()
                     << " missing (packages xvfb, openbox, x11-utils)";
    useTemporaryHome();
    const QString shots = QStringLiteral(SCREENSHOT_DIR);
    QDir().mkpath(shots);
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        TestX::XSession session(QSize(1366, 768), dpi);
        std::string why;
        ASSERT_TRUE(session.start(&why)) << why;
        QProcessEnvironment environment = session.environment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        // What Qt's D-Bus link keeps at exit on X is no leak of the program's.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("strict_string_checks=0:detect_leaks=0"));
        {
            const TestX::ScopedProgram tarnwick(QStringLiteral(TARNWICK_PROGRAM), {}, environment);
            ASSERT_TRUE(tarnwick.running());
            const TestX::XDisplay& display = session.display();
            const auto framed = display.settledWindowOf(tarnwick.pid());
            ASSERT_TRUE(framed) << "no window, or it never settled";
            EXPECT_TRUE(TestX::centredWithin(display.workArea(), *framed));
            if (dpi == 96) {
                EXPECT_EQ(framed->client.size(), QSize(1024, 600));
            }
            EXPECT_TRUE(display.grabScreen(QStringLiteral("%1/tarnwick_%2dpi_1366x768.png").arg(shots).arg(dpi)));
        }
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("TW_SHOT_DIR"), shots);
        extra.insert(QStringLiteral("TW_SCREEN_DPI"), QString::number(dpi));
        const TestX::ChecksRun pages = session.runChecks(QStringLiteral(PAGE_CHECKS_PROGRAM), {}, extra, 150000);
        EXPECT_TRUE(pages.allPassed(3)) << pages.output.toStdString();
        const TestX::ChecksRun run = session.runChecks(QStringLiteral(VNC_CHECKS_PROGRAM), {}, extra, 150000);
        EXPECT_TRUE(run.allPassed(1)) << run.output.toStdString();
    }
}

} // namespace

// WindowFit on X displays with a window manager (Xvfb with openbox, a
// laptop's screen at 96, 120 and 144 DPI) and without one; the checks run in
// platform_windowfit_screenchecks, started on each.

#include "testing/xsession/xsession.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowFitXSession, WindowsOpenWithinTheWorkAreaAndCentred)
{
    if (!TestX::XSession::missingTools().isEmpty())
        GTEST_SKIP() << TestX::XSession::missingTools().join(", ").toStdString()
                     << " missing (packages xvfb, openbox, x11-utils)";
    for (int dpi : {96, 120, 144}) {
        SCOPED_TRACE(dpi);
        TestX::XSession session(QSize(1366, 768), dpi);
        std::string why;
        ASSERT_TRUE(session.start(&why)) << why;
        const TestX::ChecksRun run = session.runChecks(QStringLiteral(SCREEN_CHECKS_PROGRAM),
                                                       {QStringLiteral("--gtest_filter=WindowFitOnScreen.*")});
        EXPECT_TRUE(run.allPassed(5)) << run.output.toStdString();
    }
}

TEST(WindowFitXSession, WithoutAWindowManagerTheWatchForAFrameEnds)
{
    if (!TestX::XSession::missingTools().isEmpty())
        GTEST_SKIP() << TestX::XSession::missingTools().join(", ").toStdString()
                     << " missing (packages xvfb, openbox, x11-utils)";
    TestX::XSession session(QSize(1366, 768), 96);
    std::string why;
    ASSERT_TRUE(session.start(&why, TestX::XSession::Manager::None)) << why;
    const TestX::ChecksRun run = session.runChecks(QStringLiteral(SCREEN_CHECKS_PROGRAM),
                                                   {QStringLiteral("--gtest_filter=WindowFitWithoutAWindowManager.*")});
    EXPECT_TRUE(run.allPassed(1)) << run.output.toStdString();
}

} // namespace

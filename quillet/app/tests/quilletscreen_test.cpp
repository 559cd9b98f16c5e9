// Quillet's window on a laptop's screen at 96, 120 (125 %) and 144 DPI
// (150 %), on Xvfb with openbox; the checks run in quillet_screenchecks,
// started on each screen. Pictures of the screens stay in this build folder.

#include "testing/xsession/xsession.h"

#include <gtest/gtest.h>

namespace {

TEST(QuilletScreens, TheWindowOpensCentredWithinTheWorkArea)
{
    if (!TestX::XSession::missingTools().isEmpty())
        GTEST_SKIP() << TestX::XSession::missingTools().join(", ").toStdString()
                     << " missing (packages xvfb, openbox, x11-utils)";
    for (int dpi : {96, 120, 144}) {
        SCOPED_TRACE(dpi);
        TestX::XSession session(QSize(1366, 768), dpi);
        std::string why;
        ASSERT_TRUE(session.start(&why)) << why;
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("TW_SHOT_DIR"), QStringLiteral(SCREENSHOT_DIR));
        const TestX::ChecksRun run = session.runChecks(QStringLiteral(SCREEN_CHECKS_PROGRAM), {}, extra);
        EXPECT_TRUE(run.allPassed(2)) << run.output.toStdString();
    }
}

} // namespace

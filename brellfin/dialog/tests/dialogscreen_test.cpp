// The main dialog on screens of given DPIs, in both languages: headless at
// 96 and 144 DPI (the template's own size, every control and every text
// whole), and on Xvfb displays that openbox manages (the same where the
// window fits the screen, smaller metrics where it does not; the frame it
// offers, the window within the work area and centred, disconnected and
// connected to a panel, pictures of it). The checks run in brellfin_dialog_screenchecks,
// started here on each screen.

#include "brellfin/ui/tests/namespacerun.h"
#include "testing/xsession/xsession.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <string>

namespace {

// Runs the checks on a screen: every one of them must run and pass.
void expectChecksPass(const TestX::ChecksRun& run, int expectedTests)
{
    EXPECT_TRUE(run.finished) << run.output.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.allPassed(expectedTests)) << run.output.toStdString();
}

TEST(DialogScreens, TemplateSizeControlsAndTextsWholeAt96And144Dpi)
{
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_FONT_DPI"), QString::number(dpi));
        environment.insert(QStringLiteral("BRELLFIN_SCREEN_DPI"), QString::number(dpi));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        QProcess checks;
        checks.setProcessEnvironment(environment);
        checks.setProcessChannelMode(QProcess::MergedChannels);
        checks.start(QStringLiteral(SCREEN_CHECKS_PROGRAM), {QStringLiteral("--gtest_filter=*TakesTheTemplates*")});
        TestX::ChecksRun run;
        run.finished = checks.waitForFinished(600000);
        run.exitCode = checks.exitCode();
        run.output = QString::fromLocal8Bit(checks.readAll());
        expectChecksPass(run, 2);
    }
}

struct Screen {
    int dpi;
    QSize size;
    // Too small for the window even at the template's own metrics.
    bool tooSmall;
};

// A laptop's screen at 96, 120 (125 %) and 144 DPI (150 %), the last two too
// small for the window at the screen's metrics; a screen of the same inches
// as the first at 144 DPI; and a netbook's.
const Screen kScreens[] = {{96, QSize(1366, 768), false},
                           {120, QSize(1366, 768), false},
                           {144, QSize(1366, 768), false},
                           {144, QSize(2049, 1152), false},
                           {96, QSize(1024, 600), true}};

// Runs the checks that filter selects on each screen, on a display of its own
// that openbox manages.
void expectChecksPassOnEachScreen(const QString& filter, int expectedTests)
{
    for (const auto& [dpi, size, tooSmall] : kScreens) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI, " + std::to_string(size.width()) + "x"
                     + std::to_string(size.height()));
        TestX::XSession session(size, dpi);
        std::string why;
        ASSERT_TRUE(session.start(&why)) << why;
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("BRELLFIN_SCREEN_DPI"), QString::number(dpi));
        extra.insert(QStringLiteral("BRELLFIN_SHOT_DIR"), QStringLiteral(SCREENSHOT_DIR));
        extra.insert(QStringLiteral("BRELLFIN_SCREEN_TOO_SMALL"), QString::number(int(tooSmall)));
        expectChecksPass(session.runChecks(QStringLiteral(SCREEN_CHECKS_PROGRAM), {"--gtest_filter=" + filter}, extra),
                         expectedTests);
    }
}

// What is missing for a display of the test's own; empty when nothing is.
std::string missingXTools()
{
    const QStringList missing = TestX::XSession::missingTools();
    return missing.isEmpty() ? std::string()
                             : missing.join(", ").toStdString() + " missing (packages xvfb, openbox, x11-utils)";
}

TEST(DialogScreens, UnderAWindowManagerOnXvfb)
{
    if (const std::string missing = missingXTools(); !missing.empty())
        GTEST_SKIP() << missing;
    expectChecksPassOnEachScreen(QStringLiteral("-*Connected*"), 4);
}

// Connected to a fake panel on its fixed port 127 of 127.0.0.1, in a network
// namespace of the test's own; the displays are made inside it too, as a
// namespace reaches only the X servers that listen in it.
TEST(DialogScreens, ConnectedUnderAWindowManagerOnXvfb)
{
    if (const std::string missing = missingXTools(); !missing.empty())
        GTEST_SKIP() << missing;
    TWBF_IN_NAMESPACE();
    expectChecksPassOnEachScreen(QStringLiteral("*Connected*"), 2);
}

} // namespace

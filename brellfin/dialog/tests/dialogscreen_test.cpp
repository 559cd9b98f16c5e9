// The main dialog on screens of given DPIs, in both languages: headless at
// 96 and 144 DPI (the template's own size, every control and every text
// whole), and on Xvfb displays that openbox manages (the same, and the frame
// it offers, where it opens, pictures of it). The checks
// run in brellfin_dialog_screenchecks, started here on each screen.

#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <string>
#include <utility>

namespace {

using TestWait::waitUntil;

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// A child process that is stopped when the guard goes, also when a check
// fails half-way.
class Child {
public:
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(program, arguments);
        m_process.waitForStarted(10000);
    }
    ~Child()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return m_process.state() == QProcess::Running; }
    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        return m_output;
    }
    // Why the child is not running: how it ended, or why it never started, and what it wrote.
    std::string ending()
    {
        QString why;
        if (m_process.error() == QProcess::FailedToStart)
            why = QStringLiteral("did not start: ") + m_process.errorString();
        else if (m_process.exitStatus() == QProcess::CrashExit)
            why = QStringLiteral("ended by a signal");
        else
            why = QStringLiteral("exited with %1").arg(m_process.exitCode());
        return (why + QStringLiteral("; wrote: ") + QString::fromLocal8Bit(m_process.readAllStandardError()))
            .toStdString();
    }

private:
    QProcess m_process;
    QString m_output;
};

// Runs the checks on a screen: every one of them must run and pass.
void runChecks(const QProcessEnvironment& environment, const QString& filter, int expectedTests)
{
    QProcess checks;
    checks.setProcessEnvironment(environment);
    checks.setProcessChannelMode(QProcess::MergedChannels);
    checks.start(QStringLiteral(SCREEN_CHECKS_PROGRAM), {QStringLiteral("--gtest_filter=") + filter});
    ASSERT_TRUE(checks.waitForStarted(10000));
    ASSERT_TRUE(checks.waitForFinished(600000));
    const QString output = QString::fromLocal8Bit(checks.readAll());
    EXPECT_EQ(checks.exitCode(), 0) << output.toStdString();
    const QString allPassed = QStringLiteral("[  PASSED  ] %1 tests.").arg(expectedTests);
    EXPECT_TRUE(output.contains(allPassed)) << output.toStdString();
    EXPECT_FALSE(output.contains(QLatin1String("SKIPPED"))) << output.toStdString();
}

QProcessEnvironment screenEnvironment(int dpi)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_FONT_DPI"), QString::number(dpi));
    environment.insert(QStringLiteral("BRELLFIN_SCREEN_DPI"), QString::number(dpi));
    return environment;
}

TEST(DialogScreens, TemplateSizeControlsAndTextsWholeAt96And144Dpi)
{
    for (int dpi : {96, 144}) {
        SCOPED_TRACE(dpi);
        QProcessEnvironment environment = screenEnvironment(dpi);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        runChecks(environment, QStringLiteral("*TakesTheTemplatesOwnSize*"), 2);
    }
}

TEST(DialogScreens, UnderAWindowManagerOnXvfb)
{
    for (const char* needed : {"Xvfb", "openbox", "xprop", "xwininfo"}) {
        if (tool(needed).isEmpty())
            GTEST_SKIP() << needed << " is not installed (packages xvfb, openbox, x11-utils)";
    }
    // A laptop's screen at 96 DPI; one of the same inches at 144 DPI; and a
    // screen smaller than the window at 144 DPI.
    const std::pair<int, const char*> screens[] = {{96, "1366x768"}, {144, "2049x1152"}, {144, "1366x768"}};
    for (const auto& [dpi, size] : screens) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI, " + size);
        // The server picks a free display and writes its number to fd 1.
        Child xvfb(tool("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QLatin1String(size) + QStringLiteral("x24"), QStringLiteral("-dpi"), QString::number(dpi),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                   QProcessEnvironment::systemEnvironment());
        ASSERT_TRUE(waitUntil([&] { return xvfb.output().contains('\n') || !xvfb.running(); }, 60000));
        ASSERT_TRUE(xvfb.running()) << xvfb.ending();
        const QString display = QStringLiteral(":") + xvfb.output().trimmed();

        QProcessEnvironment environment = screenEnvironment(dpi);
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.remove(QStringLiteral("XAUTHORITY"));
        Child openbox(tool("openbox"), {QStringLiteral("--sm-disable")}, environment);
        // Up once it has named itself on the root window.
        auto managed = [&] {
            QProcess probe;
            probe.setProcessEnvironment(environment);
            probe.start(tool("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            probe.waitForFinished(10000);
            return probe.readAllStandardOutput().contains("window id");
        };
        ASSERT_TRUE(waitUntil([&] { return managed() || !openbox.running(); }, 60000));
        ASSERT_TRUE(openbox.running()) << openbox.ending();

        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Software painting: no GL driver to load (and to hide its allocations
        // from the leak check when it is unloaded).
        environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        // libxkbcommon reads a keymap name past its end: no strict string checks.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("strict_string_checks=0"));
        environment.insert(QStringLiteral("BRELLFIN_SHOT_DIR"), QStringLiteral(SCREENSHOT_DIR));
        runChecks(environment, QStringLiteral("*"), 4);
    }
}

} // namespace

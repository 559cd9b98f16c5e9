#include "testing/xsession/xsession.h"

#include "testing/main/eventwait.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace TestX {

namespace {

constexpr int kStopTimeoutMs = 10000;
constexpr int kStartAttempts = 3;
constexpr int kReachTimeoutMs = 10000;

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// Why a process is not running: how it ended, or that it never started, and
// the end of what it wrote.
std::string ending(QProcess& process)
{
    QString why;
    if (process.error() == QProcess::FailedToStart)
        why = QStringLiteral("did not start: ") + process.errorString();
    else if (process.exitStatus() == QProcess::CrashExit)
        why = QStringLiteral("ended by a signal");
    else
        why = QStringLiteral("exited with %1").arg(process.exitCode());
    const QString wrote = QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput());
    return (why + QStringLiteral("; wrote: ") + wrote.right(2000)).toStdString();
}

void stop(std::unique_ptr<QProcess>& process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(kStopTimeoutMs)) {
        process->kill();
        process->waitForFinished(kStopTimeoutMs);
    }
}

} // namespace

bool ChecksRun::allPassed(int tests) const
{
    return finished && exitCode == 0 && output.contains(QStringLiteral("[  PASSED  ] %1 test").arg(tests))
           && !output.contains(QLatin1String("SKIPPED"));
}

XSession::XSession(const QSize& screen, int dpi)
    : m_screen(screen)
    , m_dpi(dpi)
{
}

XSession::~XSession()
{
    stop(m_windowManager);
    stop(m_server);
}

QStringList XSession::missingTools()
{
    QStringList missing;
    for (const char* needed : {"Xvfb", "openbox", "xprop", "xwininfo"}) {
        if (tool(needed).isEmpty())
            missing << QString::fromLatin1(needed);
    }
    return missing;
}

bool XSession::start(std::string* why, Manager manager, int timeoutMs)
{
    // A server that took a display number another one's clients also reach
    // (the display's sockets are shared with servers beside it) loses its
    // clients: a new one picks another number.
    std::string failures;
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        std::string failure;
        if (startOnce(&failure, manager, timeoutMs))
            return true;
        stop(m_windowManager);
        stop(m_server);
        failures += (failures.empty() ? "" : "; then ") + failure;
    }
    *why = failures;
    return false;
}

bool XSession::startOnce(std::string* why, Manager manager, int timeoutMs)
{
    // The server picks a free display and writes its number to fd 1.
    m_server = std::make_unique<QProcess>();
    m_server->start(tool("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("%1x%2x24").arg(m_screen.width()).arg(m_screen.height()), QStringLiteral("-dpi"),
                     QString::number(m_dpi), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                     // What clients set on it stays when the last one goes.
                     QStringLiteral("-noreset")});
    QByteArray number;
    const bool announced = TestWait::waitUntil(
        [&] {
            number += m_server->readAllStandardOutput();
            return number.contains('\n') || m_server->state() == QProcess::NotRunning;
        },
        timeoutMs);
    if (!announced || m_server->state() != QProcess::Running) {
        *why = "Xvfb " + (announced ? ending(*m_server) : std::string("named no display in time"));
        return false;
    }
    m_display = XDisplay(QStringLiteral(":") + QString::fromLatin1(number.trimmed()));
    // Its clients reach it, and it alone: a mark set on its root window by
    // one client is read back by another.
    const QString mark = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(m_server->processId());
    const bool reached = TestWait::waitUntil(
        [&] { return m_display.markRoot(mark) || m_server->state() == QProcess::NotRunning; }, kReachTimeoutMs);
    if (!reached || m_display.rootMark() != mark) {
        *why = "Xvfb on " + m_display.name().toStdString() + ": its clients do not reach it alone";
        return false;
    }
    if (manager == Manager::None)
        return true;

    m_windowManager = std::make_unique<QProcess>();
    m_windowManager->setProcessEnvironment(environment());
    m_windowManager->start(tool("openbox"), {QStringLiteral("--sm-disable")});
    // Up once it offers its work area, which it sets on the root window last.
    const bool managing = TestWait::waitUntil(
        [&] { return !m_display.workArea().isEmpty() || m_windowManager->state() == QProcess::NotRunning; }, timeoutMs);
    if (!managing || m_windowManager->state() != QProcess::Running) {
        *why = "openbox " + (managing ? ending(*m_windowManager) : std::string("did not manage the screen in time"));
        return false;
    }
    return true;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display.name());
    environment.remove(QStringLiteral("XAUTHORITY"));
    environment.remove(QStringLiteral("QT_FONT_DPI"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Software painting: no GL driver to load (and to hide its allocations
    // from the leak check when it is unloaded).
    environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    // No session bus: without one D-Bus would start a bus of the display's
    // own for the first client that asks (Qt's accessibility does), and a
    // client beside it could wait on it for good.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=/dev/null/no-session-bus"));
    // libxkbcommon reads a keymap name past its end: no strict string checks.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("strict_string_checks=0"));
    return environment;
}

ChecksRun XSession::runChecks(const QString& program, const QStringList& arguments, const QProcessEnvironment& extra,
                              int timeoutMs) const
{
    QProcessEnvironment environment = this->environment();
    for (const QString& name : extra.keys())
        environment.insert(name, extra.value(name));
    QProcess checks;
    checks.setProcessEnvironment(environment);
    checks.setProcessChannelMode(QProcess::MergedChannels);
    checks.start(program, arguments);
    ChecksRun run;
    run.finished = checks.waitForFinished(timeoutMs);
    if (!run.finished) {
        checks.kill();
        checks.waitForFinished(kStopTimeoutMs);
    }
    run.exitCode = checks.exitStatus() == QProcess::NormalExit ? checks.exitCode() : -1;
    run.output = QString::fromLocal8Bit(checks.readAll());
    return run;
}

} // namespace TestX

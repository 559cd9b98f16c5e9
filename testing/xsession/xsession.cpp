#include "testing/xsession/xsession.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

namespace TestX {

namespace {

constexpr int kStartLimitMs = 60000;
constexpr int kStopLimitMs = 10000;

QString endingOf(const QString& program, QProcess& process)
{
    return program + QStringLiteral(" ended (exit code %1): ").arg(process.exitCode())
           + QString::fromLocal8Bit(process.readAllStandardError());
}

} // namespace

XSession::XSession() = default;

XSession::~XSession()
{
    if (m_windowManager)
        stop(*m_windowManager);
    if (m_server)
        stop(*m_server);
}

void XSession::stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kStopLimitMs)) {
        process.kill();
        process.waitForFinished(kStopLimitMs);
    }
}

bool XSession::start(const QSize& size, int dpi)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    for (const auto& [name, path] : {std::pair<const char*, QString>{"Xvfb", xvfb}, {"openbox", openbox}}) {
        if (path.isEmpty()) {
            m_why = QLatin1String(name) + QStringLiteral(" is not installed");
            return false;
        }
    }
    // The server writes the display number it chose to fd 1 once it takes connections.
    m_server = std::make_unique<QProcess>();
    m_server->start(xvfb,
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-dpi"),
                     QString::number(dpi), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray number;
    QElapsedTimer clock;
    clock.start();
    while (!number.contains('\n') && m_server->state() != QProcess::NotRunning && clock.elapsed() < kStartLimitMs) {
        m_server->waitForReadyRead(100);
        number += m_server->readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        m_why = m_server->state() == QProcess::NotRunning ? endingOf(QStringLiteral("Xvfb"), *m_server)
                                                          : QStringLiteral("Xvfb named no display");
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

    m_windowManager = std::make_unique<QProcess>();
    m_windowManager->setProcessEnvironment(environment());
    m_windowManager->start(openbox, {QStringLiteral("--sm-disable")});
    clock.restart();
    while (m_windowManager->state() != QProcess::NotRunning && clock.elapsed() < kStartLimitMs) {
        const QString check = run(QStringLiteral("xprop"),
                                  {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        if (check.contains(QLatin1String("window id")))
            return true;
        QThread::msleep(50);
    }
    m_why = m_windowManager->state() == QProcess::NotRunning ? endingOf(QStringLiteral("openbox"), *m_windowManager)
                                                             : QStringLiteral("openbox did not take the screen");
    return false;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.remove(QStringLiteral("XAUTHORITY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("strict_string_checks=0"));
    return environment;
}

QString XSession::run(const QString& tool, const QStringList& arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStandardPaths::findExecutable(tool), arguments);
    if (!process.waitForFinished(kStopLimitMs)) {
        process.kill();
        process.waitForFinished(kStopLimitMs);
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace TestX

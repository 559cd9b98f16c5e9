#include "platform/process/win32process.h"

#include "platform/process/childspawn.h"

#include <QDebug>
#include <QMutexLocker>

#include <csignal>
#include <cstring>

#include <sys/wait.h>

namespace {
// After SIGKILL only a child stuck in the kernel takes longer than this.
constexpr int kReapAfterKillMs = 5000;
} // namespace

Win32Process::~Win32Process()
{
    stop();
}

bool Win32Process::start(const QString& program, const QStringList& arguments)
{
    QMutexLocker lock(&m_lock);
    if (m_running)
        return false;
    qDebug("%s %s", program.toUtf8().constData(), arguments.join(QLatin1Char(' ')).toUtf8().constData());
    // Without a pipe the output goes to /dev/null, as it would on a console
    // nobody sees.
    ChildSpawn::Options options;
    options.stdoutFd = m_output.open();
    options.stderrFd = options.stdoutFd;
    int error = 0;
    const pid_t pid = ChildSpawn::spawn(program, arguments, options, &error);
    if (pid < 0) {
        m_output.close();
        // strerror's buffer is shared by every thread; the caller may be any.
        char reason[256];
        qDebug("Win32Process: cannot start %s: %s", program.toUtf8().constData(),
               strerror_r(error, reason, sizeof reason));
        return false;
    }
    m_output.startReading();
    m_pid = pid;
    m_running = true;
    return true;
}

void Win32Process::stop()
{
    QMutexLocker lock(&m_lock);
    if (!m_running)
        return;
    const pid_t pid = m_pid;
    if (pid > 0) {
        kill(-pid, SIGINT);
        ChildSpawn::waitForExit(pid, kStopGraceMs);
        // The group goes whether the child ended or not: whatever it started
        // dies with it. The unreaped child still holds the group id here.
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        if (!ChildSpawn::reap(pid, kReapAfterKillMs, nullptr))
            qWarning("Win32Process: child %d did not end", static_cast<int>(pid));
    }
    m_output.close();
    m_pid = -1;
    m_running = false;
}

bool Win32Process::running() const
{
    QMutexLocker lock(&m_lock);
    return m_running;
}

pid_t Win32Process::pid() const
{
    QMutexLocker lock(&m_lock);
    return m_running ? m_pid : -1;
}

bool Win32Process::hasExited(int* status) const
{
    QMutexLocker lock(&m_lock);
    return m_running && ChildSpawn::waitForExit(m_pid, 0, status);
}

QList<QByteArray> Win32Process::lastOutput()
{
    QMutexLocker lock(&m_lock);
    return m_output.lines();
}

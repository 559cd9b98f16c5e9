#include "bench/vnc/viewercomparison.h"

#include "bench/vnc/benchstreamserver.h"
#include "testing/fakerfb/hextileencoder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

namespace Bench {

namespace {

const QSize kFrame(1024, 600);

// User and system CPU time of a process, all its threads, in ms.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which ends with the last ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / ticks;
}

// Serves one connection; true once the measured run is complete.
bool serveConnection(int fd, const ViewerStream& stream, qint64 pid, ViewerRun& result)
{
    if (!StreamServer::handshake(fd, kFrame, FakeRfb::PixelFormat::low().toBytes()))
        return false;
    int bitsPerPixel = 8;
    bool smallSent = false;
    int sent = 0;
    double cpuBefore = 0;
    QElapsedTimer wall;
    QByteArray message;
    while (StreamServer::readClientMessage(fd, message)) {
        const quint8 type = quint8(message[0]);
        if (type == 0) {
            bitsPerPixel = quint8(message[4]);
            continue;
        }
        if (type != 3)
            continue;
        if (bitsPerPixel != 8) {
            // Our window starts in the middle quality: one small update lets
            // it connect, after which it is switched to 8 bpp.
            if (!smallSent && !StreamServer::sendAll(fd, stream.smallUpdate16))
                return false;
            smallSent = true;
            continue;
        }
        // A request after update n: the viewer has taken in update n.
        if (sent == stream.warmUp) {
            cpuBefore = cpuMs(pid);
            wall.start();
        }
        if (sent == stream.warmUp + stream.measured) {
            result.cpuMsPerUpdate = (cpuMs(pid) - cpuBefore) / stream.measured;
            result.wallMsPerUpdate = double(wall.nsecsElapsed()) / 1e6 / stream.measured;
            result.ok = cpuBefore >= 0;
            return true;
        }
        if (!StreamServer::sendAll(fd, stream.updates[sent % 2]))
            return false;
        ++sent;
    }
    return false;
}

} // namespace

BenchDisplay::BenchDisplay() = default;

BenchDisplay::~BenchDisplay()
{
    if (m_process) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

bool BenchDisplay::start(QString* error)
{
    for (int n = 170; n < 200; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_name = QStringLiteral(":%1").arg(n);
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process->start(QStringLiteral("Xvfb"),
                         {m_name, "-screen", "0", "1280x800x24", "-dpi", "96", "-nolisten", "tcp"});
        if (!m_process->waitForStarted(5000)) {
            *error = QStringLiteral("Xvfb did not start");
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
                return true;
            if (m_process->state() == QProcess::NotRunning)
                break;
            QThread::msleep(50);
        }
        *error = QStringLiteral("Xvfb %1 did not come up").arg(m_name);
        return false;
    }
    *error = QStringLiteral("no free display number");
    return false;
}

ViewerRun runViewer(const QString& display, const QString& program, const QStringList& arguments,
                    const ViewerStream& stream)
{
    ViewerRun result;
    StreamServer server;
    if (!server.listening()) {
        result.error = QStringLiteral("cannot listen");
        return result;
    }
    std::atomic<qint64> pid{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> served{false};
    std::thread serving([&] {
        while (!stop.load()) {
            const platform::UniqueFd fd = server.accept(200);
            if (!fd)
                continue;
            if (serveConnection(fd.get(), stream, pid.load(), result))
                break;
        }
        served.store(true);
    });

    QProcess viewer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    viewer.setProcessEnvironment(env);
    viewer.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args;
    for (const QString& a : arguments)
        args << QString(a).replace(QStringLiteral("%PORT"), QString::number(server.port()));
    viewer.start(program, args);
    if (viewer.waitForStarted(5000)) {
        pid.store(viewer.processId());
        QElapsedTimer waited;
        waited.start();
        while (!served.load() && waited.elapsed() < 120000 && viewer.state() == QProcess::Running)
            QThread::msleep(20);
    }
    if (!result.ok)
        result.error = viewer.state() == QProcess::Running
                           ? QStringLiteral("no complete run within 120 s")
                           : QStringLiteral("the viewer ended: ") + QString::fromLocal8Bit(viewer.readAll()).trimmed();
    stop.store(true);
    viewer.kill();
    viewer.waitForFinished(5000);
    serving.join();
    return result;
}

} // namespace Bench

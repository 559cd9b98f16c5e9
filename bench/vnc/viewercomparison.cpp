#include "bench/vnc/viewercomparison.h"

#include "bench/vnc/benchfigures.h"
#include "bench/vnc/benchstreamserver.h"
#include "testing/fakerfb/hextileencoder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <tuple>

namespace Bench {

namespace {

const QSize kFrame(1024, 600);
// Large enough for a 1024x600 frame at 144 DPI (1536x900) with the 100
// pixels the window leaves free, so that no DPI shrinks the window to fit.
const char kScreen[] = "1920x1200x24";

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

// "0-3", "4,6" or "2-3,6": the cores of a taskset list.
bool coreSet(const QString& cores, cpu_set_t* set)
{
    CPU_ZERO(set);
    for (const QString& part : cores.split(',', Qt::SkipEmptyParts)) {
        const QStringList ends = part.split('-');
        bool okFirst = false;
        bool okLast = false;
        const int first = ends.value(0).toInt(&okFirst);
        const int last = ends.size() > 1 ? ends.value(1).toInt(&okLast) : first;
        if (!okFirst || (ends.size() > 1 && !okLast) || first < 0 || last < first || last >= CPU_SETSIZE)
            return false;
        for (int c = first; c <= last; ++c)
            CPU_SET(c, set);
    }
    return CPU_COUNT(set) > 0;
}

// program and arguments, started through taskset when cores are given.
void startPinned(QProcess& process, const QString& cores, const QString& program, const QStringList& arguments)
{
    if (cores.isEmpty())
        process.start(program, arguments);
    else
        process.start(QStringLiteral("taskset"), QStringList{"-c", cores, program} + arguments);
}

// Serves one connection; true once the measured run is complete.
bool serveConnection(int fd, const ViewerStream& stream, qint64 pid, ViewerRun& result)
{
    using Clock = std::chrono::steady_clock;
    if (!StreamServer::handshake(fd, kFrame, FakeRfb::PixelFormat::low().toBytes()))
        return false;
    int bitsPerPixel = 8;
    bool smallSent = false;
    int sent = 0;
    double cpuBefore = 0;
    QElapsedTimer wall;
    Clock::time_point first;
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
        if (stream.intervalMs > 0) {
            if (sent == 0)
                first = Clock::now();
            else
                std::this_thread::sleep_until(first + std::chrono::milliseconds(qint64(stream.intervalMs) * sent));
        }
        if (!StreamServer::sendAll(fd, stream.updates[sent % 2]))
            return false;
        ++sent;
    }
    return false;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(' ', 0, 2);
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

bool BenchDisplay::start(int dpi, int firstNumber, const QString& cores, QString* error)
{
    for (int n = firstNumber; n < firstNumber + 30; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_name = QStringLiteral(":%1").arg(n);
        m_number = n;
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startPinned(*m_process, cores, QStringLiteral("Xvfb"),
                    {m_name, "-screen", "0", kScreen, "-dpi", QString::number(dpi), "-nolisten", "tcp"});
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
        if (m_process->state() == QProcess::NotRunning)
            continue; // taken meanwhile by another server: the next number
        *error = QStringLiteral("Xvfb %1 did not come up").arg(m_name);
        return false;
    }
    *error = QStringLiteral("no free display number from :%1").arg(firstNumber);
    return false;
}

ViewerRun runViewer(const QString& display, const QString& program, const QStringList& arguments,
                    const ViewerStream& stream, const QString& cores)
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
    // The DPI comes from the X server alone.
    for (const char* name : {"QT_FONT_DPI", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                             "QT_ENABLE_HIGHDPI_SCALING"})
        env.remove(QString::fromLatin1(name));
    viewer.setProcessEnvironment(env);
    viewer.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args;
    for (const QString& a : arguments)
        args << QString(a).replace(QStringLiteral("%PORT"), QString::number(server.port()));
    startPinned(viewer, cores, program, args);
    if (viewer.waitForStarted(5000)) {
        // taskset runs the viewer in its own process: the pid is the viewer's.
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
    // Our window logs the size it gave the frame buffer.
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("frameBuffer: (\\d+) (\\d+)"))
                                             .match(QString::fromLocal8Bit(viewer.readAll()));
    if (size.hasMatch())
        result.windowSize = size.captured(1) + QLatin1Char('x') + size.captured(2);
    return result;
}

void viewerFigures(const ViewerBenchOptions& options, const std::function<ViewerStream(int count)>& makeStream)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString tiger = QStandardPaths::findExecutable(QStringLiteral("xtigervncviewer"));
    if (xvfb.isEmpty()) {
        std::printf("\nviewer CPU: skipped, Xvfb is not installed\n");
        return;
    }
    const bool pin = !QStandardPaths::findExecutable(QStringLiteral("taskset")).isEmpty();
    const QString viewerCores = pin ? options.viewerCores : QString();
    const QString feedCores = pin ? options.feedCores : QString();
    cpu_set_t feedSet;
    // The feed's threads (started from here on) keep off the viewers' cores.
    if (!feedCores.isEmpty() && coreSet(feedCores, &feedSet))
        sched_setaffinity(0, sizeof(feedSet), &feedSet);

    std::vector<std::unique_ptr<BenchDisplay>> displays;
    int next = options.firstDisplay;
    for (int dpi : options.dpis) {
        displays.push_back(std::make_unique<BenchDisplay>());
        QString error;
        if (!displays.back()->start(dpi, next, feedCores, &error)) {
            std::printf("\nviewer CPU: skipped, %s\n", qPrintable(error));
            return;
        }
        next = displays.back()->number() + 1;
    }
    struct Side {
        const char* name;
        QString program;
        QStringList arguments;
    };
    std::vector<Side> sides = {{"tarnwick", options.self, {"--viewer", "%PORT"}}};
    if (!tiger.isEmpty())
        sides.push_back({"tigervnc",
                         tiger,
                         {"-AutoSelect=0", "-FullColor=0", "-LowColorLevel=2", "-PreferredEncoding=Hextile",
                          "-SecurityTypes=None", "-Shared=1", "-Log=*:stderr:0", "127.0.0.1::%PORT"}});
    std::vector<int> intervals;
    if (options.paced)
        intervals.push_back(options.intervalMs);
    if (options.backToBack)
        intervals.push_back(0);

    std::map<int, ViewerStream> streams;
    for (int count : options.counts)
        streams[count] = makeStream(count);
    // (dpi, interval, count, side)
    using Key = std::tuple<int, int, int, int>;
    std::map<Key, Figures> cpu, wall;
    std::map<std::tuple<int, int, int>, Figures> ratio;
    QMap<int, QString> windowSizes;
    const QString loadBefore = loadAverage();
    for (int round = 0; round < options.rounds; ++round) {
        for (size_t d = 0; d < options.dpis.size(); ++d) {
            const int dpi = options.dpis[d];
            for (int interval : intervals) {
                for (int count : options.counts) {
                    ViewerStream stream = streams[count];
                    stream.intervalMs = interval;
                    if (interval > 0) {
                        stream.warmUp = 24;
                        stream.measured = 144;
                    }
                    double perSide[2] = {NAN, NAN};
                    for (size_t i = 0; i < sides.size(); ++i) {
                        // Alternate which viewer goes first.
                        const int index = int((i + size_t(round)) % sides.size());
                        const Side& side = sides[size_t(index)];
                        const ViewerRun run = runViewer(displays[d]->name(), side.program, side.arguments, stream,
                                                        viewerCores);
                        if (!run.ok) {
                            std::fprintf(stderr, "%s, %d dpi, %d subrects: %s\n", side.name, dpi, count,
                                         qPrintable(run.error));
                            continue;
                        }
                        if (index == 0 && !run.windowSize.isEmpty())
                            windowSizes[dpi] = run.windowSize;
                        perSide[index] = run.cpuMsPerUpdate;
                        cpu[{dpi, interval, count, index}].add(run.cpuMsPerUpdate);
                        wall[{dpi, interval, count, index}].add(run.wallMsPerUpdate);
                    }
                    if (sides.size() > 1 && !std::isnan(perSide[0]) && perSide[1] > 0)
                        ratio[{dpi, interval, count}].add(perSide[0] / perSide[1]);
                }
            }
        }
        std::fprintf(stderr, "viewer round %d of %d done\n", round + 1, options.rounds);
    }
    const ViewerStream& any = streams.begin()->second;
    std::printf("\nWhole viewer on one 8 bpp stream of %dx%d full updates; CPU (utime+stime of the viewer's "
                "process) per update, ms, median [min-max]; %d interleaved rounds\n",
                kFrame.width(), kFrame.height(), options.rounds);
    std::printf("paced: one update every %d ms, %d measured after %d; back to back: one per request, %d measured "
                "after %d\n",
                options.intervalMs, 144, 24, any.measured, any.warmUp);
    std::printf("viewers pinned to cores %s, feed and Xvfb to %s; load average before %s, after %s\n",
                viewerCores.isEmpty() ? "(unpinned)" : qPrintable(viewerCores),
                feedCores.isEmpty() ? "(unpinned)" : qPrintable(feedCores), qPrintable(loadBefore),
                qPrintable(loadAverage()));
    if (tiger.isEmpty())
        std::printf("(TigerVNC's xtigervncviewer is not installed: no comparison)\n");
    std::printf("%-4s %-9s %-9s %-10s %-25s %-25s %-25s %s\n", "dpi", "feed", "subrects", "window", "tarnwick CPU",
                "tigervnc CPU", "tarnwick wall", "ratio (per-round range)");
    for (int dpi : options.dpis) {
        for (int interval : intervals) {
            for (int count : options.counts) {
                const Figures& ours = cpu[{dpi, interval, count, 0}];
                const Figures& theirs = cpu[{dpi, interval, count, 1}];
                const Figures& r = ratio[{dpi, interval, count}];
                const QString ourWall = wall[{dpi, interval, count, 0}].text();
                const QString versus = r.empty() ? QStringLiteral("-")
                                                 : QString::asprintf("%.2fx [%.2f-%.2f]",
                                                                     ours.median() / theirs.median(), r.min(), r.max());
                std::printf("%-4d %-9s %-9d %-10s %-25s %-25s %-25s %s\n", dpi, interval > 0 ? "paced" : "b2b", count,
                            qPrintable(windowSizes.value(dpi, QStringLiteral("?"))), qPrintable(ours.text()),
                            qPrintable(theirs.empty() ? QStringLiteral("-") : theirs.text()), qPrintable(ourWall),
                            qPrintable(versus));
            }
        }
    }
    std::fflush(stdout);
}

} // namespace Bench

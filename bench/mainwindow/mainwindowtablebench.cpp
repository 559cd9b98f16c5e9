// Times the cloud device table's rebuild as the main window runs it on every
// changed list reply: the merge into the account's records, the sort, the
// filter and the rows handed to the table. Target: 1,000 devices in under
// 100 ms.
//
// Then the same rebuild for 10,000 devices with the program's message
// handler installed, against a handler that drops every message and against
// one that writes, flushes and stamps line by line, as the program's did:
// each changed reply writes one debug line per device, and those lines should
// cost the rebuild little more than their formatting. Interleaved rounds; the
// terminal's text goes to a file, the log into the scratch folder.

#include "tarnwick/core/logger.h"
#include "tarnwick/core/loghandler.h"
#include "tarnwick/ui/mainwindow/clouddevicerows.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kDevices = 10000;
constexpr int kRounds = 7;

QVector<stBoxData> makeBoxes(int count, int generation)
{
    QVector<stBoxData> boxes;
    boxes.reserve(count);
    for (int i = 0; i < count; ++i) {
        stBoxData b;
        b.sn = QStringLiteral("%1%2").arg(i % 2 ? "303" : "AAAA").arg(i * 7919 % 100000, 6, 10, QLatin1Char('0'));
        b.alias = QStringLiteral("\\u8f66\\u95f4 %1 g%2").arg(i).arg(generation);
        b.state = i % 4;
        b.ip = QStringLiteral("192.168.%1.%2").arg(i / 250).arg(i % 250);
        b.iccid = QStringLiteral("8986%1").arg(i, 12, 10, QLatin1Char('0'));
        boxes.append(b);
    }
    return boxes;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// The handler as it was: each line formatted, written and flushed to the
// terminal on its own, and stamped for the log on its own.
void lineByLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = qFormatLogMessage(type, context, message);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    Logger::instance()->appendLine(QDateTime::currentDateTime().toString(QStringLiteral("[yyyy/MM/dd hh:mm:ss] "))
                                   + line);
}

struct Side {
    const char* name;
    std::vector<double> ms;
};

void report(const Side& side)
{
    std::vector<double> v = side.ms;
    std::sort(v.begin(), v.end());
    std::printf("%-22s median %8.1f ms   min %8.1f   max %8.1f\n", side.name, v[v.size() / 2], v.front(), v.back());
}

// The rebuild of kDevices devices under the three handlers, interleaved.
void compareHandlers(const QTemporaryDir& folder)
{
    QDir().mkpath(QStringLiteral("data"));
    qSetMessagePattern(Tarnwick::MainWindow::messagePattern());
    // The terminal's text into a file, as a terminal would take it.
    std::fflush(stderr);
    const int savedErr = ::dup(2);
    const int terminal = ::open(QFile::encodeName(folder.filePath(QStringLiteral("terminal.txt"))).constData(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(terminal, 2);
    ::close(terminal);

    MainFrame frame;
    frame.show();
    frame.onQueryBoxListSignal(true, makeBoxes(kDevices, 0), QString());
    QCoreApplication::processEvents();

    Side dropped{"messages dropped", {}};
    Side handled{"program's handler", {}};
    Side before{"line by line (before)", {}};
    Side* sides[] = {&dropped, &handled, &before};
    int generation = 1;
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (round + turn) % 3;
            if (which == 1)
                LogHandler::install();
            else if (which == 2)
                qInstallMessageHandler(lineByLine);
            const QVector<stBoxData> boxes = makeBoxes(kDevices, generation++);
            QElapsedTimer timer;
            timer.start();
            frame.onQueryBoxListSignal(true, boxes, QString());
            const double ms = timer.nsecsElapsed() / 1e6;
            if (which == 1)
                LogHandler::uninstall();
            else
                Logger::instance()->flush();
            qInstallMessageHandler(dropMessage);
            sides[which]->ms.push_back(ms);
            QCoreApplication::processEvents();
        }
    }

    std::fflush(stderr);
    ::dup2(savedErr, 2);
    ::close(savedErr);
    std::printf("cloud table rebuild, %d devices, %d interleaved rounds per side\n", kDevices, kRounds);
    report(dropped);
    report(handled);
    report(before);
    std::printf("ratio of the medians, handler / dropped: %.2f   line by line / dropped: %.2f\n",
                median(handled.ms) / median(dropped.ms), median(before.ms) / median(dropped.ms));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QDir::setCurrent(home.path());
    qInstallMessageHandler(dropMessage);
    QApplication app(argc, argv);

    std::printf("%-8s %14s %14s %14s\n", "devices", "rows only ms", "window ms", "window max ms");
    for (int count : {1000, 5000}) {
        // The pure part: merge, sort, cells.
        std::vector<double> pure;
        for (int run = 0; run < 5; ++run) {
            const QVector<stBoxData> boxes = makeBoxes(count, run);
            QElapsedTimer timer;
            timer.start();
            QList<stDeviceData> rows = CloudDeviceRows::merge({}, boxes, QStringLiteral("user"), QStringLiteral("pw"));
            CloudDeviceRows::sortRows(rows, 3, true, QString(), 0);
            QVariantList cells;
            cells.reserve(rows.size());
            for (int i = 0; i < rows.size(); ++i)
                cells.append(CloudDeviceRows::makeDeviceRow(rows.at(i), i, false, 0));
            pure.push_back(timer.nsecsElapsed() / 1e6);
        }

        // The window's whole rebuild, table included, on changed replies.
        MainFrame frame;
        frame.show();
        std::vector<double> window;
        for (int run = 0; run < 5; ++run) {
            const QVector<stBoxData> boxes = makeBoxes(count, run);
            QElapsedTimer timer;
            timer.start();
            frame.onQueryBoxListSignal(true, boxes, QString());
            window.push_back(timer.nsecsElapsed() / 1e6);
            QCoreApplication::processEvents();
        }
        std::printf("%-8d %14.1f %14.1f %14.1f\n", count, median(pure), median(window),
                    *std::max_element(window.begin(), window.end()));
    }
    std::printf("\n");
    compareHandlers(home);
    return 0;
}

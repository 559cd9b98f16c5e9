// Opening a full log ("data/log.txt" at its size bound) in HelpView: the
// plain-text mode that the debug-log page uses beside the HTML mode of the
// help page, on the same file in the same run. Prints the times.

#include "tarnwick/core/constants.h"
#include "tarnwick/ui/settings/helpview.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Log lines as the logger writes them, some with panel texts holding "<...>".
QByteArray fullLog(qint64 bytes)
{
    QByteArray log;
    log.reserve(int(bytes) + 256);
    const QDateTime start = QDateTime::fromString("2026/12/09 01:00:00", "yyyy/MM/dd hh:mm:ss");
    for (int i = 0; log.size() < bytes; ++i) {
        log += start.addSecs(i / 10).toString("[yyyy/MM/dd hh:mm:ss] ").toUtf8();
        if (i % 7 == 0)
            log += QString::fromUtf8("设备 <%1> 回复: <ok> 联机成功").arg(i).toUtf8();
        else
            log += QByteArray("connection [127.0.0.1:9009] connect, sequence ") + QByteArray::number(i);
        log += "\r\n";
    }
    log.truncate(int(bytes));
    return log;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double openMs(const QString& path, bool plainText, int* blocks)
{
    QElapsedTimer clock;
    clock.start();
    HelpView view(path, nullptr, plainText);
    const double ms = clock.nsecsElapsed() / 1e6;
    *blocks = view.findChild<QTextEdit*>()->document()->blockCount();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    const qint64 size = Tarnwick::Constants::kLogMaxBytes;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fullLog(size)) != size) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();

    const int runs = 3;
    std::vector<double> plain;
    std::vector<double> html;
    int plainBlocks = 0;
    int htmlBlocks = 0;
    for (int i = 0; i < runs; ++i) {
        plain.push_back(openMs(path, true, &plainBlocks));
        html.push_back(openMs(path, false, &htmlBlocks));
    }
    std::printf("HelpView on a %lld-byte log, median of %d runs\n", static_cast<long long>(size), runs);
    std::printf("  plain text: %8.1f ms  (%d blocks, one per line)\n", median(plain), plainBlocks);
    std::printf("  HTML:       %8.1f ms  (%d blocks)\n", median(html), htmlBlocks);
    std::printf("  target for the plain-text log page: under 150 ms\n");
    std::fflush(stdout); // a sanitizer's leak report ends the process with _exit
    return 0;
}

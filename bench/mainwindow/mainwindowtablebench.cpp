// Times the cloud device table's rebuild as the main window runs it on every
// changed list reply: the merge into the account's records, the sort, the
// filter and the rows handed to the table. Target: 1,000 devices in under
// 100 ms.

#include "tarnwick/ui/mainwindow/clouddevicerows.h"
#include "tarnwick/ui/mainwindow/mainframe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QDir::setCurrent(home.path());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
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
    return 0;
}

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
//
// Last, the table on the shown cloud page against a plain QTableWidget of the
// same rows in a window of the same size, the table at the same size and
// place, with the same columns, row height, texts, colours and alignment:
// each rebuild is followed by the same event loop passes until what it
// changed is laid out and painted, and timed with them. Interleaved rounds of
// the window's whole rebuild (onQueryBoxListSignal: merge, sort, rows, table,
// selection; its debug lines dropped, their cost is measured above), of
// TableView::updateRows alone with the rows ready, and of the plain table;
// wall time and the GUI thread's processor time, which a loaded machine
// disturbs less.

#include "tarnwick/core/logger.h"
#include "tarnwick/core/loghandler.h"
#include "tarnwick/ui/mainwindow/clouddevicerows.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/tableview.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kDevices = 10000;
constexpr int kRounds = 7;
constexpr int kTableRounds = 11;

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

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// The event loop passes after a rebuild, the same for every side: posted
// events (layout requests, the view's delayed item layout, update requests)
// and the paints they cause, pass after pass until one paints nothing more.
// Returns the paints of the table's viewport.
int settle(const PaintCounter& viewport)
{
    const int before = viewport.count;
    for (int pass = 0; pass < 20; ++pass) {
        const int seen = viewport.count;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (pass > 0 && viewport.count == seen)
            break;
    }
    return viewport.count - before;
}

// The rows the window hands its table for these boxes (no saved records, no
// search text, no VPN operation), made outside the timing.
QVariantList tableRows(const QVector<stBoxData>& boxes, const DeviceView& page)
{
    QList<stDeviceData> records = CloudDeviceRows::merge({}, boxes, QString(), QString());
    CloudDeviceRows::sortRows(records, page.sortColumn(), page.isAscending(), QString(), 0);
    QVariantList rows;
    rows.reserve(records.size());
    for (int i = 0; i < records.size(); ++i)
        rows.append(CloudDeviceRows::makeDeviceRow(records.at(i), i, false, 0));
    return rows;
}

// A plain QTableWidget in a window of the main window's size, at the place
// and size of the cloud page's table, with its columns, widths and row height.
class PlainTable {
public:
    PlainTable(const MainFrame& frame, const TableView& model)
    {
        m_window.resize(frame.size());
        m_table = new QTableWidget(&m_window);
        m_table->setGeometry(QRect(model.mapTo(&frame, QPoint(0, 0)), model.size()));
        m_table->setColumnCount(model.columnCount());
        QStringList titles;
        for (int c = 0; c < model.columnCount(); ++c) {
            titles << model.horizontalHeaderItem(c)->text();
            m_alignments << (model.columns().at(c).alignment | Qt::AlignVCenter);
        }
        m_table->setHorizontalHeaderLabels(titles);
        for (int c = 0; c < model.columnCount(); ++c)
            m_table->horizontalHeader()->resizeSection(c, model.horizontalHeader()->sectionSize(c));
        m_table->horizontalHeader()->setStretchLastSection(true);
        m_table->verticalHeader()->hide();
        m_table->verticalHeader()->setDefaultSectionSize(model.verticalHeader()->defaultSectionSize());
        m_window.show();
    }

    QTableWidget* table() const { return m_table; }

    void rebuild(const QVariantList& rows)
    {
        m_table->setRowCount(0);
        m_table->setRowCount(rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            const QVariantList cells = rows.at(r).toList();
            for (int c = 0; c < cells.size() && c < m_alignments.size(); ++c) {
                const QVariant& cell = cells.at(c);
                auto* item = new QTableWidgetItem;
                if (cell.canConvert<QVariantMap>()) {
                    const QVariantMap map = cell.toMap();
                    item->setText(map.value(QStringLiteral("text")).toString());
                    const QString colour = map.value(QStringLiteral("color")).toString();
                    if (!colour.isEmpty())
                        item->setForeground(QColor(colour));
                } else {
                    item->setText(cell.toString());
                }
                item->setTextAlignment(static_cast<int>(m_alignments.at(c)));
                m_table->setItem(r, c, item);
            }
        }
    }

private:
    QWidget m_window;
    QTableWidget* m_table = nullptr;
    QVector<Qt::Alignment> m_alignments;
};

struct TableSide {
    const char* name;
    std::vector<double> totalMs;
    std::vector<double> cpuMs; // of this thread, which runs the whole rebuild: steadier on a loaded machine
    std::vector<double> callMs;
    int paints = 0;
};

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Base {
    double wallMs;
    double cpuMs;
};

void reportTable(const TableSide& side, const Base& base)
{
    std::vector<double> v = side.totalMs;
    std::sort(v.begin(), v.end());
    std::printf("%-30s %7.1f ms [%6.1f - %6.1f] %5.2fx  cpu %7.1f ms %5.2fx  call %6.1f ms  %.1f paints\n", side.name,
                median(v), v.front(), v.back(), median(v) / base.wallMs, median(side.cpuMs),
                median(side.cpuMs) / base.cpuMs, median(side.callMs),
                side.paints / static_cast<double>(side.totalMs.size()));
}

// The cloud page's table against a plain QTableWidget of the same rows.
void compareWithPlainTable()
{
    MainFrame frame;
    frame.showPage(MainFrame::CloudPage);
    frame.show();
    DeviceView& page = *frame.devicePage();
    TableView& table = *page.table();
    frame.onQueryBoxListSignal(true, makeBoxes(100, 0), QString());
    QCoreApplication::processEvents();
    PlainTable plain(frame, table);
    QCoreApplication::processEvents();

    PaintCounter windowPaints;
    PaintCounter plainPaints;
    table.viewport()->installEventFilter(&windowPaints);
    plain.table()->viewport()->installEventFilter(&plainPaints);

    std::printf("\ncloud table rebuild with layout and paint against a plain QTableWidget, table %dx%d in a %dx%d "
                "window, %d interleaved rounds\n",
                table.width(), table.height(), frame.width(), frame.height(), kTableRounds);
    int generation = 1000;
    for (int count : {1000, 10000}) {
        TableSide plainSide{"plain QTableWidget", {}, {}, {}, 0};
        TableSide rowsSide{"TableView::updateRows", {}, {}, {}, 0};
        TableSide windowSide{"window (onQueryBoxListSignal)", {}, {}, {}, 0};
        // Untimed: every table holds `count` rows before the timed rebuilds,
        // which all replace as many rows as they make.
        {
            const QVector<stBoxData> boxes = makeBoxes(count, generation++);
            plain.rebuild(tableRows(boxes, page));
            frame.onQueryBoxListSignal(true, boxes, QString());
            settle(windowPaints);
            settle(plainPaints);
        }
        for (int round = 0; round < kTableRounds; ++round) {
            for (int turn = 0; turn < 3; ++turn) {
                const int which = (round + turn) % 3;
                const QVector<stBoxData> boxes = makeBoxes(count, generation++);
                const QVariantList rows = tableRows(boxes, page);
                TableSide& side = which == 0 ? plainSide : which == 1 ? rowsSide : windowSide;
                const PaintCounter& paints = which == 0 ? plainPaints : windowPaints;
                const double cpuStart = threadCpuMs();
                QElapsedTimer timer;
                timer.start();
                if (which == 0)
                    plain.rebuild(rows);
                else if (which == 1)
                    table.updateRows(rows);
                else
                    frame.onQueryBoxListSignal(true, boxes, QString());
                side.callMs.push_back(timer.nsecsElapsed() / 1e6);
                side.paints += settle(paints);
                side.totalMs.push_back(timer.nsecsElapsed() / 1e6);
                side.cpuMs.push_back(threadCpuMs() - cpuStart);
            }
        }
        const Base base{median(plainSide.totalMs), median(plainSide.cpuMs)};
        std::printf("%d rows, rebuild + settle: wall median [min - max], ratio; thread CPU median, ratio\n", count);
        reportTable(plainSide, base);
        reportTable(rowsSide, base);
        reportTable(windowSide, base);
    }
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
    compareWithPlainTable();
    return 0;
}

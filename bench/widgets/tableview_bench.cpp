// Times TableView::updateRows on a shown table (offscreen unless a display is
// set) with one text column and one column of cell widgets, for 1,000 and
// 10,000 rows; and, for comparison at 1,000 rows, the naive rebuild that
// inserts rows one at a time and makes every cell widget at once.
//   widgets_tableview_bench [repeats]

#include "tarnwick/widgets/tableview.h"

#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/pixmaplabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QVariantList makeRows(int count, int cellType, int round)
{
    QVariantList rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        QVariant cell;
        if (cellType == TableColumn::Check)
            cell = (i + round) % 2 == 0;
        else
            cell = QVariantMap{{"icon", ":/pics/icon/file.png"},
                               {"text", QString("file%1.csv").arg(i)},
                               {"value", QString("/storage/user_dir/file%1.csv").arg(i)},
                               {"size", 16}};
        rows << QVariant(QVariantList{QString("panel %1 / %2").arg(i).arg(round), cell});
    }
    return rows;
}

struct Figures {
    double bestMs = 0;
    double medianMs = 0;
};

template <typename Rebuild>
Figures measure(int repeats, Rebuild rebuild)
{
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        rebuild(r);
        QApplication::processEvents(); // the layout and paint the rebuild caused
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

void run(const char* label, int cellType, int rows, int repeats)
{
    TableView table;
    table.setColumns({{"name", TableColumn::Text, QHeaderView::Interactive, 200, Qt::AlignLeft},
                      {"cell", cellType, QHeaderView::Interactive, 200, Qt::AlignLeft}});
    table.resize(800, 600);
    table.show();
    QApplication::processEvents();

    // Prepared outside the timing: the rows a page would hand in.
    std::vector<QVariantList> lists;
    for (int r = 0; r < repeats + 1; ++r)
        lists.push_back(makeRows(rows, cellType, r));
    table.updateRows(lists.back());
    table.selectRow(rows / 2);
    table.verticalScrollBar()->setValue(table.verticalScrollBar()->maximum() / 2);

    const Figures update = measure(repeats, [&](int r) { table.updateRows(lists[r]); });
    std::printf("%-11s %6d rows  updateRows          best %8.1f ms  median %8.1f ms\n", label, rows, update.bestMs,
                update.medianMs);

    // Cell widgets are made as rows come into view: the cost of scrolling
    // through the whole list once, a screenful at a time.
    {
        table.updateRows(lists[0]);
        QScrollBar* bar = table.verticalScrollBar();
        bar->setValue(0);
        QApplication::processEvents();
        const int step = std::max(1, table.viewport()->height());
        int screens = 0;
        QElapsedTimer timer;
        timer.start();
        for (int value = 0; value <= bar->maximum(); value += step) {
            bar->setValue(value);
            QApplication::processEvents();
            ++screens;
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        std::printf("%-11s %6d rows  scroll through once  %8.1f ms  (%d screens, %.2f ms each)\n", label, rows, ms,
                    screens, ms / std::max(1, screens));
    }

    if (rows <= 1000) {
        // For comparison, the naive rebuild: rows removed one by one from the
        // last, then inserted one at a time, each with its cell widget made at once.
        const Figures naive = measure(repeats, [&](int r) {
            while (table.rowCount() > 0)
                table.removeRow(table.rowCount() - 1);
            for (const QVariant& row : lists[r]) {
                const QVariantList cells = row.toList();
                const int at = table.rowCount();
                table.insertRow(at);
                table.setItem(at, 0, new QTableWidgetItem(cells.at(0).toString()));
                if (cellType == TableColumn::Check) {
                    table.setCellWidget(at, 1, new CheckLineView(cells.at(1).toBool(), nullptr));
                } else {
                    const QVariantMap map = cells.at(1).toMap();
                    auto* label = new PixmapLabel(map.value("icon").toString(), map.value("text").toString(), false);
                    label->setIconSize(QSize(16, 16));
                    label->setWhatsThis(map.value("value").toString());
                    table.setCellWidget(at, 1, label);
                }
            }
        });
        std::printf("%-11s %6d rows  naive, row by row   best %8.1f ms  median %8.1f ms\n", label, rows, naive.bestMs,
                    naive.medianMs);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("QT_FONT_DPI"))
        setenv("QT_FONT_DPI", "96", 1);
    QApplication app(argc, argv);
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("TableView::updateRows, shown table, %d repeats (target: 10000 rows under 300 ms)\n", repeats);
    for (int rows : {1000, 10000}) {
        run("check box", TableColumn::Check, rows, repeats);
        run("icon label", TableColumn::Icon, rows, repeats);
    }
    return 0;
}

#include "tarnwick/widgets/tableview.h"

#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/columnfit.h"
#include "tarnwick/widgets/pixmaplabel.h"

#include "tarnwick/widgets/tests/kittestsupport.h"
#include "testing/main/eventwait.h"

#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

using TestWait::waitUntil;

QVector<TableColumn> threeColumns()
{
    return {
        {"name", TableColumn::Text, QHeaderView::Interactive, 300, Qt::AlignLeft},
        {"on", TableColumn::Check, QHeaderView::Interactive, 60, Qt::AlignCenter},
        {"file", TableColumn::Icon, QHeaderView::Interactive, 300, Qt::AlignLeft},
    };
}

QVariantList rows(int count, const QString& prefix = "row")
{
    QVariantList list;
    for (int i = 0; i < count; ++i)
        list << QVariant(QVariantList{QString("%1 %2").arg(prefix).arg(i), i % 2 == 0,
                                      QVariantMap{{"icon", ":/pics/icon/file.png"},
                                                  {"text", QString("f%1").arg(i)},
                                                  {"value", QString("/data/f%1").arg(i)},
                                                  {"size", 16}}});
    return list;
}

// Drags the right edge of a column's header section by dx, as the user would.
void widenColumnByHand(TableView& table, int column, int dx)
{
    QHeaderView* header = table.horizontalHeader();
    const int edge = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
    const int y = header->height() / 2;
    KitTest::press(header->viewport(), QPoint(edge, y));
    KitTest::move(header->viewport(), QPoint(edge + dx, y));
    KitTest::release(header->viewport(), QPoint(edge + dx, y));
}

// Every shown column lies within the table's viewport.
::testing::AssertionResult columnsWithin(const TableView& table)
{
    const QHeaderView* header = table.horizontalHeader();
    for (int column = 0; column < header->count(); ++column) {
        const int end = header->sectionViewportPosition(column) + header->sectionSize(column);
        if (end > table.viewport()->width())
            return ::testing::AssertionFailure()
                   << "column " << column << " ends at " << end << " of " << table.viewport()->width();
    }
    return ::testing::AssertionSuccess();
}

// A shown table small enough to scroll down (sideways once the user makes a
// column wider than it).
struct Table {
    Table()
    {
        table->setColumns(threeColumns());
        table->resize(400, 300);
        table->show();
    }
    std::unique_ptr<TableView> table = std::make_unique<TableView>();
};

} // namespace

TEST(TableView, ColumnsSetTheHeaderAndTheRowHeight)
{
    Table t;
    EXPECT_EQ(t.table->columnCount(), 3);
    EXPECT_EQ(t.table->horizontalHeaderItem(2)->text(), "file");
    EXPECT_TRUE(t.table->verticalHeader()->isHidden());
    EXPECT_EQ(t.table->verticalHeader()->defaultSectionSize(), 36);
    t.table->resize(800, 300);
    EXPECT_EQ(t.table->horizontalHeader()->sectionSize(0), 300);
    EXPECT_TRUE(t.table->horizontalHeader()->stretchLastSection());
    EXPECT_EQ(t.table->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(t.table->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST(TableView, CellsReadBackByColumnTypeAndOutOfRangeIsInvalid)
{
    Table t;
    EXPECT_EQ(t.table->addRows(rows(3)), 3);
    EXPECT_EQ(t.table->currentRow(), 0);
    EXPECT_EQ(t.table->cellValue(1, 0), QVariant("row 1"));
    EXPECT_EQ(t.table->cellValue(1, 1), QVariant(false));
    EXPECT_EQ(t.table->cellValue(2, 1), QVariant(true));
    EXPECT_EQ(t.table->cellValue(2, 2), QVariant("/data/f2"));

    for (auto [r, c] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 3}, {3, 3}})
        EXPECT_FALSE(t.table->cellValue(r, c).isValid()) << r << "," << c;

    auto* label = qobject_cast<PixmapLabel*>(t.table->cellWidget(0, 2));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->objectName(), "iconValue");
    EXPECT_EQ(label->iconSize(), QSize(16, 16));
    EXPECT_EQ(label->text(), "f0");
    EXPECT_EQ(t.table->item(0, 0)->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
}

TEST(TableView, ShortRowsKeepTheRestAndLongRowsDropTheExtraCells)
{
    Table t;
    t.table->addRows(rows(1));
    t.table->setRow(0, {"renamed"});
    EXPECT_EQ(t.table->cellValue(0, 0), QVariant("renamed"));
    EXPECT_EQ(t.table->cellValue(0, 1), QVariant(true));
    EXPECT_EQ(t.table->cellValue(0, 2), QVariant("/data/f0"));

    EXPECT_TRUE(t.table->appendRow({"a", false, "plain", "extra", "more"}));
    EXPECT_EQ(t.table->rowCount(), 2);
    EXPECT_EQ(t.table->columnCount(), 3);
    // A plain string in an icon column: text and value, no icon, 32 x 32.
    auto* label = qobject_cast<PixmapLabel*>(t.table->cellWidget(1, 2));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "plain");
    EXPECT_TRUE(label->icon().isEmpty());
    EXPECT_TRUE(label->findChild<QLabel*>("icon")->isHidden());
    EXPECT_EQ(label->iconSize(), QSize(32, 32));
    EXPECT_EQ(t.table->cellValue(1, 2), QVariant("plain"));
}

TEST(TableView, TextCellColourComesFromTheMapOnlyWhenGiven)
{
    Table t;
    t.table->appendRow({QVariantMap{{"text", "blue"}, {"color", "#0000ff"}}});
    t.table->appendRow({QVariantMap{{"text", "plain"}, {"color", ""}}});
    t.table->appendRow({QVariantMap{{"color", "red"}}});
    EXPECT_EQ(t.table->item(0, 0)->foreground().color(), QColor(0, 0, 255));
    EXPECT_EQ(t.table->item(0, 0)->foreground().style(), Qt::SolidPattern);
    EXPECT_FALSE(t.table->item(1, 0)->data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(t.table->cellValue(2, 0), QVariant(QString()));
}

TEST(TableView, ColumnFitSharesTheRoomInTheDesignedProportionsWhereTheWantedWidthsDoNotFit)
{
    struct Case {
        QVector<int> designed;
        QVector<int> wanted;
        int room;
        QVector<int> widths;
    } cases[] = {
        {{50, 240, 240, 160, 200}, {50, 240, 240, 160, 200}, 1000, {50, 240, 240, 160, 200}},
        {{50, 240, 240, 160, 200}, {50, 240, 240, 160, 200}, 890, {50, 240, 240, 160, 200}},
        // 144 DPI on a 1366 x 768 screen: the local list's 1482 px in 1224.
        {{50, 240, 240, 160, 200}, {83, 399, 399, 266, 333}, 1224, {68, 330, 330, 220, 275}},
        {{40, 60, 60, 180, 120, 80, 130, 200},
         {66, 99, 99, 299, 199, 133, 216, 333},
         1236,
         {56, 85, 85, 255, 170, 113, 184, 284}},
        {{300, 60, 300}, {300, 60, 300}, 0, {0, 0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColumnFit::fitted(c.designed, c.wanted, c.room), c.widths) << c.room;
}

TEST(TableView, ColumnsShareANarrowTableAndTakeTheirWidthsBackWhereThereIsRoom)
{
    Table t;
    QHeaderView* header = t.table->horizontalHeader();
    EXPECT_TRUE(columnsWithin(*t.table));
    EXPECT_EQ(t.table->horizontalScrollBar()->maximum(), 0);
    // 300 : 60 : 300 of the viewport's width, the last stretched over the rest.
    const int room = t.table->viewport()->width();
    EXPECT_EQ(header->sectionSize(0), room * 300 / 660);
    EXPECT_EQ(header->sectionSize(1), room * 60 / 660);
    // Rows enough for the vertical scroll bar: the viewport narrows, the columns follow.
    t.table->updateRows(rows(50));
    ASSERT_TRUE(waitUntil([&] { return t.table->viewport()->width() < room; }, 5000));
    EXPECT_TRUE(columnsWithin(*t.table));
    t.table->resize(1000, 300);
    ASSERT_TRUE(waitUntil([&] { return header->sectionSize(0) == 300; }, 5000));
    EXPECT_EQ(header->sectionSize(1), 60);
    EXPECT_GE(header->sectionSize(2), 300);
    EXPECT_TRUE(columnsWithin(*t.table));
    const ColumnFit* fit = ColumnFit::of(t.table.get());
    ASSERT_NE(fit, nullptr);
    EXPECT_FALSE(fit->userSized());
}

TEST(TableView, ColumnsTheUserSizedStayAsTheUserLeftThem)
{
    Table t;
    t.table->resize(1000, 300);
    QHeaderView* header = t.table->horizontalHeader();
    ASSERT_EQ(header->sectionSize(0), 300);
    widenColumnByHand(*t.table, 0, 250);
    const ColumnFit* fit = ColumnFit::of(t.table.get());
    ASSERT_NE(fit, nullptr);
    EXPECT_TRUE(fit->userSized());
    EXPECT_EQ(header->sectionSize(0), 550);
    // Narrower now than the columns: they stay, and the table scrolls sideways.
    t.table->resize(500, 300);
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(header->sectionSize(0), 550);
    EXPECT_EQ(header->sectionSize(1), 60);
    EXPECT_GT(t.table->horizontalScrollBar()->maximum(), 0);
}

TEST(TableView, UpdateKeepsTheCurrentRowAndBothScrollValues)
{
    Table t;
    t.table->updateRows(rows(200));
    widenColumnByHand(*t.table, 0, 300);
    t.table->selectRow(120);
    t.table->verticalScrollBar()->setValue(3000);
    t.table->horizontalScrollBar()->setValue(150);
    ASSERT_EQ(t.table->verticalScrollBar()->value(), 3000);
    ASSERT_EQ(t.table->horizontalScrollBar()->value(), 150);

    EXPECT_TRUE(t.table->updateRows(rows(200, "new")));
    EXPECT_EQ(t.table->rowCount(), 200);
    EXPECT_EQ(t.table->currentRow(), 120);
    EXPECT_EQ(t.table->verticalScrollBar()->value(), 3000);
    EXPECT_EQ(t.table->horizontalScrollBar()->value(), 150);
    EXPECT_EQ(t.table->cellValue(5, 0), QVariant("new 5"));

    // Shorter than the current row: row 0.
    EXPECT_TRUE(t.table->updateRows(rows(50)));
    EXPECT_EQ(t.table->currentRow(), 0);
    EXPECT_EQ(t.table->rowCount(), 50);
}

TEST(TableView, UpdateWithoutACurrentRowSelectsNone)
{
    Table t;
    t.table->updateRows(rows(5));
    t.table->setCurrentIndex(QModelIndex());
    t.table->clearSelection();
    ASSERT_EQ(t.table->currentRow(), -1);
    t.table->updateRows(rows(5));
    EXPECT_EQ(t.table->currentRow(), -1);
    EXPECT_TRUE(t.table->selectionModel()->selectedRows().isEmpty());

    TableView empty;
    empty.setColumns(threeColumns());
    EXPECT_EQ(empty.addRows({}), 0);
    EXPECT_EQ(empty.currentRow(), -1);
}

TEST(TableView, UpdatesDuringAScrollAreHeldBackAndOnlyTheLastApplies)
{
    Table t;
    t.table->updateRows(rows(100));
    QScroller* scroller = t.table->scroller();
    scroller->scrollTo(QPointF(0, 1500), 5000);
    ASSERT_NE(scroller->state(), QScroller::Inactive);

    EXPECT_FALSE(t.table->updateRows(rows(10, "first")));
    EXPECT_FALSE(t.table->updateRows(rows(20, "second")));
    EXPECT_TRUE(t.table->isUpdatePending());
    EXPECT_EQ(t.table->rowCount(), 100);
    EXPECT_EQ(t.table->cellValue(0, 0), QVariant("row 0"));

    scroller->stop();
    EXPECT_EQ(scroller->state(), QScroller::Inactive);
    EXPECT_FALSE(t.table->isUpdatePending());
    EXPECT_EQ(t.table->rowCount(), 20);
    EXPECT_EQ(t.table->cellValue(19, 0), QVariant("second 19"));
}

TEST(TableView, ClicksReportTheRow)
{
    Table t;
    t.table->addRows(rows(3));
    QSignalSpy selected(t.table.get(), &TableView::selectedRow);
    QSignalSpy doubled(t.table.get(), &TableView::doubleClick);
    emit t.table->cellClicked(2, 0);
    emit t.table->cellDoubleClicked(1, 2);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toInt(), 2);
    ASSERT_EQ(doubled.count(), 1);
    EXPECT_EQ(doubled.at(0).at(0).toInt(), 1);
}

TEST(TableView, EnsureCurrentRowVisibleScrollsToTheEnds)
{
    Table t;
    t.table->updateRows(rows(100));
    QScrollBar* bar = t.table->verticalScrollBar();
    t.table->selectRow(99);
    t.table->scrollToTop();
    t.table->ensureCurrentRowVisible();
    EXPECT_EQ(bar->value(), bar->maximum());

    // Selecting scrolls the row into view by itself; scroll away again.
    t.table->selectRow(1);
    bar->setValue(bar->maximum());
    t.table->ensureCurrentRowVisible();
    EXPECT_EQ(bar->value(), bar->minimum());

    t.table->selectRow(50);
    bar->setValue(bar->minimum());
    t.table->ensureCurrentRowVisible();
    EXPECT_EQ(bar->value(), 50 * (bar->maximum() - bar->minimum()) / 100);
}

TEST(TableView, CellWidgetsAreMadeWhenTheirRowsComeIntoView)
{
    Table t;
    t.table->updateRows(rows(500));
    ASSERT_NE(t.table->cellWidget(0, 1), nullptr);
    EXPECT_EQ(t.table->cellWidget(499, 1), nullptr);
    EXPECT_EQ(t.table->cellWidget(499, 2), nullptr);
    // Read from the waiting data all the same.
    EXPECT_EQ(t.table->cellValue(499, 1), QVariant(false));
    EXPECT_EQ(t.table->cellValue(498, 1), QVariant(true));
    EXPECT_EQ(t.table->cellValue(499, 2), QVariant("/data/f499"));

    t.table->setRow(499, {"last", true, "plain"});
    EXPECT_EQ(t.table->cellValue(499, 1), QVariant(true));
    EXPECT_EQ(t.table->cellValue(499, 2), QVariant("plain"));

    QScrollBar* bar = t.table->verticalScrollBar();
    bar->setValue(bar->maximum());
    auto* box = qobject_cast<CheckLineView*>(t.table->cellWidget(499, 1));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    auto* label = qobject_cast<PixmapLabel*>(t.table->cellWidget(499, 2));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "plain");
    EXPECT_EQ(label->iconSize(), QSize(32, 32));

    // The user's change in the widget is what reads back.
    box->setChecked(false);
    EXPECT_EQ(t.table->cellValue(499, 1), QVariant(false));

    // A row on screen that is set again gets a fresh widget.
    t.table->setRow(499, {"last", true, "again"});
    EXPECT_EQ(t.table->cellValue(499, 1), QVariant(true));
    EXPECT_EQ(qobject_cast<PixmapLabel*>(t.table->cellWidget(499, 2))->text(), "again");
    KitTest::flushEvents();
}

TEST(TableView, AHiddenTableMakesItsCellWidgetsWhenShown)
{
    TableView table;
    table.setColumns(threeColumns());
    table.resize(400, 300);
    table.addRows(rows(3));
    EXPECT_EQ(table.cellWidget(0, 1), nullptr);
    EXPECT_EQ(table.cellValue(0, 1), QVariant(true));
    table.show();
    EXPECT_NE(table.cellWidget(0, 1), nullptr);
    EXPECT_NE(table.cellWidget(2, 2), nullptr);
}

TEST(TableView, WidgetsFarOutOfViewAreLetGoAndKeepTheirValue)
{
    Table t;
    t.table->updateRows(rows(1000));
    auto* box = qobject_cast<CheckLineView*>(t.table->cellWidget(0, 1));
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(box->isChecked());
    box->setChecked(false); // the user's change

    QScrollBar* bar = t.table->verticalScrollBar();
    bar->setValue(bar->maximum());
    EXPECT_EQ(t.table->cellWidget(0, 1), nullptr);
    EXPECT_EQ(t.table->cellValue(0, 1), QVariant(false));
    EXPECT_NE(t.table->cellWidget(999, 1), nullptr);
    int made = 0;
    for (int row = 0; row < t.table->rowCount(); ++row)
        made += t.table->cellWidget(row, 1) != nullptr;
    EXPECT_LT(made, 100) << "only the rows around the view keep widgets";

    bar->setValue(0);
    box = qobject_cast<CheckLineView*>(t.table->cellWidget(0, 1));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(t.table->cellWidget(999, 1), nullptr);
    EXPECT_EQ(t.table->cellValue(999, 2), QVariant("/data/f999"));
    KitTest::flushEvents();
}

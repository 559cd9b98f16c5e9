#include "tarnwick/widgets/tableview.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/columnfit.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QBrush>
#include <QColor>
#include <QDebug>
#include <QScrollBar>
#include <QStringList>

#include <algorithm>
#include <utility>

using namespace Tarnwick::Widgets;

namespace {

// Where a widget cell keeps its data until its widget is made.
constexpr int kCellDataRole = Qt::UserRole + 0x7457;

struct IconCell {
    QString icon;
    QString text;
    QString value;
    int size = kDefaultCellIconSize;
};

// A map with "icon", "text", "value" and "size", or a plain value that is
// both the text and the value.
IconCell iconCell(const QVariant& cell)
{
    IconCell parsed;
    if (cell.canConvert<QVariantMap>()) {
        const QVariantMap map = cell.toMap();
        parsed.icon = map.value(QStringLiteral("icon")).toString();
        parsed.text = map.value(QStringLiteral("text")).toString();
        parsed.value = map.value(QStringLiteral("value")).toString();
        parsed.size = map.value(QStringLiteral("size"), kDefaultCellIconSize).toInt();
    } else {
        parsed.text = cell.toString();
        parsed.value = parsed.text;
    }
    return parsed;
}

} // namespace

TableView::TableView(QWidget* parent)
    : QTableWidget(parent)
{
    KitResources::init();
    setAttribute(Qt::WA_StyledBackground);
    horizontalHeader()->setHighlightSections(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    horizontalHeader()->setStyleSheet(
        QString::fromLatin1(kHeaderStyle).arg(ScreenTool::scale(2)).arg(ScreenTool::scale(16)));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setStyleSheet(kTableStyle);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    m_scroller = QScroller::scroller(this);
    connect(m_scroller, &QScroller::stateChanged, this, &TableView::onScrollerStateChanged);
    connect(this, &QTableWidget::cellClicked, this, &TableView::onCellClicked);
    connect(this, &QTableWidget::cellDoubleClicked, this, &TableView::onCellDoubleClicked);
}

void TableView::setColumns(const QVector<TableColumn>& columns)
{
    clear();
    m_cellTypes.clear();
    m_columns = columns;
    setColumnCount(columns.size());
    horizontalHeader()->setMinimumHeight(ScreenTool::scale(38));
    verticalHeader()->setDefaultSectionSize(ScreenTool::scale(36));
    verticalHeader()->hide();
    setIconSize(ScreenTool::scaleSize(QSize(16, 16)));
    QStringList titles;
    QVector<int> widths;
    for (int i = 0; i < columns.size(); ++i) {
        const TableColumn& column = columns.at(i);
        titles << column.title;
        m_cellTypes << column.cellType;
        horizontalHeader()->setSectionResizeMode(i, column.resizeMode);
        horizontalHeader()->resizeSection(i, ScreenTool::scale(column.width));
        const bool sized = column.resizeMode == QHeaderView::Fixed || column.resizeMode == QHeaderView::Interactive;
        widths << (sized ? column.width : 0);
    }
    horizontalHeader()->setStretchLastSection(true);
    setHorizontalHeaderLabels(titles);
    // Within the table's width at every DPI.
    ColumnFit::attach(this, widths);
}

void TableView::setRow(int row, const QVariantList& cells)
{
    fillRow(row, cells);
    createVisibleCellWidgets();
}

void TableView::fillRow(int row, const QVariantList& cells)
{
    const int count = std::min(horizontalHeader()->count(), static_cast<int>(cells.size()));
    for (int c = 0; c < count; ++c) {
        const QVariant& cell = cells.at(c);
        const int type = m_cellTypes.value(c, -1);
        switch (type) {
        case TableColumn::Text: {
            auto* item = new QTableWidgetItem();
            if (cell.canConvert<QVariantMap>()) {
                const QVariantMap map = cell.toMap();
                item->setText(map.value(QStringLiteral("text")).toString());
                const QString colour = map.value(QStringLiteral("color")).toString();
                if (!colour.isEmpty()) {
                    QColor named;
                    named.setNamedColor(colour);
                    item->setData(Qt::ForegroundRole, QBrush(named, Qt::SolidPattern));
                }
            } else {
                item->setText(cell.toString());
            }
            // Set before the table holds the item: a change to a held item
            // is announced to the view cell by cell.
            item->setData(Qt::TextAlignmentRole, static_cast<int>(m_columns.at(c).alignment | Qt::AlignVCenter));
            setItem(row, c, item);
            break;
        }
        case TableColumn::Check:
        case TableColumn::Icon: {
            // The widget is made when the row comes into view.
            auto* holder = new QTableWidgetItem();
            holder->setData(kCellDataRole, cell);
            removeCellWidget(row, c);
            setItem(row, c, holder);
            break;
        }
        default: break;
        }
    }
}

bool TableView::appendRow(const QVariantList& cells)
{
    const int row = rowCount();
    setRowCount(row + 1);
    setRow(row, cells);
    return true;
}

int TableView::fillRows(const QVariantList& rows, bool createWidgets)
{
    const int first = rowCount();
    setRowCount(first + rows.size());
    for (int i = 0; i < rows.size(); ++i)
        fillRow(first + i, rows.at(i).toList());
    if (createWidgets)
        createVisibleCellWidgets();
    return rows.size();
}

int TableView::addRows(const QVariantList& rows)
{
    const int count = fillRows(rows, true);
    selectRow(0);
    return count;
}

bool TableView::updateRows(const QVariantList& rows)
{
    if (m_scroller->state() != QScroller::Inactive) {
        qDebug() << "Update data list will scroller stoped!";
        m_pendingRows = rows;
        m_updatePending = true;
        return false;
    }
    m_updatePending = false;
    const int horizontal = horizontalScrollBar()->value();
    const int vertical = verticalScrollBar()->value();
    const int current = currentRow();
    clearRows();
    const int count = fillRows(rows, false);
    selectRow(current < count ? current : 0);
    // The scroll ranges follow the new rows only after the pending layout.
    executeDelayedItemsLayout();
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
    createVisibleCellWidgets();
    return true;
}

void TableView::clearRows()
{
    // All rows at once: removing them one by one next to cell widgets costs
    // time in the square of the row count.
    m_rowsWithWidgets.clear();
    setRowCount(0);
    clearContents();
}

QVariant TableView::cellValue(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QVariant();
    switch (m_cellTypes.value(column, -1)) {
    case TableColumn::Check: {
        if (const ItemView* view = qobject_cast<ItemView*>(cellWidget(row, column)))
            return view->value();
        const QTableWidgetItem* holder = item(row, column);
        return holder ? QVariant(holder->data(kCellDataRole).toBool()) : QVariant();
    }
    case TableColumn::Icon: {
        if (const QWidget* widget = cellWidget(row, column))
            return QVariant(widget->whatsThis());
        const QTableWidgetItem* holder = item(row, column);
        return holder ? QVariant(iconCell(holder->data(kCellDataRole)).value) : QVariant();
    }
    default: {
        const QTableWidgetItem* cell = item(row, column);
        return QVariant(cell ? cell->data(Qt::DisplayRole).toString() : QString());
    }
    }
}

void TableView::ensureCurrentRowVisible()
{
    const int rows = rowCount();
    if (rows <= 4)
        return;
    const QRect contents = contentsRect();
    const int top = contents.top() + ScreenTool::scale(19);
    const int bottom = contents.bottom() - horizontalHeader()->height() - ScreenTool::scale(19);
    const int firstRow = rowAt(top);
    const int lastRow = rowAt(bottom);
    const int current = currentRow();
    if (current >= firstRow && current <= lastRow)
        return;
    const int half = (lastRow - firstRow) / 2;
    QScrollBar* bar = verticalScrollBar();
    if (current <= half)
        bar->setValue(bar->minimum());
    else if (current < rows - half)
        bar->setValue(current * (bar->maximum() - bar->minimum()) / rows);
    else
        bar->setValue(bar->maximum());
}

void TableView::scrollToTop()
{
    verticalScrollBar()->setValue(0);
}

void TableView::onCellClicked(int row, int)
{
    emit selectedRow(row);
}

void TableView::onCellDoubleClicked(int row, int)
{
    emit doubleClick(row);
}

void TableView::onScrollerStateChanged(QScroller::State state)
{
    if (state != QScroller::Inactive || !m_updatePending)
        return;
    const QVariantList rows = std::move(m_pendingRows);
    m_pendingRows.clear();
    updateRows(rows);
}

void TableView::createCellWidget(int row, int column)
{
    QTableWidgetItem* holder = item(row, column);
    if (!holder || cellWidget(row, column))
        return;
    const QVariant cell = holder->data(kCellDataRole);
    if (m_cellTypes.value(column, -1) == TableColumn::Check) {
        auto* box = new CheckLineView(cell.toBool(), nullptr);
        box->setAlignment(Qt::AlignCenter);
        setCellWidget(row, column, box);
    } else {
        const IconCell parsed = iconCell(cell);
        // Sized before the icon is set, so that the picture is drawn once.
        auto* label = new PixmapLabel(QString(), parsed.text, false, this);
        label->setIconSize(QSize(parsed.size, parsed.size));
        label->setIcon(parsed.icon);
        label->setObjectName(kIconValueName);
        label->setWhatsThis(parsed.value);
        setCellWidget(row, column, label);
    }
}

void TableView::createVisibleCellWidgets()
{
    const int rows = rowCount();
    if (rows == 0 || !isVisible())
        return;
    QVector<int> widgetColumns;
    for (int c = 0; c < m_cellTypes.size() && c < columnCount(); ++c)
        if (m_cellTypes.at(c) == TableColumn::Check || m_cellTypes.at(c) == TableColumn::Icon)
            widgetColumns << c;
    if (widgetColumns.isEmpty())
        return;
    const int height = viewport()->height();
    if (height <= 0)
        return;
    int first = rowAt(0);
    int last = rowAt(height - 1);
    if (first < 0)
        first = 0;
    if (last < 0)
        last = rows - 1;
    // A screenful before and after, so that a short scroll finds them made.
    const int screenful = last - first + 1;
    const int keepFirst = first - 3 * screenful;
    const int keepLast = last + 3 * screenful;
    for (auto it = m_rowsWithWidgets.begin(); it != m_rowsWithWidgets.end();) {
        const int row = *it;
        if (row < keepFirst || row > keepLast || row >= rows) {
            if (row < rows)
                releaseCellWidgets(row, widgetColumns);
            it = m_rowsWithWidgets.erase(it);
        } else {
            ++it;
        }
    }
    first = std::max(0, first - screenful);
    last = std::min(rows - 1, last + screenful);
    for (int row = first; row <= last; ++row) {
        for (int c : qAsConst(widgetColumns))
            createCellWidget(row, c);
        m_rowsWithWidgets.insert(row);
    }
}

void TableView::releaseCellWidgets(int row, const QVector<int>& widgetColumns)
{
    for (int c : widgetColumns) {
        QWidget* widget = cellWidget(row, c);
        if (!widget)
            continue;
        // The user may have changed a check box: its value goes back into the cell.
        QTableWidgetItem* holder = item(row, c);
        const ItemView* view = qobject_cast<ItemView*>(widget);
        if (holder && view && m_cellTypes.value(c, -1) == TableColumn::Check)
            holder->setData(kCellDataRole, view->value());
        widget->hide();
        removeCellWidget(row, c);
    }
}

void TableView::scrollContentsBy(int dx, int dy)
{
    QTableWidget::scrollContentsBy(dx, dy);
    createVisibleCellWidgets();
}

void TableView::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    createVisibleCellWidgets();
}

void TableView::showEvent(QShowEvent* event)
{
    QTableWidget::showEvent(event);
    createVisibleCellWidgets();
}

#include "tarnwick/widgets/tableview.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/checklineview.h"
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
    for (int i = 0; i < columns.size(); ++i) {
        const TableColumn& column = columns.at(i);
        titles << column.title;
        m_cellTypes << column.cellType;
        horizontalHeader()->setSectionResizeMode(i, column.resizeMode);
        horizontalHeader()->resizeSection(i, ScreenTool::scale(column.width));
    }
    horizontalHeader()->setStretchLastSection(true);
    setHorizontalHeaderLabels(titles);
}

void TableView::setRow(int row, const QVariantList& cells)
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
            setItem(row, c, item);
            item->setData(Qt::TextAlignmentRole,
                          static_cast<int>(m_columns.at(c).alignment | Qt::AlignVCenter));
            break;
        }
        case TableColumn::Check: {
            auto* box = new CheckLineView(cell.toBool(), nullptr);
            box->setAlignment(Qt::AlignCenter);
            setCellWidget(row, c, box);
            break;
        }
        case TableColumn::Icon: {
            QString icon;
            QString text;
            QString value;
            int size = kDefaultCellIconSize;
            if (cell.canConvert<QVariantMap>()) {
                const QVariantMap map = cell.toMap();
                icon = map.value(QStringLiteral("icon")).toString();
                text = map.value(QStringLiteral("text")).toString();
                value = map.value(QStringLiteral("value")).toString();
                size = map.value(QStringLiteral("size"), kDefaultCellIconSize).toInt();
            } else {
                text = cell.toString();
                value = text;
            }
            // Sized before the icon is set, so that the picture is drawn once.
            auto* label = new PixmapLabel(QString(), text, false, this);
            label->setIconSize(QSize(size, size));
            label->setIcon(icon);
            label->setObjectName(kIconValueName);
            label->setWhatsThis(value);
            setCellWidget(row, c, label);
            break;
        }
        default:
            break;
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

int TableView::fillRows(const QVariantList& rows)
{
    const int first = rowCount();
    setRowCount(first + rows.size());
    for (int i = 0; i < rows.size(); ++i)
        setRow(first + i, rows.at(i).toList());
    return rows.size();
}

int TableView::addRows(const QVariantList& rows)
{
    const int count = fillRows(rows);
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
    const int count = fillRows(rows);
    selectRow(current < count ? current : 0);
    // The scroll ranges follow the new rows only after the pending layout.
    executeDelayedItemsLayout();
    horizontalScrollBar()->setValue(horizontal);
    verticalScrollBar()->setValue(vertical);
    return true;
}

void TableView::clearRows()
{
    // All rows at once: removing them one by one next to cell widgets costs
    // time in the square of the row count.
    setRowCount(0);
    clearContents();
}

QVariant TableView::cellValue(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QVariant();
    switch (m_cellTypes.value(column, -1)) {
    case TableColumn::Check: {
        const ItemView* view = qobject_cast<ItemView*>(cellWidget(row, column));
        return view ? view->value() : QVariant();
    }
    case TableColumn::Icon: {
        const QWidget* widget = cellWidget(row, column);
        return widget ? QVariant(widget->whatsThis()) : QVariant();
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

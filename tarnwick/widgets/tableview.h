#pragma once

// The kit's styled table for lists that a page rebuilds from data. Columns are
// declared once, with their widths at 96 DPI, and lie within the table's
// width at every DPI (ColumnFit); rows arrive as lists of cells (a plain
// value or a map with "text", "color", "icon", "size", "value"). A rebuild
// keeps the current row and the scroll positions, and one that arrives while
// the table is being scrolled is held back until the scroller comes to rest
// (only the last one applies).

#include <QHeaderView>
#include <QScroller>
#include <QSet>
#include <QString>
#include <QTableWidget>
#include <QVariant>
#include <QVector>

struct TableColumn {
    enum CellType { Text = 0, Check = 1, Icon = 2 };

    QString title;
    int cellType = Text;
    QHeaderView::ResizeMode resizeMode = QHeaderView::Interactive;
    int width = 100;                         // before scaling
    Qt::Alignment alignment = Qt::AlignLeft; // Qt::AlignVCenter is always added
};

class TableView : public QTableWidget {
    Q_OBJECT
public:
    explicit TableView(QWidget* parent = nullptr);

    void setColumns(const QVector<TableColumn>& columns);
    QVector<TableColumn> columns() const { return m_columns; }
    // Fills an existing row; cells beyond the columns are ignored, columns
    // beyond the cells keep what they hold.
    void setRow(int row, const QVariantList& cells);
    bool appendRow(const QVariantList& cells);
    // Appends every element as a row and selects row 0; returns the count.
    int addRows(const QVariantList& rows);
    // Replaces all rows; false when held back because the scroller moves.
    bool updateRows(const QVariantList& rows);
    void clearRows();
    // Invalid when row or column is out of range.
    QVariant cellValue(int row, int column) const;
    void ensureCurrentRowVisible();
    void scrollToTop();

    bool isUpdatePending() const { return m_updatePending; }
    QScroller* scroller() const { return m_scroller; }

signals:
    void selectedRow(int row);
    void doubleClick(int row);

public slots:
    void onCellClicked(int row, int column);
    void onCellDoubleClicked(int row, int column);
    void onScrollerStateChanged(QScroller::State state);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Makes the cell widgets of the rows on screen (and a screenful around
    // them) that do not have theirs yet, and releases those of rows more than
    // three screenfuls away: every widget of the viewport moves on each scroll
    // step, so their number must stay small.
    void createVisibleCellWidgets();
    void releaseCellWidgets(int row, const QVector<int>& widgetColumns);
    void createCellWidget(int row, int column);
    void fillRow(int row, const QVariantList& cells);
    // Appends the rows to those present: the row count is set once, then the
    // rows are filled (and, when asked, the widgets on screen made) (inserting rows one at a time next to cell widgets costs
    // time in the square of the row count).
    int fillRows(const QVariantList& rows, bool createWidgets);

    QVector<int> m_cellTypes;
    QVector<TableColumn> m_columns;
    QScroller* m_scroller = nullptr;
    bool m_updatePending = false;
    QVariantList m_pendingRows;
    QSet<int> m_rowsWithWidgets;
};

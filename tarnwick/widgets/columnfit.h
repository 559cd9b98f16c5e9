#pragma once

// Keeps a table's columns within the table's width. Each column has a width
// at 96 DPI, which the screen's scale makes its width here; where the scaled
// widths of the shown columns do not fit the table's viewport (a high DPI on
// a small screen), the columns share the viewport's width in the proportions
// of their 96 DPI widths instead, so that none lies behind a horizontal
// scroll bar. The header's stretched last column takes what is left either
// way. The widths follow the viewport's width until the user sizes a column
// by hand; from then on they are the user's.

#include <QObject>
#include <QPointer>
#include <QVector>

class QEvent;
class QTableView;
class QWidget;

class ColumnFit : public QObject {
public:
    // Fits table's columns from now on (a child of the table; one per table).
    // widths: the 96 DPI width of each logical column in order; a column
    // without one (0, or beyond the list) is the header's to size.
    static ColumnFit* attach(QTableView* table, const QVector<int>& widths);
    static ColumnFit* of(const QTableView* table);

    // The widths of columns whose widths at 96 DPI are designed and at this
    // screen's scale wanted, within room pixels: the wanted ones where they
    // fit, else room shared in the designed proportions (rounded down).
    static QVector<int> fitted(const QVector<int>& designed, const QVector<int>& wanted, int room);

    // The user has sized a column; the fit has stopped.
    bool userSized() const { return m_userSized; }
    // Fits the columns to the viewport's present width.
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ColumnFit(QTableView* table, const QVector<int>& widths);
    void onSectionResized(int logical);
    // The column the header stretches over the rest of its width; -1 none.
    int stretchedColumn() const;

    QPointer<QTableView> m_table;
    QPointer<QWidget> m_viewport;
    QPointer<QWidget> m_headerViewport;
    QVector<int> m_widths;
    int m_viewportWidth = -1;
    bool m_applying = false;
    bool m_mouseDown = false;
    bool m_userSized = false;
};

#pragma once

// The report-view list control: rows addressed by index, columns by number,
// per-row item data, icons, selection states, hit tests and a stable sort,
// over a QTreeWidget without tree decoration. Clicks reach the virtual
// handlers with their row (-1 on no row) and column.

#include "brellfin/mfc/cmdtarget.h"

#include <QIcon>
#include <QRect>
#include <QTreeWidget>

#include <vector>

class CListCtrl : public QTreeWidget, public CCmdTarget {
public:
    // Runs the click handlers as a mouse click on row and column would (tests, keyboard).
    void simulateClick(int code, int row, int column);

    explicit CListCtrl(QWidget* parent = nullptr);

    int InsertColumn(int column, const CString& heading, int format = LVCFMT_LEFT, int width = -1);
    BOOL DeleteColumn(int column);
    int GetColumnCount() const { return columnCount(); }
    int GetColumnWidth(int column) const { return columnWidth(column); }
    BOOL SetColumnWidth(int column, int width);

    // Inserts a row at row (clamped to the end); its index.
    int InsertItem(int row, const CString& text, int image = -1);
    BOOL SetItemText(int row, int column, const CString& text);
    CString GetItemText(int row, int column) const;
    BOOL DeleteItem(int row);
    BOOL DeleteAllItems();
    int GetItemCount() const { return topLevelItemCount(); }

    BOOL SetItemData(int row, DWORD_PTR data);
    DWORD_PTR GetItemData(int row) const;
    // The item data roles from this one on are free for a list's own values
    // of a row (on its first column); the control's own lie below it.
    static constexpr int kFirstFreeRole = Qt::UserRole + 16;

    // The image list: icons by index.
    void SetImageList(const std::vector<QIcon>& images) { m_images = images; }
    bool hasImages() const { return !m_images.empty(); }
    BOOL SetItemImage(int row, int image);
    int GetItemImage(int row) const;

    // LVIS_SELECTED (and LVIS_FOCUSED) of row, within mask.
    UINT GetItemState(int row, UINT mask) const;
    BOOL SetItemState(int row, UINT state, UINT mask);
    UINT GetSelectedCount() const;
    // The next row after start (-1: from the first) that has the flags.
    int GetNextItem(int start, UINT flags) const;

    // The rectangle of a row's part (LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL) in
    // viewport coordinates.
    BOOL GetItemRect(int row, QRect* rect, UINT code) const;
    // The row under a point of the viewport, -1 for none.
    int HitTest(const QPoint& point, UINT* flags = nullptr) const;

    DWORD GetExtendedStyle() const { return m_extendedStyle; }
    DWORD SetExtendedStyle(DWORD style);

    // Orders the rows by compare(itemData1, itemData2, data) < 0; rows whose
    // keys compare equal keep their order.
    using CompareFunc = int (*)(LPARAM, LPARAM, LPARAM);
    BOOL SortItems(CompareFunc compare, DWORD_PTR data);

protected:
    // NM_CLICK, NM_RCLICK, NM_DBLCLK and LVN_COLUMNCLICK; by default each
    // goes to the parent window's OnNotify.
    virtual void OnClick(int row, int column) { notifyParent(NM_CLICK, row, column); }
    virtual void OnRClick(int row, int column) { notifyParent(NM_RCLICK, row, column); }
    virtual void OnDblClk(int row, int column) { notifyParent(NM_DBLCLK, row, column); }
    virtual void OnColumnClick(int column) { notifyParent(LVN_COLUMNCLICK, -1, column); }
    void notifyParent(int code, int row, int column);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* row(int index) const { return topLevelItem(index); }

    std::vector<QIcon> m_images;
    std::vector<int> m_formats;
    DWORD m_extendedStyle = 0;
};

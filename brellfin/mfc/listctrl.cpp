#include "brellfin/mfc/listctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>
#include <memory>

namespace {

constexpr int kDataRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
static_assert(kDataRole < CListCtrl::kFirstFreeRole && kImageRole < CListCtrl::kFirstFreeRole);

Qt::Alignment alignmentOf(int format)
{
    switch (format & 0x3) {
    case LVCFMT_RIGHT: return Qt::AlignRight | Qt::AlignVCenter;
    case LVCFMT_CENTER: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Rows as high as a report list's on the platform: the font's height, or the
// small icon's when the list shows icons, and two pixels more.
class ReportRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const auto* view = dynamic_cast<const CListCtrl*>(parent());
        const int icon = view && view->hasImages() ? view->iconSize().height() : 0;
        size.setHeight(std::max(option.fontMetrics.height(), icon) + 2);
        return size;
    }
};

} // namespace

CListCtrl::CListCtrl(QWidget* parent)
    : QTreeWidget(parent)
{
    setItemDelegate(new ReportRowDelegate(this));
    setIconSize(QSize(16, 16));
    header()->setTextElideMode(Qt::ElideRight);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setColumnCount(0);
    setHeaderLabels({});
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    QObject::connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { OnColumnClick(column); });
}

BOOL CListCtrl::SetColumnWidth(int column, int width)
{
    if (column < 0 || column >= columnCount())
        return FALSE;
    setColumnWidth(column, width);
    return TRUE;
}

int CListCtrl::InsertColumn(int column, const CString& heading, int format, int width)
{
    const int count = columnCount();
    column = std::clamp(column, 0, count);
    QStringList labels;
    for (int i = 0; i < count; ++i)
        labels << headerItem()->text(i);
    labels.insert(column, heading);
    setColumnCount(count + 1);
    // Existing rows move their cells one column to the right.
    for (int r = 0; r < topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = topLevelItem(r);
        for (int c = count; c > column; --c)
            item->setText(c, item->text(c - 1));
        item->setText(column, QString());
    }
    setHeaderLabels(labels);
    m_formats.insert(m_formats.begin() + column, format);
    for (int c = 0; c <= count; ++c)
        headerItem()->setTextAlignment(c, alignmentOf(m_formats[static_cast<size_t>(c)]));
    if (width >= 0)
        setColumnWidth(column, width);
    return column;
}

BOOL CListCtrl::DeleteColumn(int column)
{
    const int count = columnCount();
    if (column < 0 || column >= count)
        return FALSE;
    QStringList labels;
    for (int i = 0; i < count; ++i)
        if (i != column)
            labels << headerItem()->text(i);
    for (int r = 0; r < topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = topLevelItem(r);
        for (int c = column; c + 1 < count; ++c)
            item->setText(c, item->text(c + 1));
    }
    m_formats.erase(m_formats.begin() + column);
    setColumnCount(count - 1);
    setHeaderLabels(labels);
    return TRUE;
}

int CListCtrl::InsertItem(int index, const CString& text, int image)
{
    index = std::clamp(index, 0, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    for (int c = 0; c < columnCount() && c < static_cast<int>(m_formats.size()); ++c)
        item->setTextAlignment(c, alignmentOf(m_formats[static_cast<size_t>(c)]));
    insertTopLevelItem(index, item);
    SetItemImage(index, image);
    return index;
}

BOOL CListCtrl::SetItemText(int index, int column, const CString& text)
{
    QTreeWidgetItem* item = row(index);
    if (!item || column < 0 || column >= std::max(1, columnCount()))
        return FALSE;
    item->setText(column, text);
    return TRUE;
}

CString CListCtrl::GetItemText(int index, int column) const
{
    QTreeWidgetItem* item = row(index);
    return item ? item->text(column) : CString();
}

BOOL CListCtrl::DeleteItem(int index)
{
    QTreeWidgetItem* item = row(index);
    if (!item)
        return FALSE;
    const std::unique_ptr<QTreeWidgetItem> taken(takeTopLevelItem(index));
    return TRUE;
}

BOOL CListCtrl::DeleteAllItems()
{
    clear();
    return TRUE;
}

BOOL CListCtrl::SetItemData(int index, DWORD_PTR data)
{
    QTreeWidgetItem* item = row(index);
    if (!item)
        return FALSE;
    item->setData(0, kDataRole, QVariant::fromValue<qulonglong>(data));
    return TRUE;
}

DWORD_PTR CListCtrl::GetItemData(int index) const
{
    QTreeWidgetItem* item = row(index);
    return item ? static_cast<DWORD_PTR>(item->data(0, kDataRole).toULongLong()) : 0;
}

BOOL CListCtrl::SetItemImage(int index, int image)
{
    QTreeWidgetItem* item = row(index);
    if (!item)
        return FALSE;
    item->setData(0, kImageRole, image);
    item->setIcon(0, image >= 0 && image < static_cast<int>(m_images.size()) ? m_images[static_cast<size_t>(image)]
                                                                             : QIcon());
    return TRUE;
}

int CListCtrl::GetItemImage(int index) const
{
    QTreeWidgetItem* item = row(index);
    return item ? item->data(0, kImageRole).toInt() : -1;
}

UINT CListCtrl::GetItemState(int index, UINT mask) const
{
    QTreeWidgetItem* item = row(index);
    if (!item)
        return 0;
    UINT state = 0;
    if (item->isSelected())
        state |= LVIS_SELECTED;
    if (currentItem() == item)
        state |= LVIS_FOCUSED;
    return state & mask;
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask)
{
    QTreeWidgetItem* item = row(index);
    if (!item)
        return FALSE;
    if (mask & LVIS_SELECTED)
        item->setSelected((state & LVIS_SELECTED) != 0);
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
        setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    return TRUE;
}

UINT CListCtrl::GetSelectedCount() const
{
    return static_cast<UINT>(selectedItems().size());
}

int CListCtrl::GetNextItem(int start, UINT flags) const
{
    for (int r = start + 1; r < topLevelItemCount(); ++r) {
        if (!(flags & LVNI_SELECTED) || topLevelItem(r)->isSelected())
            return r;
    }
    return -1;
}

BOOL CListCtrl::GetItemRect(int index, QRect* rect, UINT code) const
{
    QTreeWidgetItem* item = row(index);
    if (!item || !rect)
        return FALSE;
    QRect bounds = visualItemRect(item);
    if (code == LVIR_BOUNDS) {
        *rect = bounds;
        return TRUE;
    }
    QRect first = visualRect(indexFromItem(item, 0));
    const int icon = item->icon(0).isNull() ? 0 : iconSize().width() > 0 ? iconSize().width() : first.height();
    if (code == LVIR_ICON)
        *rect = QRect(first.left(), first.top(), icon, first.height());
    else
        *rect = QRect(first.left() + icon, first.top(), first.width() - icon, first.height());
    return TRUE;
}

int CListCtrl::HitTest(const QPoint& point, UINT* flags) const
{
    const QModelIndex index = indexAt(point);
    const int r = index.isValid() ? indexOfTopLevelItem(itemFromIndex(index)) : -1;
    if (flags)
        *flags = r < 0 ? LVHT_NOWHERE : LVHT_ONITEMLABEL;
    return r;
}

DWORD CListCtrl::SetExtendedStyle(DWORD style)
{
    const DWORD previous = m_extendedStyle;
    m_extendedStyle = style;
    setSelectionBehavior((style & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                        : QAbstractItemView::SelectItems);
    return previous;
}

BOOL CListCtrl::SortItems(CompareFunc compare, DWORD_PTR data)
{
    if (!compare)
        return FALSE;
    std::vector<QTreeWidgetItem*> items;
    while (topLevelItemCount() > 0)
        items.push_back(takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return compare(static_cast<LPARAM>(a->data(0, kDataRole).toULongLong()),
                       static_cast<LPARAM>(b->data(0, kDataRole).toULongLong()), static_cast<LPARAM>(data))
               < 0;
    });
    for (QTreeWidgetItem* item : items)
        addTopLevelItem(item);
    return TRUE;
}

void CListCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    const QModelIndex index = indexAt(event->pos());
    const int r = index.isValid() ? indexOfTopLevelItem(itemFromIndex(index)) : -1;
    const int column = index.isValid() ? index.column() : -1;
    if (event->button() == Qt::RightButton)
        OnRClick(r, column);
    else if (event->button() == Qt::LeftButton)
        OnClick(r, column);
}

void CListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->pos());
    const int r = index.isValid() ? indexOfTopLevelItem(itemFromIndex(index)) : -1;
    if (event->button() == Qt::LeftButton)
        OnDblClk(r, index.isValid() ? index.column() : -1);
}

void CListCtrl::notifyParent(int code, int row, int column)
{
    for (QWidget* up = parentWidget(); up; up = up->parentWidget()) {
        if (auto* target = dynamic_cast<CCmdTarget*>(up)) {
            target->OnNotify(GetDlgCtrlID(this), code, row, column);
            return;
        }
    }
}

void CListCtrl::simulateClick(int code, int row, int column)
{
    switch (code) {
    case NM_CLICK: OnClick(row, column); break;
    case NM_RCLICK: OnRClick(row, column); break;
    case NM_DBLCLK: OnDblClk(row, column); break;
    case LVN_COLUMNCLICK: OnColumnClick(column); break;
    default: break;
    }
}

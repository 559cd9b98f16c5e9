// The report list: rows by index, item data, selection, columns and the stable sort.
#include "brellfin/mfc/listctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>

#include <tuple>

namespace {

int byKeyDiv10(LPARAM a, LPARAM b, LPARAM)
{
    return static_cast<int>(a / 10) - static_cast<int>(b / 10);
}

TEST(MfcListCtrl, SortItemsKeepsEqualKeysInTheirOrder)
{
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("Name"));
    const std::vector<int> keys{31, 10, 35, 12, 30, 11, 33};
    for (size_t i = 0; i < keys.size(); ++i) {
        const int row = list.InsertItem(static_cast<int>(i), QString::number(keys[i]));
        list.SetItemData(row, static_cast<DWORD_PTR>(keys[i]));
    }
    ASSERT_TRUE(list.SortItems(byKeyDiv10, 0));
    QStringList order;
    for (int r = 0; r < list.GetItemCount(); ++r)
        order << list.GetItemText(r, 0);
    EXPECT_EQ(order, (QStringList{"10", "12", "11", "31", "35", "30", "33"}));
    EXPECT_EQ(list.GetItemData(0), 10u);
}

TEST(MfcListCtrl, RowsAndCellsByIndex)
{
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("A"));
    list.InsertColumn(1, QStringLiteral("B"), LVCFMT_RIGHT, 40);
    EXPECT_EQ(list.InsertItem(5, QStringLiteral("first")), 0);
    EXPECT_EQ(list.InsertItem(0, QStringLiteral("zero")), 0);
    EXPECT_TRUE(list.SetItemText(1, 1, QStringLiteral("cell")));
    EXPECT_FALSE(list.SetItemText(2, 0, QStringLiteral("none")));
    EXPECT_EQ(list.GetItemText(1, 0), "first");
    EXPECT_EQ(list.GetItemText(1, 1), "cell");
    EXPECT_EQ(list.GetItemText(7, 0), "");
    // A column inserted in front moves the cells right.
    list.InsertColumn(0, QStringLiteral("Front"));
    EXPECT_EQ(list.GetItemText(1, 1), "first");
    EXPECT_EQ(list.GetItemText(1, 2), "cell");
    EXPECT_TRUE(list.DeleteColumn(0));
    EXPECT_EQ(list.GetItemText(1, 0), "first");
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_FALSE(list.DeleteItem(3));
    EXPECT_EQ(list.GetItemCount(), 1);
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(MfcListCtrl, SelectionStatesAndNextSelected)
{
    CListCtrl list;
    list.InsertColumn(0, QStringLiteral("A"));
    for (int i = 0; i < 5; ++i)
        list.InsertItem(i, QString::number(i));
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetSelectedCount(), 2u);
    EXPECT_EQ(list.GetItemState(1, LVIS_SELECTED), LVIS_SELECTED);
    EXPECT_EQ(list.GetItemState(2, LVIS_SELECTED), 0u);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 1);
    EXPECT_EQ(list.GetNextItem(1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetNextItem(3, LVNI_SELECTED), -1);
    list.SetItemState(1, 0, LVIS_SELECTED);
    EXPECT_EQ(list.GetSelectedCount(), 1u);
}

TEST(MfcListCtrl, HitTestAndLabelRectangleOfAShownRow)
{
    CListCtrl list;
    list.resize(300, 200);
    list.InsertColumn(0, QStringLiteral("A"), LVCFMT_LEFT, 150);
    list.InsertColumn(1, QStringLiteral("B"), LVCFMT_LEFT, 100);
    list.SetImageList({QIcon()});
    for (int i = 0; i < 3; ++i)
        list.InsertItem(i, QString::number(i));
    list.show();
    QRect label;
    ASSERT_TRUE(list.GetItemRect(1, &label, LVIR_LABEL));
    EXPECT_GT(label.height(), 0);
    UINT flags = 0;
    EXPECT_EQ(list.HitTest(label.center(), &flags), 1);
    EXPECT_EQ(flags, LVHT_ONITEMLABEL);
    EXPECT_EQ(list.HitTest(QPoint(5, 190), &flags), -1);
    EXPECT_EQ(flags, LVHT_NOWHERE);
    EXPECT_FALSE(list.GetItemRect(9, &label, LVIR_LABEL));
}

} // namespace

namespace {

class ClickList : public CListCtrl {
public:
    std::vector<std::tuple<int, int, int>> clicks; // code, row, column

protected:
    void OnClick(int row, int column) override { clicks.emplace_back(NM_CLICK, row, column); }
    void OnRClick(int row, int column) override { clicks.emplace_back(NM_RCLICK, row, column); }
    void OnDblClk(int row, int column) override { clicks.emplace_back(NM_DBLCLK, row, column); }
    void OnColumnClick(int column) override { clicks.emplace_back(LVN_COLUMNCLICK, -1, column); }
};

void mouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, const QPoint& at)
{
    QMouseEvent event(type, at, target->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(MfcListCtrl, MouseClicksReachTheHandlersWithRowAndColumn)
{
    ClickList list;
    list.resize(300, 200);
    list.InsertColumn(0, QStringLiteral("A"), LVCFMT_LEFT, 150);
    list.InsertColumn(1, QStringLiteral("B"), LVCFMT_LEFT, 100);
    for (int i = 0; i < 3; ++i)
        list.InsertItem(i, QString::number(i));
    list.show();
    QRect row2;
    ASSERT_TRUE(list.GetItemRect(2, &row2, LVIR_BOUNDS));
    const QPoint inSecondColumn(160, row2.center().y());
    mouse(list.viewport(), QEvent::MouseButtonPress, Qt::RightButton, inSecondColumn);
    mouse(list.viewport(), QEvent::MouseButtonRelease, Qt::RightButton, inSecondColumn);
    mouse(list.viewport(), QEvent::MouseButtonPress, Qt::LeftButton, QPoint(10, 190));
    mouse(list.viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(10, 190));
    ASSERT_EQ(list.clicks.size(), 2u);
    EXPECT_EQ(list.clicks[0], std::make_tuple(NM_RCLICK, 2, 1));
    EXPECT_EQ(list.clicks[1], std::make_tuple(NM_CLICK, -1, -1));
    // A header click names its column.
    emit list.header()->sectionClicked(1);
    ASSERT_EQ(list.clicks.size(), 3u);
    EXPECT_EQ(list.clicks[2], std::make_tuple(LVN_COLUMNCLICK, -1, 1));
}

} // namespace

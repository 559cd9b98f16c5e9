#include "tarnwick/ui/mainwindow/deviceview.h"

#include "tarnwick/core/devicedatas.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class DeviceViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }
    void SetUp() override { DeviceDatas::instance()->setSearchText(QString()); }

    static bool enabled(DeviceView& view, int action)
    {
        MenuItem* item = view.menuGroup()->item(action);
        return item != nullptr && !item->isItemDisabled();
    }
    static QVariantList row(const QString& sn)
    {
        return QVariantList{1, "Zel", "Wi-Fi", sn, "n", QVariantMap{{"text", "x"}}, "", ""};
    }
};

} // namespace

TEST_F(DeviceViewTest, StartsSortedByDeviceNumberAscending)
{
    DeviceView view;
    EXPECT_EQ(view.sortColumn(), 3);
    EXPECT_TRUE(view.isAscending());
    QHeaderView* header = view.table()->horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 3);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(view.table()->columnCount(), 8);
    EXPECT_EQ(view.menuGroup()->itemIds(), (QList<int>{0, 1, 3, 4, 8, 9, 14}));
}

TEST_F(DeviceViewTest, HeaderClicks)
{
    DeviceView view;
    QSignalSpy order(&view, &DeviceView::orderUpdate);
    QHeaderView* header = view.table()->horizontalHeader();
    emit header->sectionClicked(3);
    EXPECT_EQ(view.sortColumn(), 3);
    EXPECT_FALSE(view.isAscending());
    EXPECT_EQ(order.count(), 1);
    emit header->sectionClicked(4);
    EXPECT_EQ(view.sortColumn(), 4);
    EXPECT_TRUE(view.isAscending());
    EXPECT_EQ(order.count(), 2);
    // The row number column does not sort; the indicator stays.
    emit header->sectionClicked(0);
    EXPECT_EQ(view.sortColumn(), 4);
    EXPECT_EQ(order.count(), 2);
    EXPECT_EQ(header->sortIndicatorSection(), 4);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(DeviceViewTest, ConnectStateAndReKeying)
{
    DeviceView view;
    view.setConnectState(false, false);
    EXPECT_FALSE(enabled(view, 1));
    EXPECT_FALSE(enabled(view, 3));
    EXPECT_FALSE(enabled(view, 4));
    EXPECT_FALSE(enabled(view, 14));
    EXPECT_TRUE(enabled(view, 8));
    view.setConnectState(false, true);
    EXPECT_TRUE(enabled(view, 1));

    view.setConnectState(true, false);
    EXPECT_EQ(view.menuGroup()->item(1), nullptr);
    ASSERT_NE(view.menuGroup()->item(2), nullptr);
    EXPECT_TRUE(enabled(view, 2));
    EXPECT_TRUE(enabled(view, 3));
    EXPECT_TRUE(enabled(view, 4));
    EXPECT_TRUE(enabled(view, 14));
    // A click on the re-keyed item reports action 2.
    QSignalSpy actions(&view, &DeviceView::menuOperActioned);
    MenuItem* stop = view.menuGroup()->item(2);
    stop->show();
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_EQ(actions.count(), 1);
    EXPECT_EQ(actions.at(0).at(0).toString(), "menuDevice");
    EXPECT_EQ(actions.at(0).at(1).toInt(), 2);

    view.setConnectState(false, false);
    EXPECT_EQ(view.menuGroup()->item(2), nullptr);
    ASSERT_NE(view.menuGroup()->item(1), nullptr);
    EXPECT_FALSE(enabled(view, 1));
}

TEST_F(DeviceViewTest, DirectModeLeavesFtpAlone)
{
    DeviceView view;
    view.setConnectState(true, true);
    view.setDirectMode(true);
    ASSERT_NE(view.menuGroup()->item(1), nullptr);
    EXPECT_FALSE(enabled(view, 1));
    EXPECT_TRUE(enabled(view, 3));
    EXPECT_TRUE(enabled(view, 4));
    EXPECT_FALSE(enabled(view, 8));
    EXPECT_TRUE(enabled(view, 14));
    view.setConnectState(false, false);
    view.setDirectMode(true);
    EXPECT_FALSE(enabled(view, 14));
    view.setDirectMode(false);
    EXPECT_TRUE(enabled(view, 1));
    EXPECT_FALSE(enabled(view, 3));
    EXPECT_TRUE(enabled(view, 8));
}

TEST_F(DeviceViewTest, SearchTextGoesToTheStoreAndClears)
{
    DeviceView view;
    QSignalSpy changed(DeviceDatas::instance(), &DeviceDatas::searchTextChanged);
    PixmapLineEdit* edit = view.findChild<PixmapLineEdit*>(QStringLiteral("searchEdit"));
    ASSERT_NE(edit, nullptr);
    edit->lineEdit()->setText(QStringLiteral("30"));
    EXPECT_EQ(DeviceDatas::instance()->searchText(), "30");
    edit->lineEdit()->setText(QStringLiteral("303"));
    EXPECT_EQ(DeviceDatas::instance()->searchText(), "303");
    EXPECT_EQ(changed.count(), 2);
    view.clearSearch();
    EXPECT_EQ(DeviceDatas::instance()->searchText(), QString());
    EXPECT_EQ(edit->text(), QString());
    // A new page starts with the stored text.
    DeviceDatas::instance()->setSearchText(QStringLiteral("keep"));
    DeviceView second;
    EXPECT_EQ(second.findChild<PixmapLineEdit*>(QStringLiteral("searchEdit"))->text(), "keep");
}

TEST_F(DeviceViewTest, DebugItemAddedOnce)
{
    DeviceView view;
    view.onLogChanged(true);
    view.onLogChanged(true);
    EXPECT_EQ(view.menuGroup()->itemIds().count(13), 1);
    view.onLogChanged(false);
    EXPECT_EQ(view.menuGroup()->item(13), nullptr);
}

TEST_F(DeviceViewTest, RowsOnlyOnPageZero)
{
    DeviceView view;
    view.updatePageRows(1, QVariantList{row("A")});
    EXPECT_EQ(view.table()->rowCount(), 0);
    view.updatePageRows(0, QVariantList{row("A"), row("B")});
    EXPECT_EQ(view.table()->rowCount(), 2);
    view.setPageRow(1, 0, row("Z"));
    EXPECT_EQ(view.cellValue(0, DeviceView::keyColumn()).toString(), "A");
    view.setPageRow(0, 1, row("C"));
    EXPECT_EQ(view.cellValue(1, 3).toString(), "C");
    EXPECT_FALSE(view.cellValue(5, 3).isValid());
    view.selectRow(1);
    EXPECT_EQ(view.currentRow(), 1);
}

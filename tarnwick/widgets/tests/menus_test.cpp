#include "tarnwick/widgets/menuaction.h"
#include "tarnwick/widgets/menubar.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/menunavgation.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgettitle.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QStringList menuTexts(MenuItem* item)
{
    QStringList texts;
    for (QAction* a : item->menu()->actions())
        texts << static_cast<MenuAction*>(a)->label()->text();
    return texts;
}

QString textStyle(MenuItem* item)
{
    return item->label()->findChild<QLabel*>("text")->styleSheet();
}

// A top-level host so that items have a place on the (offscreen) screen.
struct Host {
    Host()
    {
        widget.setGeometry(200, 250, 400, 200);
        widget.show();
    }
    QWidget widget;
};

} // namespace

TEST(MenuItem, DuplicateEntryIdsAreRefusedAndTheMenuStaysAsItWas)
{
    MenuItem item("m", "menu");
    EXPECT_TRUE(item.addEntry(1, "one"));
    EXPECT_TRUE(item.addEntry(2, ":/pics/pic/vpn.png", "two"));
    EXPECT_FALSE(item.addEntry(1, "again"));
    EXPECT_EQ(menuTexts(&item), QStringList({"one", "two"}));

    // addEntries ignores the repeated record and still reports true.
    EXPECT_TRUE(item.addEntries({{3, "three", "", ""}, {3, "three again", "", ""}, {4, "four", "", ""}}));
    EXPECT_EQ(menuTexts(&item), QStringList({"one", "two", "three", "four"}));
}

TEST(MenuItem, ReKeyingKeepsThePositionAndRefusesATakenId)
{
    MenuItem item("m", "menu");
    item.addEntry(1, "one");
    item.addEntry(2, "two");
    item.addEntry(3, "three");
    QSignalSpy actioned(&item, &MenuItem::actioned);

    EXPECT_FALSE(item.changeEntryText(1, 3, "taken"));
    EXPECT_EQ(menuTexts(&item), QStringList({"one", "two", "three"}));
    EXPECT_FALSE(item.changeEntryText(9, 10, "absent"));

    EXPECT_TRUE(item.changeEntryText(2, 2, "deux"));
    EXPECT_TRUE(item.changeEntry(1, 11, ":/pics/pic/stop.png", "eleven"));
    EXPECT_EQ(menuTexts(&item), QStringList({"eleven", "deux", "three"}));
    EXPECT_EQ(item.entry(11)->label()->icon(), ":/pics/pic/stop.png");
    EXPECT_EQ(item.entry(1), nullptr);

    item.entry(11)->trigger();
    ASSERT_EQ(actioned.count(), 1);
    EXPECT_EQ(actioned.at(0).at(0).toString(), "m");
    EXPECT_EQ(actioned.at(0).at(1).toInt(), 11);

    EXPECT_TRUE(item.removeEntry(11));
    EXPECT_FALSE(item.removeEntry(11));
    EXPECT_EQ(menuTexts(&item), QStringList({"deux", "three"}));
    KitTest::flushEvents();
}

TEST(MenuItem, DisabledEntriesEmitNothing)
{
    MenuItem item("m", "menu");
    item.addEntry(1, ":/pics/pic/vnc.png", ":/pics/pic/vnc_disable.png", "vnc");
    item.addEntry(2, ":/pics/pic/refresh.png", "refresh");
    QSignalSpy actioned(&item, &MenuItem::actioned);

    item.setEntryDisabled(1, true);
    EXPECT_EQ(item.entry(1)->label()->icon(), ":/pics/pic/vnc_disable.png");
    item.entry(1)->trigger();
    EXPECT_EQ(actioned.count(), 0);

    // Without a disabled icon the entry keeps its icon but greys out too.
    item.setEntryDisabled(2, true);
    EXPECT_EQ(item.entry(2)->label()->icon(), ":/pics/pic/refresh.png");
    EXPECT_TRUE(item.entry(2)->label()->findChild<QLabel*>("text")->styleSheet().contains("#AAAAAA"));
    item.entry(2)->trigger();
    EXPECT_EQ(actioned.count(), 0);

    item.setEntryDisabled(1, false);
    EXPECT_EQ(item.entry(1)->label()->icon(), ":/pics/pic/vnc.png");
    item.entry(1)->trigger();
    ASSERT_EQ(actioned.count(), 1);
    EXPECT_EQ(actioned.at(0).at(1).toInt(), 1);
}

TEST(MenuItem, ClickWithoutEntriesTriggersOnlyWhileEnabledAndOnlyWhenReleasedOnTheItem)
{
    Host host;
    auto* item = new MenuItem("solo", "solo", &host.widget);
    item->setGeometry(10, 10, 80, 40);
    item->show();
    QSignalSpy triggered(item, &MenuItem::triggered);

    KitTest::click(item);
    ASSERT_EQ(triggered.count(), 1);
    EXPECT_EQ(triggered.at(0).at(0).toString(), "solo");

    // Pressed on the item, released outside it.
    KitTest::press(item, {5, 5});
    KitTest::release(item, {200, 5});
    EXPECT_EQ(triggered.count(), 1);

    item->setItemDisabled(true);
    KitTest::click(item);
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_EQ(item->styleSheet(), "QWidget#MenuItem:hover{  background-color: transparent; }");

    item->setItemDisabled(false);
    KitTest::click(item, Qt::RightButton);
    EXPECT_EQ(triggered.count(), 1);
    KitTest::click(item);
    EXPECT_EQ(triggered.count(), 2);
}

TEST(MenuItem, PopupPositionsFollowThePositionCode)
{
    Host host;
    auto* item = new MenuItem("m", "menu", &host.widget);
    item->setGeometry(150, 80, 100, 30);
    item->addEntry(1, "one");
    item->addEntry(2, "two");
    item->show();
    const QPoint p = item->mapToGlobal(QPoint(0, 0));

    const auto openAt = [&](int position) {
        item->setPopupPosition(position);
        item->showMenu();
        QMenu* menu = item->menu();
        EXPECT_TRUE(menu->isVisible());
        const QRect g = menu->geometry();
        int estimate = 2;
        for (int id : item->entryIds())
            estimate += menu->actionGeometry(item->entry(id)).height();
        menu->hide();
        return std::make_pair(g, estimate);
    };

    auto [above, estimate] = openAt(MenuItem::AboveLeft);
    EXPECT_GT(estimate, 2);
    EXPECT_EQ(above.topLeft(), QPoint(p.x(), p.y() - estimate));

    auto [aboveRight, e1] = openAt(MenuItem::AboveRight);
    EXPECT_EQ(aboveRight.topLeft(), QPoint(p.x() + 100 - aboveRight.width(), p.y() - e1));

    auto [belowRight, e3] = openAt(MenuItem::BelowRight);
    EXPECT_EQ(belowRight.topLeft(), QPoint(p.x() + 100 - belowRight.width(), p.y() + 30));

    auto [below, e2] = openAt(MenuItem::BelowLeft);
    EXPECT_EQ(below.y(), p.y() + 30);

    item->setFixedMenuWidth(true);
    auto [fixed, e4] = openAt(MenuItem::BelowLeft);
    EXPECT_EQ(fixed.width(), 100);
}

TEST(MenuItem, HoverColourIsOffWhileTheMenuIsOpen)
{
    Host host;
    auto* item = new MenuItem("m", "menu", &host.widget);
    item->setHoverColor("rgb(1, 2, 3)");
    item->addEntry(1, "one");
    item->show();
    EXPECT_EQ(item->styleSheet(), "QWidget#MenuItem:hover{  background-color: rgb(1, 2, 3); }");
    item->showMenu();
    EXPECT_EQ(item->styleSheet(), "QWidget#MenuItem:hover{  background-color: transparent; }");
    item->menu()->hide();
    EXPECT_EQ(item->styleSheet(), "QWidget#MenuItem:hover{  background-color: rgb(1, 2, 3); }");
}

TEST(MenuItemGroup, ClicksReportTheGroupNameAndTheItemsId)
{
    Host host;
    auto* group = new MenuItemGroup("toolbar", &host.widget);
    EXPECT_TRUE(group->addItem(14, ":/pics/pic/ftp.png", ":/pics/pic/ftp_disable.png", "FTP"));
    EXPECT_TRUE(group->addItem(3, ":/pics/pic/vnc.png", "VNC"));
    EXPECT_FALSE(group->addItem(3, "dup"));
    group->show();
    QSignalSpy actioned(group, &MenuItemGroup::actioned);
    auto* row = static_cast<QBoxLayout*>(group->layout());
    EXPECT_EQ(row->count(), 2);

    KitTest::click(group->item(14));
    ASSERT_EQ(actioned.count(), 1);
    EXPECT_EQ(actioned.at(0).at(0).toString(), "toolbar");
    EXPECT_EQ(actioned.at(0).at(1).toInt(), 14);

    // Re-keyed: the item keeps its place and reports its new id.
    EXPECT_TRUE(group->changeItem(3, 13, ":/pics/pic/stop.png", QString::fromUtf8("停止")));
    EXPECT_FALSE(group->removeItem(3));
    EXPECT_EQ(row->itemAt(1)->widget(), group->item(13));
    KitTest::click(group->item(13));
    ASSERT_EQ(actioned.count(), 2);
    EXPECT_EQ(actioned.at(1).at(1).toInt(), 13);
    EXPECT_EQ(group->item(13)->label()->text(), QString::fromUtf8("停止"));
    EXPECT_FALSE(group->changeItemText(13, 14, "taken"));
    EXPECT_TRUE(group->changeItemText(13, 13, "again"));
    EXPECT_EQ(group->item(13)->label()->text(), "again");

    EXPECT_TRUE(group->removeItem(13));
    EXPECT_EQ(row->count(), 1);
    KitTest::flushEvents();
}

TEST(MenuItemGroup, DisabledItemsIgnoreClicksAndShowGreyText)
{
    Host host;
    auto* group = new MenuItemGroup("toolbar", &host.widget);
    group->addItem(1, ":/pics/pic/vpn.png", ":/pics/pic/vpn_disable.png", QString::fromUtf8("联机"));
    group->show();
    QSignalSpy actioned(group, &MenuItemGroup::actioned);

    group->setItemDisabled(1, true);
    group->setItemDisabled(99, true); // absent: nothing
    KitTest::click(group->item(1));
    EXPECT_EQ(actioned.count(), 0);
    EXPECT_EQ(textStyle(group->item(1)), "color: #AAAAAA;");
    EXPECT_EQ(group->item(1)->label()->icon(), ":/pics/pic/vpn_disable.png");

    group->setItemDisabled(1, false);
    KitTest::click(group->item(1));
    EXPECT_EQ(actioned.count(), 1);
    EXPECT_EQ(textStyle(group->item(1)), "color: black;");
}

TEST(MenuItemGroup, PressEnlargesTheIconUntilRelease)
{
    Host host;
    auto* group = new MenuItemGroup("toolbar", &host.widget);
    group->addItem(9, ":/pics/pic/refresh.png", "refresh");
    group->show();
    MenuItem* item = group->item(9);
    EXPECT_EQ(item->label()->iconSize(), QSize(32, 32));
    KitTest::press(item, item->rect().center());
    EXPECT_TRUE(item->label()->isIconEnlarged());
    EXPECT_EQ(item->label()->findChild<QLabel*>("icon")->pixmap(Qt::ReturnByValue).size(), QSize(36, 36));
    KitTest::release(item, item->rect().center());
    EXPECT_FALSE(item->label()->isIconEnlarged());
    EXPECT_EQ(item->label()->findChild<QLabel*>("icon")->pixmap(Qt::ReturnByValue).size(), QSize(32, 32));
}

TEST(MenuBar, MenusNeedANameAndATextAndRelayTheirChoices)
{
    MenuBar bar;
    QSignalSpy actioned(&bar, &MenuBar::menuActioned);
    QSignalSpy triggered(&bar, &MenuBar::menuTriggered);
    MenuInfo file{"file", "File", MenuItem::BelowLeft, true, QString(), {{1, "Open", "", ""}, {2, "Quit", "", ""}}};
    EXPECT_TRUE(bar.addMenu(file));
    EXPECT_FALSE(bar.addMenu(file));
    EXPECT_FALSE(bar.addMenu({"edit", "", 0, false, QString(), {}}));
    EXPECT_FALSE(bar.addMenu({"", "Edit", 0, false, QString(), {}}));
    EXPECT_EQ(bar.menuItem("edit"), nullptr);
    EXPECT_TRUE(bar.addMenu({"help", "Help", 0, false, QString(), {}}));

    EXPECT_FALSE(bar.setCurrentEntry("absent", 1));
    EXPECT_FALSE(bar.setCurrentEntry("file", 9));
    EXPECT_TRUE(bar.setCurrentEntry("file", 2));
    EXPECT_EQ(bar.menuItem("file")->menu()->defaultAction(), bar.menuItem("file")->entry(2));

    bar.menuItem("file")->entry(2)->trigger();
    ASSERT_EQ(actioned.count(), 1);
    EXPECT_EQ(actioned.at(0).at(0).toString(), "file");
    EXPECT_EQ(actioned.at(0).at(1).toInt(), 2);
    bar.menuItem("help")->showMenu();
    ASSERT_EQ(triggered.count(), 1);
    EXPECT_EQ(triggered.at(0).at(0).toString(), "help");

    bar.setMenuHidden("help", true);
    EXPECT_TRUE(bar.menuItem("help")->isHidden());
    bar.setMenuHidden("absent", true);
}

TEST(MenuNavgation, ReportsSettingsHelpAndAboutUnderTheGroupName)
{
    Host host;
    auto* nav = new MenuNavgation(&host.widget);
    nav->show();
    QSignalSpy actioned(nav, &MenuNavgation::menuActioned);
    auto* group = nav->findChild<MenuItemGroup*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->itemIds(), QList<int>({10, 11, 12}));
    EXPECT_EQ(group->item(11)->label()->text(), QString::fromUtf8("帮助"));
    KitTest::click(group->item(12));
    ASSERT_EQ(actioned.count(), 1);
    EXPECT_EQ(actioned.at(0).at(0).toString(), "menuSetting");
    EXPECT_EQ(actioned.at(0).at(1).toInt(), 12);
}

TEST(WidgetTitle, SettingsEntriesEmitSettingWithTheirIds)
{
    WidgetTitle title;
    QSignalSpy setting(&title, &WidgetTitle::onSettingClicked);
    auto* item = title.findChild<MenuItem*>("MenuItem");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->name(), "setting");
    EXPECT_EQ(menuTexts(item),
              QStringList({QString::fromUtf8("设置"), QString::fromUtf8("帮助"), QString::fromUtf8("关于")}));
    for (int id : {10, 11, 12})
        item->entry(id)->trigger();
    ASSERT_EQ(setting.count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(setting.at(i).at(0).toString(), "setting");
        EXPECT_EQ(setting.at(i).at(1).toInt(), 10 + i);
    }
    EXPECT_EQ(item->popupPosition(), MenuItem::BelowLeft);
}

TEST(WidgetTitle, WindowButtonsOnlySignalAndTheMaxPictureFollowsTheCall)
{
    WidgetTitle title;
    title.resize(600, 34);
    title.show();
    QSignalSpy minimize(&title, &WidgetTitle::onMinimizeClicked);
    QSignalSpy maximize(&title, &WidgetTitle::onMaximizeClicked);
    QSignalSpy closed(&title, &WidgetTitle::onClosedClicked);
    auto* maxButton = title.findChild<QPushButton*>("maxButton");
    ASSERT_NE(maxButton, nullptr);
    const QString before = maxButton->styleSheet();
    EXPECT_TRUE(before.contains("url(\":/pics/img/max.png\")"));
    maxButton->click();
    EXPECT_EQ(maximize.count(), 1);
    EXPECT_EQ(minimize.count(), 0);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(maxButton->styleSheet(), before);

    title.setMaxButtonIcon(false);
    EXPECT_TRUE(maxButton->styleSheet().contains("url(\":/pics/img/normal.png\")"));
    EXPECT_TRUE(maxButton->styleSheet().contains("QPushButton:hover{ background-color: rgb(90, 100, 150); }"));
    title.setMaxButtonIcon(true);
    EXPECT_EQ(maxButton->styleSheet(), before);

    for (QPushButton* b : title.findChildren<QPushButton*>()) {
        EXPECT_EQ(b->size(), QSize(34, 34));
        if (b->styleSheet().contains("min.png"))
            b->click();
        if (b->styleSheet().contains("closehover.png"))
            b->click();
    }
    EXPECT_EQ(minimize.count(), 1);
    EXPECT_EQ(closed.count(), 1);

    const QPoint maxPos = maxButton->pos();
    title.setSettingVisible(false);
    EXPECT_TRUE(title.findChild<MenuItem*>()->isHidden());
    title.setSettingVisible(true);
    EXPECT_FALSE(title.findChild<MenuItem*>()->isHidden());
    EXPECT_EQ(maxButton->pos(), maxPos);
}

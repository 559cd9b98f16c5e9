#include "quillet/widgets/busywidget.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>

TEST(QuilletBusyWidget, StepIsCappedAtFortyDegrees)
{
    BusyWidget wide(nullptr, "x", 50);
    EXPECT_EQ(wide.step(), 40);
    EXPECT_EQ(wide.bars(), 9);
    BusyWidget fine(nullptr, "x", 20);
    EXPECT_EQ(fine.bars(), 18);
}

TEST(QuilletBusyWidget, CoversItsParentAndClosesAtItsTimeout)
{
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    auto* busy = new BusyWidget(&parent, "working", 20);
    EXPECT_EQ(busy->geometry(), QRect(0, 0, 300, 200));
    busy->setTimeout(700);
    busy->show();
    parent.resize(320, 240);
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(TestWait::waitUntil([&] { return !busy->isVisible(); }, 10000));
    // Followed the parent's new size once the delay had passed.
    EXPECT_EQ(busy->geometry(), QRect(0, 0, 320, 240));
    EXPECT_GE(timer.elapsed(), 500);
}

TEST(QuilletBusyWidget, ClicksOnTheUncoveredTitleBarReachIt)
{
    QWidget parent;
    parent.resize(300, 200);
    auto* title = new QWidget(&parent);
    title->setGeometry(0, 0, 300, 30);
    auto* close = new QPushButton(title);
    close->setGeometry(260, 0, 40, 30);
    parent.show();
    BusyWidget busy(&parent, "working", 20);
    busy.leaveUncovered(title);
    busy.show();
    EXPECT_EQ(parent.childAt(280, 15), close);
    EXPECT_EQ(parent.childAt(150, 100), &busy);

    // A real click, routed by position as the window system delivers it.
    int clicks = 0;
    QObject::connect(close, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(280, 15));
    EXPECT_EQ(clicks, 1);

    // Still so once the overlay has followed a new size of its parent.
    parent.resize(320, 240);
    title->setGeometry(0, 0, 320, 30);
    close->setGeometry(280, 0, 40, 30);
    busy.setGeometry(0, 0, 320, 240);
    EXPECT_EQ(parent.childAt(300, 15), close);
    EXPECT_EQ(parent.childAt(160, 200), &busy);
}

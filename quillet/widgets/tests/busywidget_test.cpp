#include "quillet/widgets/busywidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>

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
    while (busy->isVisible() && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(busy->isVisible());
    // Followed the parent's new size once the delay had passed.
    EXPECT_EQ(busy->geometry(), QRect(0, 0, 320, 240));
    EXPECT_GE(timer.elapsed(), 500);
}

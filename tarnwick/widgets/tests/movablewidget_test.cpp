#include "tarnwick/widgets/movablewidget.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QCursor>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using KitTest::FakeClock;

namespace {

// A frameless window with a 300 x 30 handle along its top edge.
struct Window {
    Window()
    {
        window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        window->resize(300, 200);
        handle->setGeometry(0, 0, 300, 30);
        window->setDragWidget(handle);
        window->setClock(clock.source());
        window->move(100, 100);
        window->show();
    }

    // Press at a local point, drag the global cursor by `delta`, release.
    void drag(QPoint from, QPoint delta, qint64 pressAt, qint64 releaseAt)
    {
        clock.now = pressAt;
        KitTest::press(window.get(), from);
        clock.now = releaseAt;
        const QPoint target = QCursor::pos() + delta;
        QCursor::setPos(target);
        QMouseEvent moveEvent(QEvent::MouseMove, QPointF(from + delta), QPointF(target), Qt::NoButton, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &moveEvent);
        QMouseEvent releaseEvent(QEvent::MouseButtonRelease, QPointF(from + delta), QPointF(target), Qt::LeftButton,
                                 Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &releaseEvent);
    }

    void clickAt(QPoint pos, qint64 pressAt, qint64 releaseAt, Qt::MouseButton button = Qt::LeftButton)
    {
        clock.now = pressAt;
        KitTest::press(window.get(), pos, button, button);
        clock.now = releaseAt;
        KitTest::release(window.get(), pos, button);
    }

    FakeClock clock;
    std::unique_ptr<MovableWidget> window = std::make_unique<MovableWidget>();
    QWidget* handle = new QWidget(window.get());
    QSignalSpy clicked{window.get(), &MovableWidget::clicked};
    QSignalSpy doubleClicked{window.get(), &MovableWidget::doubleClicked};
};

} // namespace

TEST(MovableWidget, FirstQuickClickIsAClickAndASecondPressWithin999MsIsADoubleClick)
{
    Window w;
    const qint64 t0 = w.clock.now;
    w.clickAt({10, 10}, t0, t0 + 50);
    EXPECT_EQ(w.clicked.count(), 1);
    EXPECT_EQ(w.doubleClicked.count(), 0);

    // The second release lies 999 ms after the first press: a double click.
    w.clickAt({10, 10}, t0 + 900, t0 + 999);
    EXPECT_EQ(w.clicked.count(), 1);
    EXPECT_EQ(w.doubleClicked.count(), 1);

    // A third quick click is measured against the second press.
    w.clickAt({10, 10}, t0 + 1200, t0 + 1250);
    EXPECT_EQ(w.doubleClicked.count(), 2);
    EXPECT_EQ(w.clicked.count(), 1);
}

TEST(MovableWidget, SecondReleaseAt1000MsAfterTheFirstPressIsOnlyAClick)
{
    Window w;
    const qint64 t0 = w.clock.now;
    w.clickAt({10, 10}, t0, t0 + 50);
    w.clickAt({10, 10}, t0 + 900, t0 + 1000);
    EXPECT_EQ(w.doubleClicked.count(), 0);
    EXPECT_EQ(w.clicked.count(), 2);
}

TEST(MovableWidget, PressHeld500MsEmitsNothing)
{
    Window w;
    const qint64 t0 = w.clock.now;
    w.clickAt({10, 10}, t0, t0 + 499);
    EXPECT_EQ(w.clicked.count(), 1);
    w.clickAt({10, 10}, t0 + 5000, t0 + 5500);
    EXPECT_EQ(w.clicked.count(), 1);
    EXPECT_EQ(w.doubleClicked.count(), 0);
}

TEST(MovableWidget, ADragOnTheHandleMovesTheWindowByTheDragVector)
{
    Window w;
    const QPoint start = w.window->pos();
    w.drag({20, 10}, {40, 25}, w.clock.now, w.clock.now + 2000);
    EXPECT_EQ(w.window->pos(), start + QPoint(40, 25));
    EXPECT_FALSE(w.window->isDragging());
    // A slow drag is no click.
    EXPECT_EQ(w.clicked.count(), 0);
    EXPECT_EQ(w.doubleClicked.count(), 0);

    // Back the other way.
    w.drag({20, 10}, {-60, -5}, w.clock.now + 10000, w.clock.now + 12000);
    EXPECT_EQ(w.window->pos(), start + QPoint(-20, 20));
}

TEST(MovableWidget, ADragBelowTheHandleDoesNotMoveTheWindow)
{
    Window w;
    const QPoint start = w.window->pos();
    w.drag({20, 100}, {40, 25}, w.clock.now, w.clock.now + 2000);
    EXPECT_EQ(w.window->pos(), start);
}

TEST(MovableWidget, NotMovableLeavesTheWindowWhereItIsButStillReportsClicks)
{
    Window w;
    w.window->setMovable(false);
    const QPoint start = w.window->pos();
    const qint64 t0 = w.clock.now;
    w.drag({20, 10}, {40, 25}, t0, t0 + 100);
    EXPECT_EQ(w.window->pos(), start);
    EXPECT_EQ(w.clicked.count(), 1);

    // Cleared in the middle of a drag: the window stops following.
    w.window->setMovable(true);
    w.clock.now = t0 + 5000;
    KitTest::press(w.window.get(), {20, 10});
    EXPECT_TRUE(w.window->isDragging());
    w.window->setMovable(false);
    QCursor::setPos(QCursor::pos() + QPoint(30, 30));
    KitTest::move(w.window.get(), {50, 40});
    KitTest::release(w.window.get(), {50, 40});
    EXPECT_EQ(w.window->pos(), start);
    EXPECT_FALSE(w.window->isDragging());
}

TEST(MovableWidget, WithoutAHandleNothingMovesAndNothingIsReported)
{
    Window w;
    w.window->setDragWidget(nullptr);
    const QPoint start = w.window->pos();
    const qint64 t0 = w.clock.now;
    w.drag({20, 10}, {40, 25}, t0, t0 + 50);
    w.clickAt({20, 10}, t0 + 100, t0 + 150);
    EXPECT_EQ(w.window->pos(), start);
    EXPECT_EQ(w.clicked.count(), 0);
    EXPECT_EQ(w.doubleClicked.count(), 0);
    EXPECT_FALSE(w.window->isDragging());
}

TEST(MovableWidget, AHandleDeletedByItsOwnerCountsAsNoHandle)
{
    Window w;
    delete w.handle;
    EXPECT_EQ(w.window->dragWidget(), nullptr);
    w.clickAt({20, 10}, w.clock.now, w.clock.now + 50);
    EXPECT_EQ(w.clicked.count(), 0);
}

TEST(MovableWidget, RightButtonPressIsIgnored)
{
    Window w;
    w.clickAt({10, 10}, w.clock.now, w.clock.now + 50, Qt::RightButton);
    EXPECT_FALSE(w.window->isDragging());
    EXPECT_EQ(w.clicked.count(), 0);
    EXPECT_EQ(w.doubleClicked.count(), 0);
}

TEST(MovableWidget, ReleaseOutsideTheHandleIsTimedAgainstTheLastAcceptedPress)
{
    Window w;
    const qint64 t0 = w.clock.now;
    w.clickAt({10, 10}, t0, t0);
    EXPECT_EQ(w.clicked.count(), 1);
    // A press below the handle is not accepted, but its release 400 ms after
    // the accepted press still counts as a click.
    w.clickAt({10, 150}, t0 + 400, t0 + 400);
    EXPECT_EQ(w.clicked.count(), 2);
    w.clickAt({10, 150}, t0 + 2000, t0 + 2000);
    EXPECT_EQ(w.clicked.count(), 2);
    EXPECT_EQ(w.doubleClicked.count(), 0);
}

#pragma once

// Helpers of the widget kit's tests: a fixed font DPI (set before the test
// main builds the QApplication), mouse events with a matching global cursor,
// a fake clock and a way to answer a modal box from inside its event loop.

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

class MessageBox;
class QPushButton;

namespace KitTest {

// The DPI the tests fix (ScreenTool's factor 1.0: scaled sizes equal the designed ones).
constexpr int kFontDpi = 96;

// Moves the global cursor to the widget's local point, then sends the event.
void press(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton, Qt::MouseButtons buttons = Qt::LeftButton);
void move(QWidget* w, QPoint pos, Qt::MouseButtons buttons = Qt::LeftButton);
void release(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
// press + release at one point.
void click(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
// The centre of a widget.
void click(QWidget* w, Qt::MouseButton button = Qt::LeftButton);

// Presses at a local point, moves the global cursor by delta (one move
// event) and releases there; the window may move in between.
void dragBy(QWidget* w, QPoint from, QPoint delta);

// A settable clock for MovableWidget::setClock.
struct FakeClock {
    qint64 now = 1'700'000'000'000; // a realistic epoch time
    std::function<qint64()> source()
    {
        return [this] { return now; };
    }
};

// The push button of that exact text among the widget's descendants.
QPushButton* buttonWithText(QWidget* root, const QString& text);

// Runs `answer` on the first visible MessageBox once one is open (polled
// from the event loop, so a modal exec() can be answered from inside).
void whenBoxOpens(std::function<void(MessageBox*)> answer);

// Lets deferred deletes and posted events run.
void flushEvents();

} // namespace KitTest

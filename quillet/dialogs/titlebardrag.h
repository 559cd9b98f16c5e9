#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

// The drag of a frameless window by its title bar: a left-button press on
// the title bar starts it, each move reports the step since the last one
// (through the window's MoveWindowSignal), a release or a move without the
// left button ends it. Shared by the main window and the dialogs.
class TitleBarDrag {
public:
    // True when the press landed on titleBar; the drag starts.
    bool press(QWidget* window, QWidget* titleBar, QMouseEvent* event);
    // The step to move by, or nothing (false) when no drag runs.
    bool move(QWidget* window, QMouseEvent* event, QPoint* delta);
    void release() { m_dragging = false; }
    bool dragging() const { return m_dragging; }

private:
    bool m_dragging = false;
    QPoint m_last;
};

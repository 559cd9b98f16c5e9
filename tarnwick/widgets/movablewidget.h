#pragma once

// The base of the program's frameless top-level windows (the main window and
// every message box): the window follows the mouse while the left button
// drags its handle, and quick clicks on the handle are reported as clicked()
// and doubleClicked() by their timing.

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

class MovableWidget : public QWidget {
    Q_OBJECT
public:
    // Milliseconds since the epoch; tests inject a fake one.
    using Clock = std::function<qint64()>;

    explicit MovableWidget(QWidget* parent = nullptr);

    // The handle, expected at the window's top-left corner (a title bar);
    // null removes it: the window can no longer be dragged and no press is
    // recorded. Not owned.
    void setDragWidget(QWidget* handle);
    QWidget* dragWidget() const { return m_dragWidget; }

    // While false, presses are still recorded but the window stays put.
    void setMovable(bool movable);
    bool isMovable() const { return m_movable; }
    bool isDragging() const { return m_dragging; }

    // Replaces the clock of the click timing; an empty one restores the wall clock.
    void setClock(Clock clock);

signals:
    void doubleClicked();
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    bool m_movable = true;
    QPoint m_lastCursorPos;
    QPointer<QWidget> m_dragWidget;
    qint64 m_previousPressTime = 0;
    qint64 m_pressTime = 0;
    Clock m_clock;
};

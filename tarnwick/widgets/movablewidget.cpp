#include "tarnwick/widgets/movablewidget.h"

#include "tarnwick/widgets/widgetsconstants.h"

#include <QCursor>
#include <QDateTime>
#include <QMouseEvent>
#include <QRect>

using namespace Tarnwick::Widgets;

namespace {
qint64 wallClock()
{
    return QDateTime::currentMSecsSinceEpoch();
}
} // namespace

MovableWidget::MovableWidget(QWidget* parent)
    : QWidget(parent)
    , m_clock(wallClock)
{
}

void MovableWidget::setDragWidget(QWidget* handle)
{
    m_dragWidget = handle;
}

void MovableWidget::setMovable(bool movable)
{
    m_movable = movable;
}

void MovableWidget::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(wallClock);
}

void MovableWidget::mousePressEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_dragWidget)
        return;
    // The handle's size against a position in the window: the handle sits at
    // the window's top-left corner.
    const QPoint pos = event->localPos().toPoint();
    if (!QRect(QPoint(0, 0), m_dragWidget->size()).contains(pos))
        return;
    m_dragging = true;
    m_lastCursorPos = QCursor::pos();
    m_previousPressTime = m_pressTime;
    m_pressTime = m_clock();
}

void MovableWidget::mouseMoveEvent(QMouseEvent*)
{
    if (!m_dragging || !m_movable)
        return;
    const QPoint delta = QCursor::pos() - m_lastCursorPos;
    move(x() + delta.x(), y() + delta.y());
    m_lastCursorPos = QCursor::pos();
}

void MovableWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && m_movable)
        mouseMoveEvent(event);
    // Measured against the last two accepted presses, whatever was released.
    const qint64 now = m_clock();
    if (now - m_previousPressTime <= kDoubleClickLimitMs)
        emit doubleClicked();
    else if (now - m_pressTime <= kClickLimitMs)
        emit clicked();
    m_dragging = false;
}

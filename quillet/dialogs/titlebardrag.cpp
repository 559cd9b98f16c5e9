#include "quillet/dialogs/titlebardrag.h"

#include <QMouseEvent>
#include <QWidget>

#include <cmath>

namespace {

QPoint globalOf(QWidget* window, QMouseEvent* event)
{
    const QPointF local = event->localPos();
    return window->mapToGlobal(
        QPoint(static_cast<int>(std::floor(local.x() + 0.5)), static_cast<int>(std::floor(local.y() + 0.5))));
}

} // namespace

bool TitleBarDrag::press(QWidget* window, QWidget* titleBar, QMouseEvent* event)
{
    const QPoint global = globalOf(window, event);
    const QPoint inParent = titleBar->parentWidget() ? titleBar->parentWidget()->mapFromGlobal(global)
                                                     : titleBar->mapFromGlobal(global);
    if (!titleBar->frameGeometry().contains(inParent))
        return false;
    m_dragging = true;
    m_last = global;
    return true;
}

bool TitleBarDrag::move(QWidget* window, QMouseEvent* event, QPoint* delta)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_dragging) {
        m_dragging = false;
        return false;
    }
    const QPoint global = globalOf(window, event);
    *delta = global - m_last;
    m_last = global;
    return true;
}

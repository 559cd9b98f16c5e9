#include "brellfin/mfc/listdragsource.h"

#include "brellfin/mfc/imagelist.h"
#include "brellfin/mfc/listctrl.h"

#include <QApplication>
#include <QMouseEvent>

ListDragSource::ListDragSource(CListCtrl* list, Handler* handler)
    : QObject(list)
    , m_list(list)
    , m_handler(handler)
{
    m_list->viewport()->installEventFilter(this);
}

ListDragSource::~ListDragSource()
{
    endPicture();
    ReleaseCapture();
}

QPoint ListDragSource::windowPoint(const QPoint& point) const
{
    return m_list->viewport()->mapToGlobal(point) - m_list->window()->frameGeometry().topLeft();
}

bool ListDragSource::beginPicture(int row, const QPoint& point)
{
    std::unique_ptr<CImageList> picture(CreateDragImage(m_list, row));
    if (!picture)
        return false;
    endPicture();
    m_picture = std::move(picture);
    m_picture->BeginDrag(0, QPoint(kDragHotSpot, kDragHotSpot));
    CImageList::DragEnter(m_list->window(), windowPoint(point));
    SetCapture();
    return true;
}

void ListDragSource::movePicture(const QPoint& point)
{
    if (m_picture)
        CImageList::DragMove(windowPoint(point));
}

void ListDragSource::endPicture()
{
    ReleaseCapture();
    if (!m_picture)
        return;
    CImageList::DragLeave(m_list->window());
    CImageList::EndDrag();
    m_picture.reset();
}

void ListDragSource::SetCapture()
{
    if (m_captured)
        return;
    m_captured = true;
    m_list->viewport()->grabMouse();
}

void ListDragSource::ReleaseCapture()
{
    if (!m_captured)
        return;
    m_captured = false;
    m_list->viewport()->releaseMouse();
}

bool ListDragSource::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_list->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressedRow = m_list->HitTest(mouse->pos());
            m_pressPoint = mouse->pos();
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint point = mouse->pos();
        if (m_pressedRow >= 0 && (mouse->buttons() & Qt::LeftButton) && !m_captured
            && (point - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
            const int row = m_pressedRow;
            m_pressedRow = -1;
            m_handler->OnBeginDrag(row, m_pressPoint);
        }
        m_handler->OnDragMouseMove(point);
        // A press on a row drags; it does not sweep a selection.
        return m_captured || m_pressedRow >= 0;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const bool dragged = m_captured;
        m_pressedRow = -1;
        m_handler->OnDragLButtonUp(mouse->pos());
        return dragged;
    }
    default: return false;
    }
}

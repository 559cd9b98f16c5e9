#include "brellfin/mfc/imagelist.h"

#include "brellfin/mfc/listctrl.h"

#include <QLabel>
#include <QPointer>
#include <QRect>

#include <memory>

namespace {

// The drag under way: its picture window, hot spot and locked window.
struct DragState {
    QPixmap picture;
    QPoint hotSpot;
    QPointer<QWidget> lock;
    std::unique_ptr<QLabel> window;
};

DragState& drag()
{
    static DragState state;
    return state;
}

QPoint windowOrigin(QWidget* lock)
{
    if (!lock)
        return QPoint();
    return lock->isWindow() ? lock->frameGeometry().topLeft() : lock->mapToGlobal(QPoint(0, 0));
}

} // namespace

int CImageList::Add(const QPixmap& image)
{
    m_images.push_back(image);
    return int(m_images.size()) - 1;
}

QPixmap CImageList::image(int index) const
{
    return index >= 0 && index < int(m_images.size()) ? m_images[index] : QPixmap();
}

BOOL CImageList::BeginDrag(int index, const QPoint& hotSpot)
{
    if (index < 0 || index >= int(m_images.size()))
        return FALSE;
    DragState& state = drag();
    state.window.reset();
    state.picture = m_images[index];
    state.hotSpot = hotSpot;
    state.lock = nullptr;
    return TRUE;
}

BOOL CImageList::DragEnter(CWnd* lock, const QPoint& point)
{
    DragState& state = drag();
    if (state.picture.isNull())
        return FALSE;
    state.lock = lock;
    if (!state.window) {
        state.window = std::make_unique<QLabel>();
        state.window->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput
                                     | Qt::WindowDoesNotAcceptFocus);
        state.window->setAttribute(Qt::WA_TransparentForMouseEvents);
        state.window->setAttribute(Qt::WA_ShowWithoutActivating);
        state.window->setPixmap(state.picture);
        state.window->resize(state.picture.size());
    }
    state.window->show();
    return DragMove(point);
}

BOOL CImageList::DragMove(const QPoint& point)
{
    DragState& state = drag();
    if (!state.window)
        return FALSE;
    // The picture itself, not its frame, goes to the hot spot's place.
    state.window->setGeometry(QRect(windowOrigin(state.lock) + point - state.hotSpot, state.picture.size()));
    return TRUE;
}

BOOL CImageList::DragLeave(CWnd*)
{
    DragState& state = drag();
    if (state.window)
        state.window->hide();
    return TRUE;
}

void CImageList::EndDrag()
{
    DragState& state = drag();
    state.window.reset();
    state.picture = QPixmap();
    state.lock = nullptr;
}

QWidget* CImageList::dragWindow()
{
    DragState& state = drag();
    return state.window && state.window->isVisible() ? state.window.get() : nullptr;
}

CImageList* CreateDragImage(CListCtrl* list, int row, QPoint* point)
{
    if (!list || row < 0 || row >= list->GetItemCount())
        return nullptr;
    QRect rect;
    if (!list->GetItemRect(row, &rect, LVIR_BOUNDS) || rect.isEmpty())
        return nullptr;
    const QPixmap picture = list->viewport()->grab(rect);
    if (picture.isNull())
        return nullptr;
    if (point)
        *point = rect.topLeft();
    auto* images = new CImageList;
    images->Add(picture);
    return images;
}

#pragma once

// An image list and its dragging: while a drag runs, a frameless picture
// that takes no input follows the pointer, its hot spot under the pointer.
// One drag at a time, as with the system's image lists.

#include "brellfin/mfc/mfcdefs.h"

#include <QPixmap>
#include <QPoint>

#include <vector>

class CListCtrl;

class CImageList {
public:
    int Add(const QPixmap& image);
    int GetImageCount() const { return int(m_images.size()); }
    QPixmap image(int index) const;

    // Takes image index of this list as the picture of the drag to come.
    BOOL BeginDrag(int index, const QPoint& hotSpot);
    // Shows the picture over lock; point is relative to the top-left corner
    // of lock's window rectangle, as the following moves are.
    static BOOL DragEnter(CWnd* lock, const QPoint& point);
    static BOOL DragMove(const QPoint& point);
    static BOOL DragLeave(CWnd* lock);
    static void EndDrag();

    // The picture window while a drag shows one, else null (tests).
    static QWidget* dragWindow();

private:
    std::vector<QPixmap> m_images;
};

// A picture of row (every column) as a new one-image list owned by the
// caller; point, when given, gets the row's top-left corner in the list's
// viewport. Null when the row does not exist or shows nothing.
CImageList* CreateDragImage(CListCtrl* list, int row, QPoint* point = nullptr);

#include "brellfin/mfc/listdragsource.h"

#include "brellfin/mfc/imagelist.h"
#include "brellfin/mfc/listctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include <memory>
#include <string>
#include <vector>

namespace {

// A list that drags as the tool's lists do: the picture of the pressed row,
// hot spot (8, 8), the mouse held until the release.
class DraggingList : public CListCtrl, public ListDragSource::Handler {
public:
    DraggingList()
        : m_drag(this, this)
    {
        InsertColumn(0, "Name", LVCFMT_LEFT, 150);
        InsertColumn(1, "Size", LVCFMT_RIGHT, 80);
        for (int i = 0; i < 5; ++i)
            SetItemText(InsertItem(i, QString("row %1").arg(i)), 1, "1 KB");
        resize(300, 200);
    }

    void OnBeginDrag(int row, const QPoint& point) override
    {
        events.push_back("begin " + std::to_string(row));
        m_image.reset(CreateDragImage(this, row));
        if (!m_image)
            return;
        m_image->BeginDrag(0, QPoint(8, 8));
        CImageList::DragEnter(this, windowPoint(point));
        m_drag.SetCapture();
    }
    void OnDragMouseMove(const QPoint& point) override
    {
        if (m_drag.hasCapture())
            CImageList::DragMove(windowPoint(point));
    }
    void OnDragLButtonUp(const QPoint& point) override
    {
        if (!m_drag.hasCapture())
            return;
        m_drag.ReleaseCapture();
        CImageList::DragLeave(this);
        CImageList::EndDrag();
        m_image.reset();
        events.push_back("drop " + std::to_string(point.x()) + "," + std::to_string(point.y()));
    }

    // A viewport point relative to the top-left corner of the list's window rectangle.
    QPoint windowPoint(const QPoint& point) const { return viewport()->mapToGlobal(point) - frameGeometry().topLeft(); }
    ListDragSource& drag() { return m_drag; }
    std::vector<std::string> events;

private:
    ListDragSource m_drag;
    std::unique_ptr<CImageList> m_image;
};

void send(QWidget* target, QEvent::Type type, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, point, target->mapToGlobal(point), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

QPoint rowPoint(DraggingList& list, int row)
{
    QRect rect;
    list.GetItemRect(row, &rect, LVIR_BOUNDS);
    return rect.center();
}

TEST(ListDrag, BeginsPastTheStartDistanceAndDropsInListCoordinates)
{
    DraggingList list;
    list.show();
    QWidget* viewport = list.viewport();
    const QPoint start = rowPoint(list, 2);
    const int distance = QApplication::startDragDistance();

    send(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(viewport, QEvent::MouseMove, start + QPoint(distance - 1, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(list.events.empty());
    EXPECT_EQ(CImageList::dragWindow(), nullptr);

    send(viewport, QEvent::MouseMove, start + QPoint(distance, 0), Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(list.events, std::vector<std::string>({"begin 2"}));
    EXPECT_TRUE(list.drag().hasCapture());
    QWidget* picture = CImageList::dragWindow();
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_TRUE(picture->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(picture->windowFlags() & Qt::WindowTransparentForInput);

    // The picture's hot spot (8, 8) stays under the pointer, also outside the list.
    const QPoint outside(-120, 40);
    send(viewport, QEvent::MouseMove, outside, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(picture->geometry().topLeft() + QPoint(8, 8), viewport->mapToGlobal(outside));
    // The selection was not swept along.
    EXPECT_LE(list.GetSelectedCount(), 1u);

    send(viewport, QEvent::MouseButtonRelease, outside, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(list.events, std::vector<std::string>({"begin 2", "drop -120,40"}));
    EXPECT_FALSE(list.drag().hasCapture());
    EXPECT_EQ(CImageList::dragWindow(), nullptr);
}

TEST(ListDrag, NoDragFromEmptySpaceOrWithoutTheLeftButton)
{
    DraggingList list;
    list.show();
    QWidget* viewport = list.viewport();
    const QPoint empty(10, 190);
    ASSERT_EQ(list.HitTest(empty), -1);
    send(viewport, QEvent::MouseButtonPress, empty, Qt::LeftButton, Qt::LeftButton);
    send(viewport, QEvent::MouseMove, empty + QPoint(60, -60), Qt::NoButton, Qt::LeftButton);
    send(viewport, QEvent::MouseButtonRelease, empty + QPoint(60, -60), Qt::LeftButton, Qt::NoButton);

    const QPoint start = rowPoint(list, 1);
    send(viewport, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
    send(viewport, QEvent::MouseMove, start + QPoint(60, 0), Qt::NoButton, Qt::RightButton);
    send(viewport, QEvent::MouseButtonRelease, start + QPoint(60, 0), Qt::RightButton, Qt::NoButton);

    // A release ends the press: a later move with the button up starts nothing.
    send(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(viewport, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    send(viewport, QEvent::MouseMove, start + QPoint(60, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(list.events.empty());
    EXPECT_FALSE(list.drag().hasCapture());
}

TEST(ListDrag, NoPictureOfARowThatIsNotThere)
{
    DraggingList list;
    EXPECT_EQ(CreateDragImage(&list, -1), nullptr);
    EXPECT_EQ(CreateDragImage(&list, 5), nullptr);
    EXPECT_EQ(CreateDragImage(nullptr, 0), nullptr);
    CImageList images;
    EXPECT_FALSE(images.BeginDrag(0, QPoint(8, 8)));
    EXPECT_FALSE(CImageList::DragMove(QPoint(1, 1)));
}

} // namespace

// Dragging between the panes: decided by where the button is let go.
#include "brellfin/dialog/tests/listsfixture.h"

#include <QApplication>
#include <QMouseEvent>

namespace {

using namespace BrellfinLists;

void send(QWidget* target, QEvent::Type type, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, point, target->mapToGlobal(point), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses on row, drags past the start distance and lets go at x (viewport
// coordinates of the list), the button held throughout.
void dragRow(CListCtrl& list, int row, int x)
{
    QRect rect;
    ASSERT_TRUE(list.GetItemRect(row, &rect, LVIR_BOUNDS));
    QWidget* viewport = list.viewport();
    const QPoint start = rect.center();
    send(viewport, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    const QPoint away = start + QPoint(QApplication::startDragDistance() + 2, 0);
    send(viewport, QEvent::MouseMove, away, Qt::NoButton, Qt::LeftButton);
    const QPoint end(x, start.y());
    send(viewport, QEvent::MouseMove, end, Qt::NoButton, Qt::LeftButton);
    send(viewport, QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
}

class Drag : public ListsFixture {
protected:
    void SetUp() override
    {
        ListsFixture::SetUp();
        dialog().show();
        m_panel->putFile("/storage/user_dir/r.bin", std::vector<uint8_t>(3000, 4));
        writeFile(pc("l.bin"), QByteArray(3000, 5));
        showRemote("/storage/user_dir");
        showLocal(pc());
    }
    // The list's own left and right edges in its viewport's coordinates.
    static int leftEdge(CListCtrl& list) { return list.viewport()->mapFrom(&list, QPoint(0, 0)).x(); }
    static int rightEdge(CListCtrl& list) { return list.viewport()->mapFrom(&list, QPoint(list.width(), 0)).x(); }
};

TEST_F(Drag, ReleasedLeftOfTheRemoteListFetches)
{
    const int row = rowOf(remote(), "r.bin");
    select(remote(), {"r.bin"});
    dragRow(remote(), row, leftEdge(remote()) + 1);
    EXPECT_TRUE(remote().queueRecords().empty());
    EXPECT_FALSE(remote().isDragging());

    select(remote(), {"r.bin"});
    dragRow(remote(), row, leftEdge(remote()));
    ASSERT_EQ(remote().queueRecords().size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !remote().isTransferring(); }, 20000));
    EXPECT_EQ(readFile(pc("r.bin")), QByteArray(3000, 4));
}

TEST_F(Drag, ReleasedAtOrBeyondTheLocalListsRightEdgeSends)
{
    const int row = rowOf(local(), "l.bin");
    select(local(), {"l.bin"});
    dragRow(local(), row, rightEdge(local()) - 1);
    EXPECT_TRUE(local().queueRecords().empty());

    select(local(), {"l.bin"});
    dragRow(local(), row, rightEdge(local()));
    ASSERT_EQ(local().queueRecords().size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !local().isTransferring(); }, 20000));
    EXPECT_EQ(m_panel->fileBytes("/storage/user_dir/l.bin"), bytesOf(QByteArray(3000, 5)));
}

} // namespace

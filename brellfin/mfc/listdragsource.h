#pragma once

// Drag gestures of a report list: a drag begins once the left button, pressed
// on a row, moves past the platform's start distance; while the list holds
// the mouse, every move and the release reach it in its viewport's
// coordinates, wherever the pointer is.

#include <QObject>
#include <QPoint>

#include <memory>

class CImageList;
class CListCtrl;

class ListDragSource : public QObject {
public:
    static constexpr int kDragHotSpot = 8;

    // What the list does with the gesture (its LVN_BEGINDRAG, WM_MOUSEMOVE
    // and WM_LBUTTONUP handlers).
    class Handler {
    public:
        virtual ~Handler() = default;
        // row: the row pressed; point: where the press was.
        virtual void OnBeginDrag(int row, const QPoint& point) = 0;
        virtual void OnDragMouseMove(const QPoint& point) = 0;
        virtual void OnDragLButtonUp(const QPoint& point) = 0;
    };

    ListDragSource(CListCtrl* list, Handler* handler);
    ~ListDragSource() override;

    // The list holds the mouse until ReleaseCapture.
    void SetCapture();
    void ReleaseCapture();
    bool hasCapture() const { return m_captured; }

    // The picture of row follows the pointer with its hot spot at (8, 8)
    // over the list's window, and the list holds the mouse; false when no
    // picture of the row can be made. point: in the viewport.
    bool beginPicture(int row, const QPoint& point);
    void movePicture(const QPoint& point);
    // The picture goes and the mouse is given back.
    void endPicture();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A viewport point relative to the top-left corner of the list's window rectangle.
    QPoint windowPoint(const QPoint& point) const;

    CListCtrl* m_list;
    Handler* m_handler;
    int m_pressedRow = -1;
    QPoint m_pressPoint;
    bool m_captured = false;
    std::unique_ptr<CImageList> m_picture;
};

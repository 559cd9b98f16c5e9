#include "tarnwick/widgets/tests/kittestsupport.h"

#include "tarnwick/widgets/messagebox.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

namespace {
// Runs before main(), so before the test main builds the QApplication.
const bool g_fixedDpi = [] {
    setenv("QT_FONT_DPI", "96", 1);
    return true;
}();

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPoint global = w->mapToGlobal(pos);
    QCursor::setPos(global);
    QMouseEvent event(type, QPointF(pos), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
} // namespace

namespace KitTest {

void press(QWidget* w, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    send(w, QEvent::MouseButtonPress, pos, button, buttons);
}

void move(QWidget* w, QPoint pos, Qt::MouseButtons buttons)
{
    send(w, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}

void release(QWidget* w, QPoint pos, Qt::MouseButton button)
{
    send(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void click(QWidget* w, QPoint pos, Qt::MouseButton button)
{
    press(w, pos, button, button);
    release(w, pos, button);
}

void click(QWidget* w, Qt::MouseButton button)
{
    click(w, w->rect().center(), button);
}

void dragBy(QWidget* w, QPoint from, QPoint delta)
{
    press(w, from);
    const QPoint target = QCursor::pos() + delta;
    QCursor::setPos(target);
    QMouseEvent moveEvent(QEvent::MouseMove, QPointF(from + delta), QPointF(target), Qt::NoButton, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(w, &moveEvent);
    QMouseEvent releaseEvent(QEvent::MouseButtonRelease, QPointF(from + delta), QPointF(target), Qt::LeftButton,
                             Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &releaseEvent);
}

QPushButton* buttonWithText(QWidget* root, const QString& text)
{
    for (QPushButton* button : root->findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

void whenBoxOpens(std::function<void(MessageBox*)> answer)
{
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer = std::move(answer)] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<MessageBox*>(w);
            if (box && box->isVisible()) {
                timer->stop();
                timer->deleteLater();
                answer(box);
                return;
            }
        }
    });
    timer->start();
}

void flushEvents()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace KitTest

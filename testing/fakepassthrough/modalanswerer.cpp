#include "testing/fakepassthrough/modalanswerer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>

namespace Fake {

void pressKey(QWidget* window, int key)
{
    QApplication::setActiveWindow(window);
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

ModalAnswerer::ModalAnswerer(Handler handler)
    : m_handler(std::move(handler))
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == m_last || !modal->isVisible())
        return;
    m_last = modal;
    m_seen << modal->metaObject()->className();
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        m_texts << box->text();
    m_handler(modal);
}

} // namespace Fake

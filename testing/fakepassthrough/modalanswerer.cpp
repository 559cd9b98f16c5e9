#include "testing/fakepassthrough/modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QVector>

#include <algorithm>

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

QStringList buttonTexts(QWidget* window)
{
    QStringList texts;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(window) && !button->text().isEmpty())
            texts << button->text();
    }
    return texts;
}

QStringList notChinese(const QStringList& texts)
{
    QStringList foreign;
    for (const QString& text : texts) {
        const QVector<uint> codes = text.toUcs4();
        const bool han = !codes.isEmpty() && std::all_of(codes.begin(), codes.end(), [](uint code) {
            return QChar::script(code) == QChar::Script_Han;
        });
        if (!han)
            foreign << text;
    }
    return foreign;
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
    m_titles << modal->windowTitle();
    m_buttons << buttonTexts(modal);
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        m_texts << box->text();
    m_handler(modal);
}

} // namespace Fake

#pragma once

// Answers the modal dialogs a test makes appear: every 20 ms it looks at the
// active modal widget and, for each new one, runs the handler, which may
// fill it in and accept, reject or close it. It remembers what it saw: the
// class, the window title and the button texts of each.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace Fake {

// A key as the keyboard delivers it: pressed and released at the focus
// widget of `window`, made the active window; what the focus widget leaves
// goes up to its parents (a dialog's Enter to the dialog).
void pressKey(QWidget* window, int key);

// The texts of the buttons that window shows (its own and those of the
// widgets in it), in creation order; buttons without text (pictures) left out.
QStringList buttonTexts(QWidget* window);
// Those of texts that hold anything but Chinese characters.
QStringList notChinese(const QStringList& texts);

class ModalAnswerer : public QObject {
public:
    using Handler = std::function<void(QWidget* dialog)>;

    explicit ModalAnswerer(Handler handler);

    // Class names of the dialogs answered, in order.
    const QStringList& seen() const { return m_seen; }
    // The texts of the message boxes answered.
    const QStringList& texts() const { return m_texts; }
    // The window titles of the dialogs answered, in order.
    const QStringList& titles() const { return m_titles; }
    // The button texts of each dialog answered (buttonTexts), in order.
    const QList<QStringList>& buttons() const { return m_buttons; }

private:
    void poll();

    Handler m_handler;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    QStringList m_seen;
    QStringList m_texts;
    QStringList m_titles;
    QList<QStringList> m_buttons;
};

} // namespace Fake

#pragma once

// The program's own modal message dialog: a frameless box dragged by its blue
// title bar, with a type icon, a text and up to two buttons, or a frame around
// a caller's widget (content mode). exec() returns the user's answer as a
// Result; its values are the program's answer numbers.

#include "tarnwick/widgets/movablewidget.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QEventLoop;
class QHBoxLayout;

class MessageBox : public MovableWidget {
    Q_OBJECT
public:
    enum Type { Content = 0, Information = 1, Warning = 2, Question = 3 };
    // Closed: closed in any other way than by a button of the box.
    enum Result { Closed = -1, Button1 = 0, Button2 = 1, TitleClose = 2 };

    // A typed box (information, warning or question). The box is always a
    // top-level window; parent is only the reference for size and position.
    MessageBox(Type type, const QString& title, const QString& text, const QString& button1, const QString& button2,
               QWidget* parent = nullptr);
    // A content-mode box: the caller supplies the middle with setContentWidget().
    MessageBox(QWidget* parent, const QString& title, const QString& button1, const QString& button2);
    ~MessageBox() override;

    // Shows the box application-modal, as large as its content within the
    // screen's available area (unless its size was set), centred on the
    // reference widget and within that area, and blocks in a nested event
    // loop until it closes.
    Result exec();
    void done(Result r);

    // Replaces the content widget; the old one is deleted at once. The box's
    // layout takes the new one over as a child. The widget already held is
    // kept as it is.
    void setContentWidget(QWidget* w);
    QWidget* contentWidget() const { return m_contentWidget; }

    // In content mode button 1 closes the box only when this returns true.
    void setButton1Handler(std::function<bool()> check);
    void setTitleDraggable(bool draggable);
    void setButtonAlignment(Qt::Alignment alignment);

    Result result() const { return m_result; }
    Type boxType() const { return m_boxType; }

    static Result question(QWidget* parent, const QString& title, const QString& text, const QString& button1,
                           const QString& button2, Qt::Alignment buttonAlign = Qt::AlignCenter);
    static Result information(QWidget* parent, const QString& title, const QString& text, const QString& button,
                              Qt::Alignment buttonAlign = Qt::AlignCenter);
    static Result warning(QWidget* parent, const QString& title, const QString& text, const QString& button,
                          Qt::Alignment buttonAlign = Qt::AlignCenter);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onButton1Clicked();
    void onButton2Clicked();
    void onQuitClicked();
    void centerInParent();

private:
    static constexpr int kSettleRounds = 4;

    void build(const QString& title, const QString& text, const QString& button1, const QString& button2);
    // The available area of the reference widget's screen; empty on the
    // offscreen platform.
    QRect availableArea() const;
    // Sizes the box before it shows; false where show() is to size it.
    bool sizeToContent();
    void followContent();
    void placeOverReference();

    Result m_result = Closed;
    Type m_boxType = Content;
    QHBoxLayout* m_contentLayout = nullptr;
    QPointer<QWidget> m_contentWidget;
    std::unique_ptr<QEventLoop> m_eventLoop;
    QPointer<QWidget> m_referenceWidget;
    std::function<bool()> m_button1Check;
};

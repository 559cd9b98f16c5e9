#pragma once

#include "quillet/dialogs/titlebardrag.h"

#include <QDialog>
#include <QPoint>

class QPushButton;

// The frame the three dialogs share: frameless, the dialog style sheet, a
// scaled title bar and buttons, and the drag by the title bar.
class QuilletDialog : public QDialog {
    Q_OBJECT
public:
    explicit QuilletDialog(QWidget* parent = nullptr);

signals:
    void MoveWindowSignal(QPoint);

public slots:
    void Move(QPoint deltaPos);

protected:
    // After setupUi: style, flags, heights and the drag's title bar.
    void finishSetup(const QString& styleSheet, QWidget* titleWidget, std::initializer_list<QPushButton*> buttons,
                     bool fixSize);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* m_titleWidget = nullptr;
    TitleBarDrag m_drag;
};

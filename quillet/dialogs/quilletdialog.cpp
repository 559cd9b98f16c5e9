#include "quillet/dialogs/quilletdialog.h"

#include "quillet/widgets/screentool.h"

#include <QMouseEvent>
#include <QPushButton>

namespace {
const QSize kDialogSize(305, 166);
constexpr int kTitleHeight = 30;
constexpr int kButtonHeight = 24;
} // namespace

QuilletDialog::QuilletDialog(QWidget* parent)
    : QDialog(parent)
{
}

void QuilletDialog::finishSetup(const QString& styleSheet, QWidget* titleWidget,
                                std::initializer_list<QPushButton*> buttons, bool fixSize)
{
    setStyleSheet(styleSheet);
    if (fixSize)
        setFixedSize(ScreenTool::scaleSize(kDialogSize));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    setAttribute(Qt::WA_TranslucentBackground);
    m_titleWidget = titleWidget;
    titleWidget->setFixedHeight(ScreenTool::scale(kTitleHeight));
    for (QPushButton* button : buttons)
        button->setFixedHeight(ScreenTool::scale(kButtonHeight));
    connect(this, &QuilletDialog::MoveWindowSignal, this, &QuilletDialog::Move);
}

void QuilletDialog::Move(QPoint deltaPos)
{
    move(x() + deltaPos.x(), y() + deltaPos.y());
}

void QuilletDialog::mousePressEvent(QMouseEvent* event)
{
    if (m_titleWidget)
        m_drag.press(this, m_titleWidget, event);
}

void QuilletDialog::mouseMoveEvent(QMouseEvent* event)
{
    QPoint delta;
    if (m_drag.move(this, event, &delta))
        emit MoveWindowSignal(delta);
}

void QuilletDialog::mouseReleaseEvent(QMouseEvent*)
{
    m_drag.release();
}

#pragma once

#include "quillet/dialogs/dialogstyle.h"

#include <QDialog>
#include <QPushButton>
#include <QWidget>

#include "quillet/widgets/screentool.h"

// The set-up every dialog does after its form: style, frameless flags,
// scaled title bar and buttons.
template <class Dialog>
void finishDialogSetup(Dialog* dialog, QuilletStyle::Dialog kind, QWidget* titleWidget,
                       std::initializer_list<QPushButton*> buttons, bool fixSize)
{
    dialog->setStyleSheet(QuilletStyle::dialogStyleSheet(kind));
    if (fixSize)
        dialog->setFixedSize(ScreenTool::scaleSize(QSize(305, 166)));
    dialog->setWindowFlags(dialog->windowFlags() | Qt::FramelessWindowHint | Qt::Dialog);
    dialog->setAttribute(Qt::WA_TranslucentBackground);
    titleWidget->setFixedHeight(ScreenTool::scale(30));
    for (QPushButton* button : buttons)
        button->setFixedHeight(ScreenTool::scale(24));
    QObject::connect(dialog, &Dialog::MoveWindowSignal, dialog, &Dialog::Move);
}

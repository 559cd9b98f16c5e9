#include "quillet/dialogs/projectstartdlg.h"

#include "quillet/dialogs/dialogsetup.h"
#include "ui_projectstartdlg.h"

#include <QMouseEvent>

ProjectStartDlg::ProjectStartDlg(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui_ProjectStartDlg>())
{
    ui->setupUi(this);
    finishDialogSetup(this, QuilletStyle::Dialog::ProjectStart, ui->titleWidget, {ui->okBtn, ui->cancelBtn},
                      false);
}

ProjectStartDlg::~ProjectStartDlg() = default;

void ProjectStartDlg::Move(QPoint delta)
{
    move(x() + delta.x(), y() + delta.y());
}

void ProjectStartDlg::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(this, ui->titleWidget, event);
}

void ProjectStartDlg::mouseMoveEvent(QMouseEvent* event)
{
    QPoint delta;
    if (m_drag.move(this, event, &delta))
        emit MoveWindowSignal(delta);
}

void ProjectStartDlg::mouseReleaseEvent(QMouseEvent*)
{
    m_drag.release();
}

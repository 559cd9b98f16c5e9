#include "quillet/dialogs/hmilogindlg.h"

#include "quillet/dialogs/dialogsetup.h"
#include "ui_hmilogindlg.h"

#include <QMouseEvent>

HmiLoginDlg::HmiLoginDlg(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui_HmiLoginDlg>())
{
    ui->setupUi(this);
    finishDialogSetup(this, QuilletStyle::Dialog::Login, ui->titleWidget, {ui->loginBtn}, true);
}

HmiLoginDlg::~HmiLoginDlg() = default;

void HmiLoginDlg::Move(QPoint delta)
{
    move(x() + delta.x(), y() + delta.y());
}

void HmiLoginDlg::UpdatePasswd()
{
    m_password = ui->passwdLineEdit->text();
    accept();
}

void HmiLoginDlg::mousePressEvent(QMouseEvent* event)
{
    m_drag.press(this, ui->titleWidget, event);
}

void HmiLoginDlg::mouseMoveEvent(QMouseEvent* event)
{
    QPoint delta;
    if (m_drag.move(this, event, &delta))
        emit MoveWindowSignal(delta);
}

void HmiLoginDlg::mouseReleaseEvent(QMouseEvent*)
{
    m_drag.release();
}

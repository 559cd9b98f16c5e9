#include "quillet/dialogs/hmilogindlg.h"

#include "quillet/dialogs/dialogstyle.h"
#include "ui_hmilogindlg.h"

HmiLoginDlg::HmiLoginDlg(QWidget* parent)
    : QuilletDialog(parent)
    , ui(std::make_unique<Ui_HmiLoginDlg>())
{
    ui->setupUi(this);
    finishSetup(QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::Login), ui->titleWidget, {ui->loginBtn}, true);
}

HmiLoginDlg::~HmiLoginDlg() = default;

void HmiLoginDlg::UpdatePasswd()
{
    m_password = ui->passwdLineEdit->text();
    accept();
}

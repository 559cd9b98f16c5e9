#include "quillet/dialogs/projectstartdlg.h"

#include "quillet/dialogs/dialogstyle.h"
#include "ui_projectstartdlg.h"

ProjectStartDlg::ProjectStartDlg(QWidget* parent)
    : QuilletDialog(parent)
    , ui(std::make_unique<Ui_ProjectStartDlg>())
{
    ui->setupUi(this);
    finishSetup(QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::ProjectStart), ui->titleWidget,
                {ui->okBtn, ui->cancelBtn}, false);
}

ProjectStartDlg::~ProjectStartDlg() = default;

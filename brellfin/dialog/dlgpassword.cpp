#include "brellfin/dialog/dlgpassword.h"

#include "brellfin/dialog/brellfinresources.h"

#include <QLineEdit>

using namespace BrellfinUi;

CDlgPassword::CDlgPassword(QWidget* parent)
    : CDialog(kPasswordDialog, parent)
{
    registerResources();
}

BOOL CDlgPassword::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Each showing starts with the text entered last, selected in the
    // focused field, so that typing replaces it and Enter (OK) sends it.
    auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kIdPassword));
    if (edit) {
        edit->setText(m_password);
        edit->selectAll();
        edit->setFocus(Qt::OtherFocusReason);
    }
    // The focus is set here.
    return FALSE;
}

void CDlgPassword::OnOK()
{
    m_password = ::GetWindowText(GetDlgItem(kIdPassword));
    EndDialog(IDOK);
}

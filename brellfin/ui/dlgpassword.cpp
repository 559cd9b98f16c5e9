#include "brellfin/ui/dlgpassword.h"

#include "brellfin/ui/brellfinresources.h"

using namespace BrellfinUi;

CDlgPassword::CDlgPassword(QWidget* parent) : CDialog(kPasswordDialog, parent)
{
    registerResources();
}

BOOL CDlgPassword::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Each showing starts with the text entered last.
    ::SetWindowText(GetDlgItem(kIdPassword), m_password);
    return TRUE;
}

void CDlgPassword::OnOK()
{
    m_password = ::GetWindowText(GetDlgItem(kIdPassword));
    EndDialog(IDOK);
}

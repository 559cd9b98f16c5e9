#pragma once

// The project password dialog: one text, kept between showings.

#include "brellfin/mfc/dialog.h"

class CDlgPassword : public CDialog {
public:
    explicit CDlgPassword(QWidget* parent = nullptr);
    CString password() const { return m_password; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    CString m_password;
};

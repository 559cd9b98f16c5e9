#pragma once

// Message boxes with Windows types and results.

#include "brellfin/mfc/mfcdefs.h"

// Shows text with caption; type holds the MB_ buttons and icon. Returns
// IDOK, IDCANCEL, IDYES or IDNO.
int MessageBox(QWidget* owner, const CString& text, const CString& caption, UINT type);
int AfxMessageBox(const CString& text, UINT type = MB_OK);

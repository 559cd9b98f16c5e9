#pragma once

// The local path box: Enter opens the typed PC folder (or the folder of a
// typed file) in the local list, or names the missing path and restores the box.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/iedit.h"

class IDialogControls;

class WinPathEdit : public CEdit, public IEdit {
public:
    explicit WinPathEdit(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }
    void initPath() override;
    void setPath(CString text) override { setText(text); }
    void getPath(CString& text) override { text = this->text(); }
    BOOL PreTranslateMessage(MSG* msg) override;

private:
    IDialogControls* m_pMgr;
};

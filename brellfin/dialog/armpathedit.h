#pragma once

// The remote path box: Enter opens the typed panel folder in the remote
// list after its checks, or refuses with a message and restores the box.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/stringid.h"

class IDialogControls;

class ArmPathEdit : public CEdit, public IEdit {
public:
    explicit ArmPathEdit(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }
    void initPath() override {}
    void setPath(CString text) override { setText(text); }
    void getPath(CString& text) override { text = this->text(); }
    BOOL PreTranslateMessage(MSG* msg) override;

private:
    // Shows the refusal and restores the box; the key goes on.
    BOOL refuse(BrellfinUi::StringId stringId);
    BOOL refuse(const CString& text);

    IDialogControls* m_pMgr;
};

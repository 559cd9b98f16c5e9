#pragma once

// The local up button: the local list shows the parent of its folder.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/ibtn.h"

class IDialogControls;

class WinPathBtn : public CButton, public IBtn {
public:
    explicit WinPathBtn(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }

protected:
    void OnClicked() override;

private:
    IDialogControls* m_pMgr;
};

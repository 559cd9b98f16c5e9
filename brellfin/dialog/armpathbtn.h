#pragma once

// The remote up button: opens the parent of the remote list's folder, never
// above the root of the area shown.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/ibtn.h"

class IDialogControls;

class ArmPathBtn : public CButton, public IBtn {
public:
    explicit ArmPathBtn(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }

protected:
    void OnClicked() override;

private:
    IDialogControls* m_pMgr;
};

#pragma once

// The remote up button: opens the parent of the remote list's folder, never
// above the root of the area shown.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/ibtn.h"
#include "brellfin/ui/idatasynchronismgr.h"

class ArmPathBtn : public CButton, public IBtn {
public:
    explicit ArmPathBtn(IDataSynchronisMgr* mgr)
        : m_pMgr(mgr)
    {
    }

protected:
    void OnClicked() override;

private:
    IDataSynchronisMgr* m_pMgr;
};

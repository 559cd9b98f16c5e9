#pragma once

// The local up button: the local list shows the parent of its folder.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/ibtn.h"
#include "brellfin/ui/idatasynchronismgr.h"

class WinPathBtn : public CButton, public IBtn {
public:
    explicit WinPathBtn(IDataSynchronisMgr* mgr)
        : m_pMgr(mgr)
    {
    }

protected:
    void OnClicked() override;

private:
    IDataSynchronisMgr* m_pMgr;
};

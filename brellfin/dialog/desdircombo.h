#pragma once

// The remote root: 0 the user area, 1 the panel's USB disk.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/icombo.h"
#include "brellfin/ui/idatasynchronismgr.h"

class DesDirCombo : public CComboBox, public ICombo {
public:
    explicit DesDirCombo(IDataSynchronisMgr* mgr)
        : m_pMgr(mgr)
    {
    }
    // Ignores its argument: reads [Path] CurPath of the dialog's settings file.
    void loadFromIni(CString iniPath) override;
    bool getState() override { return true; }

protected:
    void OnSelChange() override;

private:
    IDataSynchronisMgr* m_pMgr;
};

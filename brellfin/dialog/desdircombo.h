#pragma once

// The remote root: 0 the user area, 1 the panel's USB disk.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/icombo.h"

class IDialogControls;

class DesDirCombo : public CComboBox, public ICombo {
public:
    explicit DesDirCombo(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }
    // Ignores its argument: reads [Path] CurPath of the dialog's settings file.
    void loadFromIni(CString iniPath) override;
    bool getState() override { return true; }

protected:
    void OnSelChange() override;

private:
    IDialogControls* m_pMgr;
};

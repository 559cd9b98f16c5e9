#pragma once

// The connection type: 0 "TCP/IP Network", 1 "USB Communication".

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/icombo.h"
#include "brellfin/ui/idatasynchronismgr.h"

class ConnectTypeCombo : public CComboBox, public ICombo {
public:
    explicit ConnectTypeCombo(IDataSynchronisMgr* mgr)
        : m_pMgr(mgr)
    {
    }
    void loadFromIni(CString iniPath) override;
    bool getState() override { return m_network; }

protected:
    void OnSelChange() override;

private:
    void apply(bool network);

    IDataSynchronisMgr* m_pMgr;
    bool m_network = true;
};

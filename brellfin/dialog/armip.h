#pragma once

// The panel address control of the connection bar.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/idatasynchronismgr.h"

class ArmIP : public CIPAddressCtrl {
public:
    explicit ArmIP(IDataSynchronisMgr* mgr)
        : m_pMgr(mgr)
    {
    }
    // The last address of the settings file ([ip] ipInfo).
    void loadFromIni(const CString& iniPath);
    void setAddress(const CString& text) { setText(text); }
    // The typed address for TCP/IP; the fixed USB address otherwise.
    CString addressText();

private:
    IDataSynchronisMgr* m_pMgr;
};

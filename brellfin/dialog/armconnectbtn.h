#pragma once

// The connect button: one press connects to the panel (type and address
// from the connection bar, the project password when the panel asks for
// one, the remembered folder opened, the choice written to the settings
// file), or drops the connection that stands.

#include "brellfin/mfc/controls.h"
#include "brellfin/ui/ibtn.h"

class IDialogControls;

class ArmConnectBtn : public CButton, public IBtn {
public:
    explicit ArmConnectBtn(IDialogControls* mgr)
        : m_pMgr(mgr)
    {
    }
    void onClicked();
    // The press at start-up; false when it did not connect.
    bool connectOnStart();

protected:
    void OnClicked() override { onClicked(); }

private:
    void log(const CString& text);
    void failConnect(const CString& type, const CString& address);

    IDialogControls* m_pMgr;
    bool m_connectOk = true;
};

#pragma once

// The tool's one dialog: the connection bar, the PC's files on the left,
// the panel's files on the right and the transfer tab below. It owns every
// control and the session facade, and is the IDataSynchronisMgr (as
// IDialogControls) through which they reach each other.

#include "brellfin/dialog/armconnectbtn.h"
#include "brellfin/dialog/armfilelist.h"
#include "brellfin/dialog/armip.h"
#include "brellfin/dialog/armpathbtn.h"
#include "brellfin/dialog/armpathedit.h"
#include "brellfin/dialog/connecttypecombo.h"
#include "brellfin/dialog/desdircombo.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/transinfotab.h"
#include "brellfin/dialog/winpathbtn.h"
#include "brellfin/dialog/winpathedit.h"
#include "brellfin/dialog/winshelllist.h"
#include "brellfin/mfc/controls.h"
#include "brellfin/mfc/dialog.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/idatasynchronismgr.h"

class CBrellfinDlg : public CDialog, public IDialogControls {
public:
    explicit CBrellfinDlg(QWidget* parent = nullptr);
    // Ends a running batch and releases the session before any control goes.
    ~CBrellfinDlg() override;

    // IDataSynchronisMgr
    IEdit* localPathEdit() override { return &m_localPathEdit; }
    WinShellList* localList() override { return &m_localList; }
    IEdit* remotePathEdit() override { return &m_remotePathEdit; }
    ArmFileList* remoteList() override { return &m_remoteList; }
    FileServiceClient* fileService() override { return &m_fileService; }
    ArmIP* addressControl() override { return &m_addressCtrl; }
    TransInfoTab* transInfoTab() override { return &m_transInfoTab; }
    void setConnectState(bool connected, bool apply) override;
    CWnd* dlgItem(int id) override { return GetDlgItem(id); }
    ICombo* connectTypeCombo() override { return &m_connectTypeCombo; }
    ICombo* destDirCombo() override { return &m_destDirCombo; }
    CString iniFilePath() override { return m_iniPath; }

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    bool connectedState() const { return m_connected; }
    ArmConnectBtn& connectButton() { return m_connectBtn; }
    CStatic& statusPicture() { return m_statusPicture; }

    void OnLocalRefresh();
    void OnRemoteRefresh();
    void showConnectStatus(bool connected);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    void OnOK() override {}
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void releaseSession();

    WinShellList m_localList;
    ArmFileList m_remoteList;
    WinPathEdit m_localPathEdit;
    WinPathBtn m_localUpBtn;
    FileServiceClient m_fileService;
    ArmPathEdit m_remotePathEdit;
    ArmPathBtn m_remoteUpBtn;
    ArmConnectBtn m_connectBtn;
    ArmIP m_addressCtrl;
    TransInfoTab m_transInfoTab;
    ConnectTypeCombo m_connectTypeCombo;
    DesDirCombo m_destDirCombo;
    CStatic m_statusPicture;
    CString m_iniPath;
    bool m_connected = false;
    CStatic m_vertBar;
    CStatic m_horzBar;
};

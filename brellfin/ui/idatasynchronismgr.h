#pragma once

// The main dialog as its controls reach it: the other controls, the session
// facade and the settings file path. The getters only hand out addresses of
// the dialog's members and may be called from any thread; setConnectState and
// dlgItem belong to the UI thread.

#include <QString>

using CString = QString;

class QWidget;
// A child window of the dialog.
using CWnd = QWidget;

class FileServiceClient;
class ICombo;
class IEdit;
class IFileNotify;
class IListCtrl;
class IQueueView;

class IDataSynchronisMgr {
public:
    virtual ~IDataSynchronisMgr() = default;
    virtual IEdit* localPathEdit() = 0;
    // The PC-side list (the dialog's WinShellList).
    virtual IFileNotify* localList() = 0;
    virtual IEdit* remotePathEdit() = 0;
    // The panel-side list (the dialog's ArmFileList).
    virtual IListCtrl* remoteList() = 0;
    virtual FileServiceClient* fileService() = 0;
    // The panel address control (the dialog's ArmIP).
    virtual CWnd* addressControl() = 0;
    // The queue and log tab (the dialog's TransInfoTab).
    virtual IQueueView* transInfoTab() = 0;
    // Switches the window between its connected and disconnected states;
    // nothing happens when apply is false.
    virtual void setConnectState(bool connected, bool apply) = 0;
    virtual CWnd* dlgItem(int id) = 0;
    virtual ICombo* connectTypeCombo() = 0;
    virtual ICombo* destDirCombo() = 0;
    // The full path of "ip_config.ini" (a copy).
    virtual CString iniFilePath() = 0;
};

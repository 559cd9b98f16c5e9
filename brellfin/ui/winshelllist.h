// The PC-side file list, as far as the main dialog and its controls reach
// it: the shell list with the tool's columns, the folder shown, and the
// batch calls of the queue. Its commands and transfers come with the file lists.
#pragma once

#include "brellfin/mfc/shelllistctrl.h"
#include "brellfin/ui/idatasynchronismgr.h"
#include "brellfin/ui/ifilenotify.h"

#include <atomic>
#include <string>
#include <vector>

class WinShellList : public CMFCShellListCtrl, public IFileNotify {
public:
    explicit WinShellList(IDataSynchronisMgr* owner);

    void navigateTo(const CString& path);
    HRESULT goUp();
    CString currentFolderName();
    std::string currentPathUtf8();
    CString currentPath() const { return m_currentPath; }

    bool isTransferring() const { return m_transferring; }
    void setTransferring(bool value) { m_transferring = value; }
    void setProgressTick() { m_progressTick = true; }
    bool progressTick() const { return m_progressTick; }
    void pauseTransfers();
    void resumeTransfers() {}
    void removeTransfers(const std::vector<int>& rows);

    // IFileNotify
    void onTransferStarted(const std::string&) override {}
    void onTransferProgress(const std::string&, double) override {}
    void onTransferFileDone(const std::string&) override {}
    void onTransferAllDone() override { m_transferring = false; }
    void onTransferFailed(unsigned int) override { m_transferring = false; }

protected:
    void OnSetColumns() override;

private:
    IDataSynchronisMgr* m_owner;
    CString m_currentPath;
    std::atomic<bool> m_transferring{false};
    std::atomic<bool> m_progressTick{false};
};

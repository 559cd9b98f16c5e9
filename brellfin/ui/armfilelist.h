// The panel-side file list, as far as the main dialog and its controls
// reach it: the current panel folder and its root, a plain listing of
// folders and files, and the batch calls of the queue. Its full listing,
// commands and transfers come with the file lists.
#pragma once

#include "brellfin/mfc/listctrl.h"
#include "brellfin/ui/idatasynchronismgr.h"
#include "brellfin/ui/ifilenotify.h"
#include "brellfin/ui/ilistctrl.h"

#include <atomic>
#include <string>
#include <vector>

class ArmFileList : public CListCtrl, public IListCtrl, public IFileNotify {
public:
    explicit ArmFileList(IDataSynchronisMgr* owner);

    // IListCtrl
    void initList() override;
    void setCurrentPath(const CString& path) override;
    std::string currentPath() override;
    void deleteAllItems() override;
    bool isTransferring() override { return m_transferring; }

    void setTransferring(bool value) { m_transferring = value; }
    // The root of the area shown: "/storage/user_dir" or the USB disk's mount folder.
    std::string rootPathUtf8() const { return m_rootPath; }
    void setProgressTick() { m_progressTick = true; }
    bool progressTick() const { return m_progressTick; }
    void cancelTransfers();
    void resumeTransfers() {}
    void removeTransfers(const std::vector<int>& rows);

    // IFileNotify
    void onTransferStarted(const std::string&) override {}
    void onTransferProgress(const std::string&, double) override {}
    void onTransferFileDone(const std::string&) override {}
    void onTransferAllDone() override { m_transferring = false; }
    void onTransferFailed(unsigned int) override { m_transferring = false; }

private:
    IDataSynchronisMgr* m_owner;
    std::string m_currentPath;
    std::string m_rootPath = "/storage/user_dir";
    std::atomic<bool> m_transferring{false};
    std::atomic<bool> m_progressTick{false};
};

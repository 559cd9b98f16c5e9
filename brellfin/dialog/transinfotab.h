#pragma once

// The transfer tab below the two panes: the queue page and the log page.
// The lists fill and update the queue through it, also from their transfer
// threads: setCell and appendLog then reach the window on the UI thread.

#include "brellfin/dialog/transinfo.h"
#include "brellfin/dialog/transinfolist.h"
#include "brellfin/lists/transferrecord.h"
#include "brellfin/mfc/controls.h"

#include <vector>

class IDataSynchronisMgr;

class TransInfoTab : public CTabCtrl {
public:
    explicit TransInfoTab(IDataSynchronisMgr* mgr);

    void initPages();
    void layoutPages();
    void appendLog(const CString& text);
    void addRecords(const std::vector<TransferRecord>& records);
    void setCell(int row, int column, const CString& text);
    void clearQueue();
    int pendingAction() const;
    void resetPendingAction();

    IDataSynchronisMgr* mgr() const { return m_pMgr; }
    TransInfoList& listPage() { return m_listPage; }
    TransInfo& logPage() { return m_logPage; }

    // The remote-path cell of a real panel path.
    static CString remotePathCell(const CString& remotePath);

protected:
    void OnSelChange() override;

private:
    IDataSynchronisMgr* m_pMgr;
    TransInfoList m_listPage;
    TransInfo m_logPage;
};

#pragma once

// The transfer tab below the two panes: the queue page and the log page.
// The lists fill and update the queue through it (IQueueView), also from
// their transfer threads: setCell and appendLog then reach the window on the
// UI thread.

#include "brellfin/dialog/transinfo.h"
#include "brellfin/dialog/transinfolist.h"
#include "brellfin/mfc/controls.h"
#include "brellfin/ui/iqueueview.h"
#include "brellfin/ui/transferrecord.h"

#include <vector>

class IDialogControls;

class TransInfoTab : public CTabCtrl, public IQueueView {
public:
    explicit TransInfoTab(IDialogControls* mgr);

    void initPages();
    void layoutPages();
    // IQueueView
    void appendLog(const CString& text) override;
    void addRecords(const std::vector<TransferRecord>& records) override;
    void setCell(int row, int column, const CString& text) override;
    void clearQueue() override;
    int pendingAction() const override;
    void resetPendingAction() override;

    IDialogControls* mgr() const { return m_pMgr; }
    TransInfoList& listPage() { return m_listPage; }
    TransInfo& logPage() { return m_logPage; }

    // The remote-path cell of a real panel path.
    static CString remotePathCell(const CString& remotePath);

protected:
    void OnSelChange() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    IDialogControls* m_pMgr;
    TransInfoList m_listPage;
    TransInfo m_logPage;
};

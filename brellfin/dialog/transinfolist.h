#pragma once

// The queue page of the transfer tab: one row per queued transfer, and the
// context menu that turns pause, continue, delete and delete all into
// calls on the list that owns the running batch.

#include "brellfin/mfc/dialog.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/ui/transferrecord.h"

#include <QStringList>

#include <atomic>
#include <vector>

class TransInfoTab;

class TransInfoList : public CDialogEx {
public:
    explicit TransInfoList(TransInfoTab* tab);

    CListCtrl& list() { return m_list; }
    int pendingAction() const { return m_pendingAction.load(); }
    void setPendingAction(int action) { m_pendingAction = action; }
    const std::vector<int>& selection() const { return m_selection; }

    // Gives the columns their shares of the page's width anew, once the page
    // has its place in the tab.
    void fitColumnsToPage();

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(int ctrlId, int code, int row, int column) override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;

private:
    void onContextMenu(int row);
    void onPause();
    void onContinue();
    void onDelete();
    void onDeleteAll();
    // The columns' widths on a page w pixels wide.
    std::vector<int> columnWidths(int w) const;
    // Widens the columns whose texts would be cut, at the paths' expense.
    void fitColumnWidths(std::vector<int>& widths, const std::vector<QStringList>& texts) const;
    bool localBatch() const;
    bool remoteBatch() const;

    CListCtrl m_list;
    std::atomic<int> m_pendingAction{PendingNone};
    std::vector<int> m_selection;
    TransInfoTab* m_tab;
};

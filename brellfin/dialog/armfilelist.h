#pragma once

// The panel-side pane: one folder of the panel below the user area or a USB
// disk, with its commands (menus, keys, new, rename in place, delete, copy
// and paste between the panes) and the transfers of its files to the PC
// (command, double click, drag to the PC pane, paste there), whose progress
// comes back through a poster on this list's thread.

#include "brellfin/lists/filelistcommon.h"
#include "brellfin/lists/remotelisting.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/listdragsource.h"
#include "brellfin/service/serviceconstants.h"
#include "brellfin/ui/ilistctrl.h"

#include <memory>
#include <string>
#include <vector>

class IDialogControls;

// IFileNotify (through ListTransfers): reports of the current batch, on
// this list's thread.
class ArmFileList : public CListCtrl,
                    public IListCtrl,
                    public BrellfinLists::ListTransfers,
                    private BrellfinLists::ListCommands,
                    private ListDragSource::Handler {
public:
    struct RemoteItem {
        CString path;
        bool isFile = false;
    };

    explicit ArmFileList(IDialogControls* owner);
    ~ArmFileList() override;

    // IListCtrl
    void initList() override;
    void setCurrentPath(const CString& path) override;
    std::string currentPath() override;
    void deleteAllItems() override;
    bool isTransferring() override { return m_transferring; }

    virtual void setTransferring(bool value) { m_transferring = value; }
    // The root of the area shown, in UTF-8.
    std::string rootPathUtf8() const;

    // Copy and paste between the panes.
    bool isCopied() const { return m_copied; }
    void setCopied(bool value) { m_copied = value; }

    // Transfers to the PC's folder and the queue tab's commands.
    void transferSelection();
    void transferClipboard();
    void cancelTransfers();
    void resumeTransfers();
    void removeTransfers(const std::vector<int>& rows);

    void refreshList();

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // For tests.
    const std::vector<RemoteItem>& selection() const { return m_selection; }
    const BrellfinLists::RenameEdit& rename() const { return m_rename; }
    bool isDragging() const { return m_drag.isDragging(); }

protected:
    void OnClick(int row, int column) override;
    void OnRClick(int row, int column) override;
    void OnDblClk(int row, int column) override;
    void OnColumnClick(int column) override;

private:
    // BatchNotifyTarget: the reports that differ between the panes, with their batch.
    void batchFileDone(int batch, const std::string& localPath) override;
    void batchAllDone(int batch) override;
    void batchFailed(int batch, unsigned int code) override;
    // ListDragSource::Handler
    void OnBeginDrag(int row, const QPoint& point) override;
    void OnDragMouseMove(const QPoint& point) override;
    void OnDragLButtonUp(const QPoint& point) override;

    void fillFiles(const std::vector<RemoteEntry>& entries, int firstRow);
    void sortItems(bool toggle);
    void rebuildSelection();
    RemoteItem itemOfRow(int row) const;
    // The row was listed as a file (the parent row and folders are not).
    bool isFileRow(int row) const;
    void navigate(const CString& path);
    void startFetch(const std::vector<std::pair<std::string, std::string>>& jobs);

    // ListCommands
    void onTransport() override;
    void onCopy() override;
    void onPaste() override;
    void onRename() override;
    void onDelete() override;
    void onSelectAll() override;
    void onRefresh() override;
    void onNewFolder() override;
    void onNewFile() override;
    void newItem(bool folder);
    // The log and a warning box say that the panel could not be asked about
    // path, and that nothing was done there.
    void reportUnchecked(const CString& path);
    void beginRename();
    void endRename();
    void commitRename();

    IDialogControls* m_owner;
    CString m_currentPath = QString::fromLatin1(BrellfinService::kUserDirRoot);
    CString m_rootPath;
    // The editor reaches 1 past the label's right edge.
    BrellfinLists::RenameEdit m_rename{this, 1};
    bool m_copied = false;
    std::vector<RemoteItem> m_selection;
    std::vector<RemoteItem> m_clipboard;
    BrellfinLists::SelectionDrag m_drag;
};

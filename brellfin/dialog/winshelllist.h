#pragma once

// The PC-side pane: one folder of the shell namespace, with its commands
// (menus, keys, copy and paste, new, rename in place, delete) on the PC's
// files and the transfers of its files to the panel (command, double click,
// drag to the panel pane, paste there), whose progress comes back through a
// poster on this list's thread. A symbolic link is the shortcut.

#include "brellfin/lists/filelistcommon.h"
#include "brellfin/mfc/listdragsource.h"
#include "brellfin/mfc/mfcshelllistctrl.h"

#include <memory>
#include <string>
#include <vector>

class IDialogControls;

// IFileNotify (through ListTransfers): reports of the current batch, on
// this list's thread.
class WinShellList : public CMFCShellListCtrl,
                     public BrellfinLists::ListTransfers,
                     private BrellfinLists::ListCommands,
                     private ListDragSource::Handler {
public:
    struct LocalItem {
        CString path;
        bool isFile = false;
        bool isShortcut = false;
    };

    explicit WinShellList(IDialogControls* owner);
    ~WinShellList() override;

    void navigateTo(const CString& path);
    HRESULT goUp();
    CString currentFolderName();
    // The folder shown with a final "/" (added to the member too); empty for
    // a folder without a file-system path.
    std::string currentPathUtf8();
    CString currentPath() const { return m_currentPath; }

    bool isCopied() const { return m_copied; }
    void setCopied(bool value) { m_copied = value; }
    bool isTransferring() const { return m_transferring; }
    void setTransferring(bool value) { m_transferring = value; }

    void transferSelection();
    void transferClipboard();
    void pauseTransfers();
    void resumeTransfers();
    void removeTransfers(const std::vector<int>& rows);

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // For tests.
    const std::vector<LocalItem>& selection() const { return m_selection; }
    const BrellfinLists::RenameEdit& rename() const { return m_rename; }

protected:
    void OnSetColumns() override;
    void OnClick(int row, int column) override;
    void OnRClick(int row, int column) override;
    void OnDblClk(int row, int column) override;

private:
    void batchFileDone(int batch, const std::string& localPath) override;
    void batchAllDone(int batch) override;
    void batchFailed(int batch, unsigned int code) override;
    void OnBeginDrag(int row, const QPoint& point) override;
    void OnDragMouseMove(const QPoint& point) override;
    void OnDragLButtonUp(const QPoint& point) override;

    bool isShortcutRow(int row) const;
    LocalItem itemOfRow(int row) const;
    // Re-reads the folder (unless told not to) and the selected items;
    // true when one of them is a system entry (anything but a file, a
    // folder or a link to a file), shortcuts counted only when asked.
    bool snapshot(bool rereadFolder, bool countShortcuts);
    void transferItems(const std::vector<LocalItem>& items, const CString& folder);
    void startSend(const std::vector<std::pair<std::string, std::string>>& jobs);
    void refreshRemote();
    CString folderWithSlash() const;

    // ListCommands; paste copies into the folder shown.
    void onTransport() override;
    void onCopy() override;
    void onPaste() override { pasteIntoFolder(); }
    void pasteIntoFolder();
    void onRename() override;
    void onDelete() override;
    void onSelectAll() override;
    void onRefresh() override;
    void onNewFolder() override;
    void onNewFile() override;
    void selectAndRename(const CString& name);
    void beginRename();
    void endRename();
    void commitRename();

    // The editor reaches 2 past the label's right edge.
    BrellfinLists::RenameEdit m_rename{this, 2};
    std::vector<LocalItem> m_selection;
    std::vector<LocalItem> m_clipboard;
    // The folder the clipboard's items were copied in, with a final "/".
    CString m_clipboardFolder;
    bool m_copied = false;
    CString m_currentPath;
    IDialogControls* m_owner;
    BrellfinLists::SelectionDrag m_drag;
};

#include "brellfin/dialog/winshelllist.h"

#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/lists/filelistcommon.h"
#include "brellfin/lists/listconstants.h"
#include "brellfin/lists/listmenus.h"
#include "brellfin/lists/remotetree.h"
#include "brellfin/lists/uniquename.h"
#include "brellfin/mfc/menu.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/service/localfiles.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/iqueueview.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/winfile/localtree.h"
#include "brellfin/winfile/winfile.h"

#include <QFile>

#include <cerrno>
#include <optional>

using BrellfinUi::StringId;

using namespace BrellfinLists;

namespace {

CString lastComponent(const CString& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

} // namespace

WinShellList::WinShellList(IDialogControls* owner)
    : ListTransfers(this, owner)
    , m_currentPath(Mfc::ShellNamespace::desktopPath())
    , m_owner(owner)
    , m_drag(this, this)
{
    BrellfinLists::registerListMenus();
}

WinShellList::~WinShellList() = default;

void WinShellList::OnSetColumns()
{
    while (GetColumnCount() > 0)
        DeleteColumn(0);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    insertFileColumns(*this);
}

void WinShellList::navigateTo(const CString& path)
{
    m_currentPath = path;
    DisplayFolder(path);
}

HRESULT WinShellList::goUp()
{
    const HRESULT result = DisplayParentFolder();
    CString folder;
    GetCurrentFolder(folder);
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    m_currentPath = folder;
    return result;
}

CString WinShellList::currentFolderName()
{
    CString name;
    GetCurrentFolderName(name);
    return name;
}

std::string WinShellList::currentPathUtf8()
{
    if (!m_currentPath.isEmpty() && !m_currentPath.endsWith('/'))
        m_currentPath += '/';
    return utf8(m_currentPath);
}

CString WinShellList::folderWithSlash() const
{
    return m_currentPath.isEmpty() || m_currentPath.endsWith('/') ? m_currentPath : m_currentPath + '/';
}

bool WinShellList::isShortcutRow(int row) const
{
    const CString type = GetItemText(row, 2);
    return type.compare(loadLocalizedString(StringId::Shortcut), Qt::CaseInsensitive) == 0
           || type.compare(QString::fromUtf8(kChineseShortcutType), Qt::CaseInsensitive) == 0;
}

WinShellList::LocalItem WinShellList::itemOfRow(int row) const
{
    LocalItem item;
    GetItemPath(item.path, row);
    item.isShortcut = isShortcutRow(row);
    const DWORD attributes = GetFileAttributesW(item.path);
    item.isFile = item.isShortcut || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    return item;
}

bool WinShellList::snapshot(bool rereadFolder, bool countShortcuts)
{
    if (rereadFolder) {
        GetCurrentFolder(m_currentPath);
        if (!m_currentPath.isEmpty() && !m_currentPath.endsWith('/'))
            m_currentPath += '/';
    } else if (!m_currentPath.isEmpty() && !m_currentPath.endsWith('/')) {
        m_currentPath += '/';
    }
    m_selection.clear();
    bool system = false;
    for (int row = 0; row < GetItemCount(); ++row) {
        if (!(GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED))
            continue;
        const LocalItem item = itemOfRow(row);
        const DWORD attributes = GetFileAttributesW(item.path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SYSTEM)
            && (countShortcuts || !item.isShortcut))
            system = true;
        m_selection.push_back(item);
    }
    return system;
}

void WinShellList::OnClick(int row, int column)
{
    if (!m_rename.isEditing()) {
        if (row >= 0 && row < GetItemCount())
            m_selection = {itemOfRow(row)};
        else
            m_selection.clear();
    } else if (m_rename.clickLeaves(row, column)) {
        commitRename();
    }
    m_rename.setItem(row);
}

void WinShellList::OnDblClk(int row, int)
{
    if (row < 0 || row >= GetItemCount())
        return;
    CString path;
    GetItemPath(path, row);
    const CString name = GetItemText(row, 0);
    const Mfc::ShellEntry* entry = entryAt(row);
    const auto open = [&] {
        if (entry && entry->location)
            DisplayFolder(*entry->location);
    };
    if (path.isEmpty()) {
        m_currentPath.clear();
        if (IEdit* box = m_owner->localPathEdit())
            box->setPath(name);
        if (CWnd* title = m_owner->dlgItem(kIdLocalTitle))
            SetWindowText(title, shortenForDisplay(name));
        open();
        return;
    }
    if (isShortcutRow(row)) {
        const CString target = Mfc::ShellNamespace::resolveShortcut(path);
        const DWORD attributes = GetFileAttributesW(target);
        const bool file = !target.isEmpty() && attributes != INVALID_FILE_ATTRIBUTES
                          && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!file) {
            if (CWnd* box = m_owner->dlgItem(kIdLocalPathBox))
                SetWindowText(box, target);
            if (CWnd* title = m_owner->dlgItem(kIdLocalTitle))
                SetWindowText(title, name);
            navigateTo(target);
            return;
        }
        if (m_transferring)
            return;
        m_currentPath = folderWithSlash();
        m_selection = {LocalItem{path, true, true}};
        transferSelection();
        return;
    }
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (IEdit* box = m_owner->localPathEdit())
            box->setPath(path);
        if (CWnd* title = m_owner->dlgItem(kIdLocalTitle))
            SetWindowText(title, shortenForDisplay(name));
        m_currentPath = path.endsWith('/') ? path : path + '/';
        open();
        return;
    }
    if (m_transferring)
        return;
    m_currentPath = folderWithSlash();
    m_selection = {LocalItem{path, true, false}};
    transferSelection();
}

// Commands.

void WinShellList::OnRClick(int row, int)
{
    endRename();
    m_rename.setItem(row);
    const bool system = snapshot(true, false);
    CMenu menu;
    if (!menu.LoadMenu(row == -1 ? kAreaMenu : kItemMenu))
        return;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup)
        return;
    if (m_currentPath.isEmpty() || system) {
        for (UINT command : {kCmdTransport, kCmdCopy, kCmdPaste, kCmdAreaPaste, kCmdRename, kCmdDelete})
            popup->EnableMenuItem(command, MF_GRAYED);
        // Without a file-system folder nothing can be made either.
        if (m_currentPath.isEmpty()) {
            popup->EnableMenuItem(kCmdNewFolder, MF_GRAYED);
            popup->EnableMenuItem(kCmdNewFile, MF_GRAYED);
        }
    } else {
        ArmFileList* remote = m_owner->remoteList();
        if (m_copied || (remote && remote->isCopied())) {
            popup->EnableMenuItem(kCmdPaste, MF_ENABLED);
            popup->EnableMenuItem(kCmdAreaPaste, MF_ENABLED);
        }
        FileServiceClient* fs = m_owner->fileService();
        if (!m_transferring && !m_selection.empty() && fs && fs->isConnected())
            popup->EnableMenuItem(kCmdTransport, MF_ENABLED);
        if (m_selection.size() == 1)
            popup->EnableMenuItem(kCmdRename, MF_ENABLED);
        if (!m_selection.empty()) {
            popup->EnableMenuItem(kCmdCopy, MF_ENABLED);
            popup->EnableMenuItem(kCmdDelete, MF_ENABLED);
        }
    }
    QPoint cursor;
    GetCursorPos(&cursor);
    popup->TrackPopupMenu(TPM_LEFTALIGN, cursor.x(), cursor.y(), this, this);
    menu.DestroyMenu();
}

BOOL WinShellList::OnCommand(WPARAM wParam, LPARAM)
{
    return runCommand(UINT(wParam)) ? TRUE : FALSE;
}

BOOL WinShellList::PreTranslateMessage(MSG* msg)
{
    if (msg->message != WM_KEYDOWN)
        return CMFCShellListCtrl::PreTranslateMessage(msg);
    const UINT key = UINT(msg->wParam);
    const bool ctrl = controlHeld();
    const bool letter = ctrl && (key == 'C' || key == 'V' || key == 'A');
    if (!letter && key != VK_F2 && key != VK_RETURN && key != VK_DELETE)
        return CMFCShellListCtrl::PreTranslateMessage(msg);
    // While a name is edited, keys belong to the editor: only Enter acts.
    if (m_rename.isEditing()) {
        if (key == VK_RETURN) {
            commitRename();
            return TRUE;
        }
        return CMFCShellListCtrl::PreTranslateMessage(msg);
    }
    if (snapshot(true, true))
        return CMFCShellListCtrl::PreTranslateMessage(msg);
    if (ctrl && key == 'C')
        onCopy();
    else if (ctrl && key == 'V')
        pasteIntoFolder();
    else if (ctrl && key == 'A')
        onSelectAll();
    else if (key == VK_F2)
        onRename();
    else if (key == VK_DELETE)
        onDelete();
    return CMFCShellListCtrl::PreTranslateMessage(msg);
}

void WinShellList::onTransport()
{
    transferSelection();
}

void WinShellList::onSelectAll()
{
    for (int row = 0; row < GetItemCount(); ++row)
        SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

void WinShellList::onRefresh()
{
    Refresh();
}

void WinShellList::onCopy()
{
    ArmFileList* remote = m_owner->remoteList();
    if (remote && remote->isCopied())
        remote->setCopied(false);
    if (!m_selection.empty()) {
        m_clipboard = m_selection;
        m_clipboardFolder = folderWithSlash();
        m_copied = true;
    }
}

void WinShellList::pasteIntoFolder()
{
    const CString folder = folderWithSlash();
    if (m_copied && !folder.isEmpty()) {
        bool ok = true;
        const auto taken = [&](const CString& name) { return PathFileExistsW(folder + name) != 0; };
        for (const LocalItem& item : m_clipboard) {
            CString name = lastComponent(item.path);
            if (!item.isFile) {
                name = uniqueName(name, loadLocalizedString(StringId::CopySuffix), true, taken);
                const CString target = folder + name;
                if (LocalTree::copyLocalTree(item.path, target) == 1) {
                    m_queue.log(item.path + ' ' + loadLocalizedString(StringId::CopiedTo) + ' ' + target);
                } else {
                    ok = false;
                    m_queue.log(item.path + ' ' + loadLocalizedString(StringId::FolderPasteFailed));
                    MessageBox(this, loadLocalizedString(StringId::FolderPasteFailed),
                               loadLocalizedString(StringId::Warning), MB_ICONEXCLAMATION);
                }
            } else {
                name = uniqueName(name, loadLocalizedString(StringId::CopySuffix), false, taken);
                const CString target = folder + name;
                if (CopyFileW(item.path, target, TRUE)) {
                    m_queue.log(item.path + ' ' + loadLocalizedString(StringId::CopiedTo) + ' ' + target);
                } else {
                    ok = false;
                    m_queue.log(item.path + loadLocalizedString(StringId::FilePasteFailed));
                    MessageBox(this, loadLocalizedString(StringId::FilePasteFailed),
                               loadLocalizedString(StringId::Warning), MB_ICONEXCLAMATION);
                }
            }
        }
        if (ok)
            Refresh();
    }
    ArmFileList* remote = m_owner->remoteList();
    if (remote && remote->isCopied() && !folder.isEmpty())
        remote->transferClipboard();
}

void WinShellList::selectAndRename(const CString& name)
{
    for (int row = 0; row < GetItemCount(); ++row) {
        if (GetItemText(row, 0).compare(name, Qt::CaseInsensitive) == 0) {
            m_rename.setItem(row);
            SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
            beginRename();
            return;
        }
    }
}

void WinShellList::onNewFolder()
{
    const CString folder = folderWithSlash();
    if (folder.isEmpty())
        return;
    const CString name = uniqueName(loadLocalizedString(StringId::NewFolder), QString(), true,
                                    [&](const CString& n) { return PathFileExistsW(folder + n) != 0; });
    if (CreateDirectoryW(folder + name)) {
        m_queue.log(name + ' ' + loadLocalizedString(StringId::CreatedSuccessfully));
        Refresh();
        selectAndRename(name);
    } else {
        m_queue.log(name + ' ' + loadLocalizedString(StringId::CreatedFailed));
        MessageBox(this, loadLocalizedString(StringId::FolderCreateFailed), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
    }
}

void WinShellList::onNewFile()
{
    const CString folder = folderWithSlash();
    if (folder.isEmpty())
        return;
    const CString name = uniqueName(QString::fromLatin1(kNewFileName), QString(), false,
                                    [&](const CString& n) { return PathFileExistsW(folder + n) != 0; });
    QFile file(folder + name);
    // Made exclusively: a file that appeared meanwhile is never emptied.
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        file.close();
        m_queue.log(name + ' ' + loadLocalizedString(StringId::CreatedSuccessfully));
        Refresh();
        selectAndRename(name);
    } else {
        m_queue.log(name + ' ' + loadLocalizedString(StringId::CreatedFailed));
        MessageBox(this, loadLocalizedString(StringId::FileCreateFailed), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
    }
}

void WinShellList::onRename()
{
    if (m_selection.size() == 1)
        beginRename();
}

void WinShellList::beginRename()
{
    m_rename.begin();
}

void WinShellList::endRename()
{
    m_rename.end();
}

void WinShellList::commitRename()
{
    if (!m_rename.isEditing())
        return;
    QLineEdit* editor = m_rename.editor();
    CString oldPath;
    if (!editor || !m_rename.itemIsRow() || !GetItemPath(oldPath, m_rename.item()) || oldPath.isEmpty()) {
        // No item with a path is being edited: nothing to rename.
        endRename();
        return;
    }
    const CString oldName = GetItemText(m_rename.item(), 0);
    const CString newName = editor->text();
    const CString trimmed = newName.trimmed();
    if (newName.isEmpty() || trimmed == oldName) {
        m_rename.restore(oldName);
        endRename();
        Refresh();
        return;
    }
    const CString newPath = oldPath.left(oldPath.lastIndexOf('/') + 1) + trimmed;
    if (trimmed.isEmpty() || trimmed.contains('/') || trimmed == QLatin1String(".") || trimmed == QLatin1String("..")) {
        m_queue.log(oldPath + ' ' + loadLocalizedString(StringId::RenameFailed));
        MessageBox(this, loadLocalizedString(StringId::RenameFailed), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
        m_rename.restore(oldName);
    } else if (newPath.compare(oldPath, Qt::CaseInsensitive) == 0) {
        // Only the case differs: nothing is renamed.
    } else if (PathFileExistsW(newPath)) {
        MessageBox(this, loadLocalizedString(StringId::RenameTargetExists), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
        m_rename.restore(oldName);
    } else if (_wrename(oldPath, newPath) == 0) {
        m_queue.log(oldPath + ' ' + loadLocalizedString(StringId::RenamedTo) + ' ' + newPath);
    } else if (errno == EEXIST) {
        // The target appeared after the check; it is never replaced.
        MessageBox(this, loadLocalizedString(StringId::RenameTargetExists), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
        m_rename.restore(oldName);
    } else {
        m_queue.log(oldPath + ' ' + loadLocalizedString(StringId::RenameFailed));
        MessageBox(this, loadLocalizedString(StringId::RenameFailed), loadLocalizedString(StringId::Warning),
                   MB_ICONEXCLAMATION);
    }
    endRename();
    Refresh();
}

void WinShellList::onDelete()
{
    if (!m_selection.empty()) {
        if (!confirmDelete(this, m_selection.size(), m_selection[0].isFile))
            return;
        for (const LocalItem& item : m_selection) {
            const bool removed = item.isFile ? DeleteFileW(item.path) != 0 : LocalTree::deleteLocalTree(item.path) == 1;
            m_queue.log(item.path + ' '
                        + loadLocalizedString(removed ? StringId::DeletedSuccessfully : StringId::DeletedFailed));
            if (!removed)
                MessageBox(this,
                           loadLocalizedString(item.isFile ? StringId::FileDeleteFailed : StringId::FolderDeleteFailed),
                           loadLocalizedString(StringId::Warning), MB_ICONEXCLAMATION);
        }
    }
    Refresh();
}

// Transfers from the PC to the panel.

void WinShellList::transferClipboard()
{
    transferItems(m_clipboard, m_clipboardFolder);
}

void WinShellList::transferSelection()
{
    transferItems(m_selection, folderWithSlash());
}

void WinShellList::transferItems(const std::vector<LocalItem>& items, const CString& folder)
{
    FileServiceClient* fs = m_owner->fileService();
    if (!fs || !fs->isConnected() || m_transferring)
        return;
    ArmFileList* remote = m_owner->remoteList();
    if (!remote)
        return;
    if (remote->isTransferring()) {
        MessageBox(this, loadLocalizedString(StringId::UploadingPleaseWait), loadLocalizedString(StringId::Information),
                   MB_ICONEXCLAMATION);
        return;
    }
    m_transferring = true;
    m_queue.rows().clear();
    const std::string remoteFolder = remote->currentPath();
    // The item's path below folder, as a panel path part: "/name/...".
    const auto relative = [&](const CString& path) {
        CString rel = path.startsWith(folder) ? path.mid(folder.size()) : lastComponent(path);
        if (!rel.startsWith('/'))
            rel.prepend('/');
        return rel;
    };
    QStringList files;
    for (const LocalItem& item : items) {
        const DWORD attributes = GetFileAttributesW(item.path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_SYSTEM)) {
            m_transferring = false;
            return;
        }
        const std::string remotePath = remoteFolder + utf8(relative(item.path));
        const std::optional<bool> exists = fs->checkFileOrFolder(remotePath);
        if (!exists) {
            // What the panel holds there is unknown: nothing of the command is
            // sent (the next check would wait as long), and the item's row
            // and the log say why.
            TransferRecord record = queuedRecord(lastComponent(item.path), item.path, wide(remotePath),
                                                 TransferDirection::Download);
            record.state = TransferState::Unchecked;
            m_queue.rows().records().assign(1, record);
            m_queue.show();
            m_queue.log(uncheckedPathText(wide(remotePath)));
            m_transferring = false;
            return;
        }
        if (*exists
            && MessageBox(this,
                          toShownPath(wide(remotePath)) + ' '
                              + loadLocalizedString(StringId::FileExistsOverwriteQuestion),
                          loadLocalizedString(StringId::DownloadFileExists), MB_YESNO | MB_ICONQUESTION)
                   != IDYES)
            continue;
        if (item.isFile || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            files << item.path;
        else
            LocalTree::collectLocalFiles(item.path, files);
    }
    TransferJobs jobs;
    RemoteFolderLevels levels;
    for (const CString& file : files) {
        const std::string remotePath = remoteFolder + utf8(relative(file));
        jobs.emplace_back(utf8(file), remotePath);
        levels.createRemoteFolders(*fs, remotePath);
        m_queue.rows().records().push_back(
            queuedRecord(lastComponent(file), file, wide(remotePath), TransferDirection::Download));
    }
    startSend(jobs);
    m_queue.show();
}

void WinShellList::startSend(const std::vector<std::pair<std::string, std::string>>& jobs)
{
    FileServiceClient* fs = m_owner->fileService();
    IFileNotify* notify = m_queue.beginBatch();
    if (fs && fs->startSendToPanel(jobs, notify))
        return;
    // Nothing runs: the list must not stay locked for good.
    m_transferring = false;
    const TransferRecord* record = m_queue.rows().current();
    m_queue.log((record ? record->localPath : m_currentPath) + ' ' + loadLocalizedString(StringId::DownloadFailedReason)
                + ' ' + errorWord(0));
}

void WinShellList::refreshRemote()
{
    if (ArmFileList* remote = m_owner->remoteList())
        remote->setCurrentPath(wide(remote->currentPath()));
}

void WinShellList::pauseTransfers()
{
    m_queue.cancel();
}

void WinShellList::resumeTransfers()
{
    const TransferJobs jobs = unfinishedJobs(m_queue.rows(), false);
    m_transferring = true;
    startSend(jobs);
    if (const TransferRecord* record = m_queue.rows().current())
        m_queue.log(record->localPath + ' ' + loadLocalizedString(StringId::DownloadResumed));
}

void WinShellList::removeTransfers(const std::vector<int>& rows)
{
    if (m_queue.rows().records().empty())
        return;
    const auto removed = m_queue.remove(rows, StringId::StopDownloadAndDeleteQuestion, this);
    if (!removed)
        return;
    const TransferJobs jobs = unfinishedJobs(m_queue.rows(), false);
    refreshRemote();
    if (!afterRemoval(*removed, jobs, StringId::DownloadCancelled))
        return;
    startSend(jobs);
    if (IQueueView* queue = m_owner->transInfoTab())
        queue->resetPendingAction();
}

// Reports of the transfer thread, posted to this list's thread.

void WinShellList::batchFileDone(int batch, const std::string& localPath)
{
    if (m_queue.fileDone(batch))
        m_queue.log(wide(localPath) + ' ' + loadLocalizedString(StringId::DownloadComplete));
}

void WinShellList::batchAllDone(int batch)
{
    if (!m_queue.allDone(batch))
        return;
    m_transferring = false;
    refreshRemote();
}

void WinShellList::batchFailed(int batch, unsigned int code)
{
    switch (m_queue.failureAction(batch)) {
    case kDroppedReport:
    case PendingDelete: return;
    case PendingPause:
        if (const auto record = m_queue.pause())
            m_queue.log(record->localPath + QStringLiteral("  ") + loadLocalizedString(StringId::DownloadSuspended));
        return;
    case PendingDeleteAll: m_queue.log(loadLocalizedString(StringId::DownloadTasksDeleted)); return;
    default: {
        const CString word = errorWord(code);
        const auto record = m_queue.fail(word);
        m_queue.log((record ? record->localPath : m_currentPath) + ' '
                    + loadLocalizedString(StringId::DownloadFailedReason) + ' ' + word);
        refreshRemote();
        m_transferring = false;
    }
    }
}

// Dragging the selection onto the panel pane.

void WinShellList::OnBeginDrag(int, const QPoint& point)
{
    snapshot(false, false);
    m_drag.begin(!m_selection.empty(), point);
}

void WinShellList::OnDragMouseMove(const QPoint& point)
{
    m_drag.move(point);
}

void WinShellList::OnDragLButtonUp(const QPoint& point)
{
    if (!m_drag.end())
        return;
    // This list's own right edge, in the coordinates of the release point.
    QWidget* self = m_owner->dlgItem(kIdLocalList);
    QWidget* list = self ? self : this;
    const int rightEdge = viewport()->mapFromGlobal(list->mapToGlobal(QPoint(list->width(), 0))).x();
    if (rightEdge <= point.x() && !m_transferring && !m_currentPath.isEmpty())
        transferSelection();
}

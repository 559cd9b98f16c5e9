#include "brellfin/dialog/armfilelist.h"

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
#include "brellfin/ui/sharedtexts.h"
#include "brellfin/winfile/winfile.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <cstdio>
#include <optional>

using BrellfinUi::StringId;

using namespace BrellfinLists;

namespace {

// A listed row's kind, kept with the row: its type cell is only the word
// shown for it.
constexpr int kIsFileRole = CListCtrl::kFirstFreeRole;

// One copy for the whole program, as the sort of both panes' headers is one.
int g_sortColumn = -1;
bool g_ascending = true;

// A name typed into the editor that names one entry of the folder shown.
bool isTypedName(const CString& name)
{
    return !name.contains('/') && name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace

ArmFileList::ArmFileList(IDialogControls* owner)
    : ListTransfers(this, owner)
    , m_owner(owner)
    , m_drag(this, this)
{
    BrellfinLists::registerListMenus();
}

ArmFileList::~ArmFileList() = default;

void ArmFileList::initList()
{
    const QStyle* style = QApplication::style();
    SetImageList({style->standardIcon(QStyle::SP_FileIcon), style->standardIcon(QStyle::SP_DirIcon)});
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    insertFileColumns(*this);
    refreshList();
}

void ArmFileList::setCurrentPath(const CString& path)
{
    m_currentPath = path;
    if (path.startsWith(g_usbRoot))
        m_rootPath = path.left(11);
    else
        m_rootPath = g_userDirRoot;
    refreshList();
}

std::string ArmFileList::currentPath()
{
    return utf8(m_currentPath);
}

std::string ArmFileList::rootPathUtf8() const
{
    return utf8(m_rootPath);
}

void ArmFileList::deleteAllItems()
{
    DeleteAllItems();
}

void ArmFileList::refreshList()
{
    FileServiceClient* fs = m_owner->fileService();
    if (!fs || !fs->isConnected())
        return;
    endRename();
    DeleteAllItems();
    int offset = 0;
    if (m_currentPath.compare(m_rootPath, Qt::CaseInsensitive) != 0) {
        InsertItem(0, QStringLiteral(".."), 1);
        offset = 1;
    }
    const std::optional<std::vector<RemoteEntry>> entries = RemoteListing::list(*fs, utf8(m_currentPath));
    if (entries) {
        fillFiles(*entries, offset);
    } else {
        // A listing without answer is no empty folder: none of it is shown as
        // the folder's content (the ".." row stays, to go back up), and the
        // log says why the pane is empty.
        m_queue.log(toShownPath(m_currentPath) + ' ' + loadLocalizedString(StringId::RemoteFolderNotShown) + ' '
                    + errorWord(0));
    }
    sortItems(false);
}

void ArmFileList::fillFiles(const std::vector<RemoteEntry>& entries, int firstRow)
{
    int row = firstRow;
    for (const RemoteEntry& entry : entries) {
        InsertItem(row, wide(entry.name), entry.isFolder ? 1 : 0);
        topLevelItem(row)->setData(0, kIsFileRole, !entry.isFolder);
        SetItemText(row, 1, entry.sizeText);
        SetItemText(row, 2, loadLocalizedString(entry.isFolder ? StringId::Folder : StringId::File));
        SetItemText(row, 3, entry.timeText);
        ++row;
    }
}

namespace {

struct SortKeys {
    int column;
    bool ascending;
    std::vector<CString> texts;
};

int compareRows(LPARAM data1, LPARAM data2, LPARAM keys)
{
    const SortKeys& sort = *reinterpret_cast<const SortKeys*>(keys);
    const auto text = [&](LPARAM row) {
        return row >= 0 && row < LPARAM(sort.texts.size()) ? sort.texts[size_t(row)] : CString();
    };
    return RemoteListing::compareItems(sort.column, text(data1), text(data2), sort.ascending);
}

} // namespace

void ArmFileList::sortItems(bool toggle)
{
    SortKeys keys{g_sortColumn, true, {}};
    for (int row = 0; row < GetItemCount(); ++row) {
        SetItemData(row, DWORD_PTR(row));
        keys.texts.push_back(g_sortColumn >= 0 ? GetItemText(row, g_sortColumn) : CString());
    }
    if (toggle)
        g_ascending = !g_ascending;
    keys.ascending = g_ascending;
    SortItems(compareRows, DWORD_PTR(&keys));
}

void ArmFileList::OnColumnClick(int column)
{
    g_sortColumn = column;
    sortItems(true);
}

ArmFileList::RemoteItem ArmFileList::itemOfRow(int row) const
{
    RemoteItem item;
    item.path = m_currentPath + '/' + GetItemText(row, 0);
    item.isFile = isFileRow(row);
    return item;
}

bool ArmFileList::isFileRow(int row) const
{
    const QTreeWidgetItem* item = topLevelItem(row);
    return item && item->data(0, kIsFileRole).toBool();
}

void ArmFileList::rebuildSelection()
{
    m_selection.clear();
    for (int row = 0; row < GetItemCount(); ++row)
        if ((GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED) && GetItemText(row, 0) != QLatin1String(".."))
            m_selection.push_back(itemOfRow(row));
}

void ArmFileList::navigate(const CString& path)
{
    m_currentPath = path;
    m_currentPath.remove(QStringLiteral("\r\n"));
    if (IEdit* box = m_owner->remotePathEdit())
        box->setPath(toShownPath(m_currentPath));
    if (CWnd* frame = m_owner->dlgItem(kIdRemoteFrame))
        SetWindowText(frame, folderTitle(m_currentPath, wide(rootPathUtf8())));
    refreshList();
}

void ArmFileList::OnDblClk(int row, int)
{
    if (row < 0 || row >= GetItemCount())
        return;
    const CString name = GetItemText(row, 0);
    if (name.compare(QLatin1String(".."), Qt::CaseInsensitive) == 0) {
        navigate(m_currentPath.left(std::max(0, int(m_currentPath.lastIndexOf('/')))));
        return;
    }
    if (isFileRow(row)) {
        if (m_transferring)
            return;
        m_selection = {itemOfRow(row)};
        transferSelection();
        return;
    }
    navigate(wide(utf8(m_currentPath) + "/" + utf8(name)));
}

// Commands.

void ArmFileList::OnRClick(int row, int)
{
    endRename();
    FileServiceClient* fs = m_owner->fileService();
    if (!fs || !fs->isConnected())
        return;
    m_rename.setItem(row);
    if (row >= 0 && GetItemText(row, 0) == QLatin1String(".."))
        return;
    rebuildSelection();
    CMenu menu;
    if (!menu.LoadMenu(row != -1 ? kItemMenu : kAreaMenu))
        return;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup)
        return;
    WinShellList* local = m_owner->localList();
    if (local && local->isCopied()) {
        popup->EnableMenuItem(kCmdPaste, MF_ENABLED);
        popup->EnableMenuItem(kCmdAreaPaste, MF_ENABLED);
    }
    if (m_selection.size() == 1)
        popup->EnableMenuItem(kCmdRename, MF_ENABLED);
    if (!m_transferring && !m_selection.empty())
        popup->EnableMenuItem(kCmdTransport, MF_ENABLED);
    if (!m_selection.empty()) {
        popup->EnableMenuItem(kCmdCopy, MF_ENABLED);
        popup->EnableMenuItem(kCmdDelete, MF_ENABLED);
    }
    QPoint cursor;
    GetCursorPos(&cursor);
    popup->TrackPopupMenu(0, cursor.x(), cursor.y(), this, this);
    menu.DestroyMenu();
}

BOOL ArmFileList::OnCommand(WPARAM wParam, LPARAM)
{
    return runCommand(UINT(wParam)) ? TRUE : FALSE;
}

void ArmFileList::OnClick(int row, int column)
{
    if (m_rename.isEditing()) {
        if (m_rename.clickLeaves(row, column))
            commitRename();
    } else if (row >= 0 && row < GetItemCount() && GetItemText(row, 0) != QLatin1String("..")) {
        m_selection = {itemOfRow(row)};
    } else {
        m_selection.clear();
    }
    m_rename.setItem(row);
}

BOOL ArmFileList::PreTranslateMessage(MSG* msg)
{
    FileServiceClient* fs = m_owner->fileService();
    if (!fs || !fs->isConnected() || msg->message != WM_KEYDOWN)
        return CListCtrl::PreTranslateMessage(msg);
    // While a name is edited, keys belong to the editor: only Enter acts.
    if (m_rename.isEditing()) {
        if (msg->wParam == VK_RETURN) {
            commitRename();
            return TRUE;
        }
        return CListCtrl::PreTranslateMessage(msg);
    }
    rebuildSelection();
    const UINT key = UINT(msg->wParam);
    const bool ctrl = controlHeld();
    if (ctrl && (key == 0x43 || key == 0x63))
        onCopy();
    else if (ctrl && (key == 0x56 || key == 0x76))
        onPaste();
    else if (ctrl && (key == 0x41 || key == 0x61))
        onSelectAll();
    else if (key == VK_F2)
        onRename();
    else if (key == VK_DELETE)
        onDelete();
    return CListCtrl::PreTranslateMessage(msg);
}

void ArmFileList::onTransport()
{
    transferSelection();
}

void ArmFileList::onSelectAll()
{
    for (int row = 0; row < GetItemCount(); ++row)
        if (GetItemText(row, 0) != QLatin1String(".."))
            SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

void ArmFileList::onRefresh()
{
    setCurrentPath(m_currentPath);
}

void ArmFileList::onCopy()
{
    WinShellList* local = m_owner->localList();
    if (local && local->isCopied())
        local->setCopied(false);
    if (!m_selection.empty()) {
        m_clipboard = m_selection;
        m_copied = true;
    }
}

void ArmFileList::onPaste()
{
    WinShellList* local = m_owner->localList();
    if (local && local->isCopied())
        local->transferClipboard();
}

void ArmFileList::onRename()
{
    if (m_selection.size() == 1)
        beginRename();
}

void ArmFileList::onNewFolder()
{
    newItem(true);
}

void ArmFileList::onNewFile()
{
    newItem(false);
}

void ArmFileList::newItem(bool folder)
{
    FileServiceClient* fs = m_owner->fileService();
    if (!fs)
        return;
    const std::string current = utf8(m_currentPath);
    const CString wanted = folder ? loadLocalizedString(StringId::NewFolder) : QString::fromLatin1(kNewFileName);
    const std::optional<CString> free = checkedUniqueName(wanted, QString(), folder, [&](const CString& candidate) {
        return fs->checkFileOrFolder(current + "/" + utf8(candidate));
    });
    if (!free) {
        // A name the panel could not check may be taken: nothing is made.
        reportUnchecked(m_currentPath + '/' + wanted);
        return;
    }
    const CString name = *free;
    const CString path = m_currentPath + '/' + name;
    const bool userArea = m_currentPath.contains(g_userDirRoot);
    bool made = false;
    if (folder)
        made = userArea ? fs->createFolder(utf8(path)) : fs->createUDiskFolder(utf8(path));
    else
        made = userArea ? fs->createFile(utf8(path)) : fs->createUDiskFile(utf8(path));
    if (!made) {
        m_queue.log(toShownPath(path) + ' ' + loadLocalizedString(StringId::CreatedFailed));
        MessageBox(this, loadLocalizedString(folder ? StringId::FolderCreateFailed : StringId::FileCreateFailed),
                   loadLocalizedString(StringId::Warning), MB_ICONEXCLAMATION);
        return;
    }
    m_queue.log(toShownPath(path) + ' ' + loadLocalizedString(StringId::CreatedSuccessfully));
    setCurrentPath(m_currentPath);
    for (int row = 0; row < GetItemCount(); ++row) {
        if (GetItemText(row, 0).compare(name, Qt::CaseInsensitive) == 0) {
            m_rename.setItem(row);
            beginRename();
            break;
        }
    }
}

void ArmFileList::reportUnchecked(const CString& path)
{
    const CString text = uncheckedPathText(path);
    m_queue.log(text);
    MessageBox(this, text, loadLocalizedString(StringId::Warning), MB_ICONEXCLAMATION);
}

void ArmFileList::beginRename()
{
    // Only a row of the list can be renamed (never "..").
    if (m_rename.itemIsRow() && GetItemText(m_rename.item(), 0) == QLatin1String(".."))
        return;
    m_rename.begin();
}

void ArmFileList::endRename()
{
    m_rename.end();
}

void ArmFileList::commitRename()
{
    if (!m_rename.isEditing())
        return;
    QLineEdit* editor = m_rename.editor();
    if (!m_rename.itemIsRow() || !editor) {
        endRename();
        return;
    }
    const CString oldName = GetItemText(m_rename.item(), 0);
    const CString newName = editor->text();
    const CString oldPath = m_currentPath + '/' + oldName;
    const CString newPath = m_currentPath + '/' + newName;
    if (newName.isEmpty()) {
        m_rename.restore(oldName);
        endRename();
        return;
    }
    if (oldPath.compare(newPath, Qt::CaseInsensitive) == 0) {
        endRename();
        return;
    }
    FileServiceClient* fs = m_owner->fileService();
    if (!isTypedName(newName) || !fs) {
        m_queue.log(toShownPath(oldPath) + ' ' + loadLocalizedString(StringId::RenameFailed));
        m_rename.restore(oldName);
        endRename();
        return;
    }
    const std::optional<bool> taken = fs->checkFileOrFolder(utf8(newPath));
    if (!taken || *taken) {
        // Never renamed onto a name that is, or may be, taken.
        if (taken)
            MessageBox(this, loadLocalizedString(StringId::RenameTargetExists), loadLocalizedString(StringId::Warning),
                       MB_ICONEXCLAMATION);
        else
            reportUnchecked(newPath);
        m_rename.restore(oldName);
        endRename();
        return;
    }
    if (fs->renameFile(utf8(oldPath), utf8(newPath)))
        m_queue.log(toShownPath(oldPath) + ' ' + loadLocalizedString(StringId::RenamedTo) + ' ' + toShownPath(newPath));
    else
        m_queue.log(toShownPath(oldPath) + ' ' + loadLocalizedString(StringId::RenameFailed));
    endRename();
}

void ArmFileList::onDelete()
{
    if (m_selection.empty() || !confirmDelete(this, m_selection.size(), m_selection[0].isFile))
        return;
    FileServiceClient* fs = m_owner->fileService();
    if (!fs)
        return;
    for (const RemoteItem& item : m_selection) {
        const bool removed = RemoteTree::deleteRemoteTree(*fs, utf8(item.path));
        m_queue.log(toShownPath(item.path) + ' '
                    + loadLocalizedString(removed ? StringId::DeletedSuccessfully : StringId::DeletedFailed));
    }
    refreshList();
}

// Transfers from the panel to the PC.

void ArmFileList::transferClipboard()
{
    m_selection = m_clipboard;
    transferSelection();
}

void ArmFileList::transferSelection()
{
    if (m_transferring)
        return;
    FileServiceClient* fs = m_owner->fileService();
    WinShellList* local = m_owner->localList();
    if (!fs || !local)
        return;
    if (local->isTransferring()) {
        MessageBox(this, loadLocalizedString(StringId::DownloadingPleaseWait),
                   loadLocalizedString(StringId::Information), MB_ICONEXCLAMATION);
        return;
    }
    const std::string localDir = local->currentPathUtf8();
    if (localDir.empty()) {
        MessageBox(this, loadLocalizedString(StringId::CannotDownloadToVirtualFolder),
                   loadLocalizedString(StringId::Error), MB_ICONEXCLAMATION);
        return;
    }
    m_transferring = true;
    m_queue.rows().clear();
    const std::string current = utf8(m_currentPath);
    const CString failedText = ' ' + loadLocalizedString(StringId::UploadFailedReason) + errorWord(1);
    std::vector<std::string> files;
    for (const RemoteItem& item : m_selection) {
        const std::string path = utf8(item.path);
        const std::string name = path.size() > current.size() + 1 ? path.substr(current.size() + 1) : std::string();
        if (!RemoteTree::isPlainName(name)) {
            m_queue.log(toShownPath(item.path) + failedText);
            continue;
        }
        const CString target = wide(localDir + name);
        if (PathFileExistsW(target)
            && MessageBox(this, target + ' ' + loadLocalizedString(StringId::FileExistsOverwriteQuestion),
                          loadLocalizedString(StringId::UploadFileExists), MB_YESNO | MB_ICONQUESTION)
                   != IDYES)
            continue;
        if (item.isFile) {
            files.push_back(path);
            continue;
        }
        RemoteTree::Collected collected;
        RemoteTree::collectRemoteFiles(*fs, path, collected);
        for (const std::string& rejected : collected.rejected)
            m_queue.log(toShownPath(wide(rejected)) + failedText);
        if (!collected.complete) {
            // Too deep, or a listing without answer: nothing of the folder goes.
            m_queue.log(toShownPath(item.path)
                        + (collected.unanswered ? ' ' + loadLocalizedString(StringId::UploadFailedReason) + errorWord(0)
                                                : failedText));
            continue;
        }
        files.insert(files.end(), collected.files.begin(), collected.files.end());
    }
    TransferJobs jobs;
    for (const std::string& remote : files) {
        const std::string rel = remote.substr(current.size() + 1);
        {
            // Each level below the PC folder, made where it is missing.
            for (size_t at = rel.find('/'); at != std::string::npos; at = rel.find('/', at + 1)) {
                const CString level = wide(localDir + rel.substr(0, at));
                const DWORD attributes = GetFileAttributesW(level);
                const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
                if (!folder && !CreateDirectoryW(level))
                    std::fputs(kFolderFailedText, stdout);
            }
        }
        jobs.emplace_back(remote, localDir + rel);
        m_queue.rows().records().push_back(
            queuedRecord(fileNameOfPath(wide(remote)), wide(localDir + rel), wide(remote), TransferDirection::Upload));
    }
    startFetch(jobs);
    m_queue.show();
}

void ArmFileList::startFetch(const std::vector<std::pair<std::string, std::string>>& jobs)
{
    FileServiceClient* fs = m_owner->fileService();
    IFileNotify* notify = m_queue.beginBatch();
    if (fs && fs->startFetchFromPanel(jobs, notify))
        return;
    // Nothing runs: the list must not stay locked for good.
    m_transferring = false;
    const TransferRecord* record = m_queue.rows().current();
    m_queue.log(toShownPath(record ? record->remotePath : m_currentPath) + ' '
                + loadLocalizedString(StringId::UploadFailedReason) + errorWord(0));
}

void ArmFileList::cancelTransfers()
{
    m_queue.cancel();
}

void ArmFileList::resumeTransfers()
{
    const TransferJobs jobs = unfinishedJobs(m_queue.rows(), true);
    m_transferring = true;
    startFetch(jobs);
    if (const TransferRecord* record = m_queue.rows().current())
        m_queue.log(record->remotePath + ' ' + loadLocalizedString(StringId::UploadResumed));
}

void ArmFileList::removeTransfers(const std::vector<int>& rows)
{
    if (rows.empty())
        return;
    const auto removed = m_queue.remove(rows, StringId::StopUploadAndDeleteQuestion, this);
    if (!removed)
        return;
    const TransferJobs jobs = unfinishedJobs(m_queue.rows(), true);
    if (WinShellList* local = m_owner->localList())
        local->Refresh();
    if (!afterRemoval(*removed, jobs, StringId::UploadCancelled))
        return;
    startFetch(jobs);
    if (IQueueView* queue = m_owner->transInfoTab())
        queue->resetPendingAction();
}

// Reports of the transfer thread, posted to this list's thread.

void ArmFileList::batchFileDone(int batch, const std::string&)
{
    if (const auto record = m_queue.fileDone(batch))
        m_queue.log(toShownPath(record->remotePath) + ' ' + loadLocalizedString(StringId::UploadComplete));
}

void ArmFileList::batchAllDone(int batch)
{
    if (!m_queue.allDone(batch))
        return;
    m_transferring = false;
    if (WinShellList* local = m_owner->localList())
        local->Refresh();
}

void ArmFileList::batchFailed(int batch, unsigned int code)
{
    switch (m_queue.failureAction(batch)) {
    case kDroppedReport:
    case PendingDelete: return;
    case PendingPause:
        if (const auto record = m_queue.pause())
            m_queue.log(record->remotePath + ' ' + loadLocalizedString(StringId::UploadSuspended));
        return;
    case PendingDeleteAll: m_queue.log(loadLocalizedString(StringId::UploadTasksDeleted)); return;
    default: {
        const CString word = errorWord(code);
        const auto record = m_queue.fail(word);
        m_queue.log(toShownPath(record ? record->remotePath : m_currentPath) + ' '
                    + loadLocalizedString(StringId::UploadFailedReason) + word);
        m_transferring = false;
        if (WinShellList* local = m_owner->localList())
            local->Refresh();
    }
    }
}

// Dragging the selection onto the PC pane.

void ArmFileList::OnBeginDrag(int, const QPoint& point)
{
    rebuildSelection();
    m_drag.begin(!m_selection.empty(), point);
}

void ArmFileList::OnDragMouseMove(const QPoint& point)
{
    m_drag.move(point);
}

void ArmFileList::OnDragLButtonUp(const QPoint& point)
{
    if (!m_drag.end())
        return;
    // This list's own left edge, in the coordinates of the release point.
    QWidget* self = m_owner->dlgItem(kIdRemoteList);
    const int leftEdge = viewport()->mapFromGlobal((self ? self : this)->mapToGlobal(QPoint(0, 0))).x();
    if (point.x() <= leftEdge && !m_transferring)
        transferSelection();
}

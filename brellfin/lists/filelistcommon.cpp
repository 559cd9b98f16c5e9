#include "brellfin/lists/filelistcommon.h"

#include "brellfin/lists/listconstants.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/service/stringopt.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

#include <QGuiApplication>

#include <algorithm>

using BrellfinUi::StringId;

namespace BrellfinLists {

namespace {

// The in-place editor over geometry in the list's viewport, holding text,
// focused and all selected.
QLineEdit* openRenameEditor(CListCtrl& list, const QRect& geometry, const CString& text)
{
    auto* editor = new QLineEdit(list.viewport());
    editor->setObjectName(QStringLiteral("renameEditor"));
    editor->setFont(list.font());
    editor->setGeometry(geometry);
    editor->setText(text);
    editor->show();
    editor->setFocus();
    editor->selectAll();
    return editor;
}

// Writes the editor's text into row (while the row stands), hides the
// editor and destroys it later: the key walk may still stand on it.
void closeRenameEditor(CListCtrl& list, QPointer<QLineEdit>& editor, int row)
{
    if (editor && row >= 0 && row < list.GetItemCount())
        list.SetItemText(row, 0, editor->text());
    if (editor) {
        editor->hide();
        editor->deleteLater();
        editor = nullptr;
    }
}

} // namespace

std::string utf8(const CString& text)
{
    return StringOpt::FromWideToUtf8(text);
}

CString wide(const std::string& text)
{
    return StringOpt::FromUtf8ToWide(text);
}

bool controlHeld()
{
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

CString errorWord(unsigned int code)
{
    return g_errorText[std::min(code, 5u)];
}

void insertFileColumns(CListCtrl& list)
{
    // The room inside the frame: the viewport itself has its size only once
    // the list is shown.
    const int w = list.maximumViewportSize().width();
    list.InsertColumn(0, loadLocalizedString(StringId::ListColumnName), LVCFMT_LEFT, w * 5 / 12);
    list.InsertColumn(1, loadLocalizedString(StringId::ListColumnSize), LVCFMT_RIGHT, w * 2 / 12);
    list.InsertColumn(2, loadLocalizedString(StringId::ListColumnType), LVCFMT_LEFT, w * 2 / 12);
    list.InsertColumn(3, loadLocalizedString(StringId::ListColumnModified), LVCFMT_LEFT, w * 3 / 12);
}

bool confirmDelete(QWidget* owner, size_t count, bool firstIsFile)
{
    QString caption;
    QString text;
    if (count == 1) {
        const QString kind = loadLocalizedString(firstIsFile ? StringId::File : StringId::Folder);
        caption = loadLocalizedString(StringId::SureToDelete) + ' ' + kind;
        text = loadLocalizedString(StringId::DeleteThisQuestion) + ' ' + kind + QString::fromUtf8("？");
    } else {
        caption = loadLocalizedString(StringId::SureToDelete) + ' ' + loadLocalizedString(StringId::MultiProjects);
        text = loadLocalizedString(StringId::DeleteMultiProjectsQuestion);
    }
    return MessageBox(owner, text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void RenameEdit::begin()
{
    if (m_editing || !itemIsRow())
        return;
    QRect label;
    m_list->GetItemRect(m_editItem, &label, LVIR_LABEL);
    m_editor = openRenameEditor(*m_list, label.adjusted(1, 2, m_widen, -1), m_list->GetItemText(m_editItem, 0));
    m_editing = true;
}

void RenameEdit::end()
{
    if (!m_editing)
        return;
    closeRenameEditor(*m_list, m_editor, m_editItem);
    m_editItem = -1;
    m_editing = false;
    m_list->setFocus();
}

void RenameEdit::restore(const CString& oldName)
{
    if (m_editor)
        m_editor->setText(oldName);
}

TransferRecord queuedRecord(const CString& name, const CString& localPath, const CString& remotePath,
                            TransferDirection operation)
{
    TransferRecord record;
    record.name = name;
    record.localPath = localPath;
    record.remotePath = remotePath;
    record.progress = QStringLiteral("0%");
    record.state = TransferState::Ready;
    record.operation = operation;
    return record;
}

TransferJobs unfinishedJobs(const TransferRows& rows, bool fromPanel)
{
    TransferJobs jobs;
    for (const TransferRecord& record : rows.unfinished()) {
        if (fromPanel)
            jobs.emplace_back(utf8(record.remotePath), utf8(record.localPath));
        else
            jobs.emplace_back(utf8(record.localPath), utf8(record.remotePath));
    }
    return jobs;
}

void ListTransfers::onTransferStarted(const std::string& localPath)
{
    batchStarted(m_queue.currentBatch(), localPath);
}

void ListTransfers::onTransferProgress(const std::string& localPath, double fraction)
{
    batchProgress(m_queue.currentBatch(), localPath, fraction);
}

void ListTransfers::onTransferFileDone(const std::string& localPath)
{
    batchFileDone(m_queue.currentBatch(), localPath);
}

void ListTransfers::onTransferAllDone()
{
    batchAllDone(m_queue.currentBatch());
}

void ListTransfers::onTransferFailed(unsigned int code)
{
    batchFailed(m_queue.currentBatch(), code);
}

void ListTransfers::batchStarted(int batch, const std::string& localPath)
{
    m_queue.started(batch, localPath);
}

void ListTransfers::batchProgress(int batch, const std::string&, double fraction)
{
    m_queue.progress(batch, fraction);
}

bool ListTransfers::afterRemoval(const std::vector<TransferRecord>& removed, const TransferJobs& jobs,
                                 StringId removedText)
{
    m_queue.show();
    for (const TransferRecord& record : removed)
        if (record.state != TransferState::Completed && record.state != TransferState::Unchecked)
            m_queue.log(record.localPath + ' ' + loadLocalizedString(removedText));
    m_transferring = !jobs.empty();
    return m_transferring;
}

bool ListCommands::runCommand(unsigned id)
{
    switch (id) {
    case kCmdTransport: onTransport(); return true;
    case kCmdCopy: onCopy(); return true;
    case kCmdPaste:
    case kCmdAreaPaste: onPaste(); return true;
    case kCmdRename: onRename(); return true;
    case kCmdDelete: onDelete(); return true;
    case kCmdSelectAll: onSelectAll(); return true;
    case kCmdRefresh: onRefresh(); return true;
    case kCmdNewFolder: onNewFolder(); return true;
    case kCmdNewFile: onNewFile(); return true;
    default: return false;
    }
}

void SelectionDrag::begin(bool anySelected, const QPoint& point)
{
    const int first = m_list->GetNextItem(-1, LVNI_SELECTED);
    if (anySelected && first >= 0 && m_source.beginPicture(first, point))
        m_state = Dragging;
}

void SelectionDrag::move(const QPoint& point)
{
    if (m_state == Dragging)
        m_source.movePicture(point);
}

bool SelectionDrag::end()
{
    if (m_state != Dragging)
        return false;
    m_source.endPicture();
    m_state = NotDragging;
    return true;
}

} // namespace BrellfinLists

#pragma once

// What the two file lists (the PC pane and the panel pane) do alike: text
// conversions, the report columns, the delete question, the in-place name
// editor, the queue records and jobs of a batch, the reports of the current
// batch, the menu commands and the drag of the selection.

#include "brellfin/lists/batchqueue.h"
#include "brellfin/lists/filenotifyposter.h"
#include "brellfin/lists/transferrows.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/listdragsource.h"
#include "brellfin/service/ifilenotify.h"
#include "brellfin/ui/stringid.h"

#include <QLineEdit>
#include <QPoint>
#include <QPointer>

#include <string>
#include <utility>
#include <vector>

namespace BrellfinLists {

// A batch's jobs: (source, destination) paths in UTF-8.
using TransferJobs = std::vector<std::pair<std::string, std::string>>;

std::string utf8(const CString& text);
CString wide(const std::string& text);
bool controlHeld();
// The transfer error word of code 0..5; larger codes read as the last.
CString errorWord(unsigned int code);

// Name, size, type and modified, across the list's width.
void insertFileColumns(CListCtrl& list);

// Asks before deleting count items (the first of them a file or a folder);
// true on Yes.
bool confirmDelete(QWidget* owner, size_t count, bool firstIsFile);

// A pane's in-place rename: the row last clicked or being renamed, the
// editor over its name, and whether that editor is open.
class RenameEdit {
public:
    // The editor covers the row's label from 1 past its left and 2 below its
    // top to 1 above its bottom; its right edge stands widen past the label's.
    RenameEdit(CListCtrl* list, int widen)
        : m_list(list)
        , m_widen(widen)
    {
    }

    bool isEditing() const { return m_editing; }
    int item() const { return m_editItem; }
    void setItem(int row) { m_editItem = row; }
    QLineEdit* editor() const { return m_editor; }
    // The item is a row of the list.
    bool itemIsRow() const { return m_editItem >= 0 && m_editItem < m_list->GetItemCount(); }
    // A click elsewhere than the edited name (another row, another column,
    // or no row) while the editor is open.
    bool clickLeaves(int row, int column) const { return m_editing && (row != m_editItem || column != 0); }

    // Opens the editor on the item's name, unless it is open or the item is
    // no row.
    void begin();
    // While the editor is open: its text goes into the item's name, the
    // editor closes, no item is left and the list takes the focus back.
    void end();
    // Puts the item's old name back into the editor, while it stands.
    void restore(const CString& oldName);

private:
    CListCtrl* m_list;
    int m_widen;
    QPointer<QLineEdit> m_editor;
    int m_editItem = -1;
    bool m_editing = false;
};

// A ready record of a new batch.
TransferRecord queuedRecord(const CString& name, const CString& localPath, const CString& remotePath,
                            TransferDirection operation);
// The jobs of the records not completed, in queue order: from the panel
// (remote, local), else (local, remote).
TransferJobs unfinishedJobs(const TransferRows& rows, bool fromPanel);

// A pane's batch queue, and the reports of its current batch as IFileNotify
// gives them, handed on with that batch's number to the pane's own handlers.
class ListTransfers : public IFileNotify, protected BatchNotifyTarget {
public:
    void onTransferStarted(const std::string& localPath) override;
    void onTransferProgress(const std::string& localPath, double fraction) override;
    void onTransferFileDone(const std::string& localPath) override;
    void onTransferAllDone() override;
    void onTransferFailed(unsigned int code) override;

    void setProgressTick() { m_queue.rows().setProgressTick(); }
    bool progressTick() const { return m_queue.rows().progressTick(); }
    // For tests.
    const std::vector<TransferRecord>& queueRecords() const { return m_queue.rows().records(); }

protected:
    // context: the pane, whose thread runs the reports and whose end drops
    // those still pending.
    ListTransfers(QObject* context, IDataSynchronisMgr* owner)
        : m_queue(context, this, owner)
    {
    }

    // Starting and progress are the same on both panes.
    void batchStarted(int batch, const std::string& localPath) override;
    void batchProgress(int batch, const std::string& localPath, double fraction) override;

    // After rows were removed from the queue: the queue shown again, each
    // removed record not completed logged with text removedText, and the
    // pane locked while unfinished jobs are left; true when they are.
    bool afterRemoval(const std::vector<TransferRecord>& removed, const TransferJobs& jobs,
                      BrellfinUi::StringId removedText);

    BatchQueue m_queue;
    // A transfer from this pane is under way.
    bool m_transferring = false;
};

// The commands of a pane's two menus, each run by the pane's handler.
class ListCommands {
public:
    // Runs the handler of command id; false for an id of neither menu.
    bool runCommand(unsigned id);

protected:
    ~ListCommands() = default;

private:
    virtual void onTransport() = 0;
    virtual void onCopy() = 0;
    virtual void onPaste() = 0;
    virtual void onRename() = 0;
    virtual void onDelete() = 0;
    virtual void onSelectAll() = 0;
    virtual void onRefresh() = 0;
    virtual void onNewFolder() = 0;
    virtual void onNewFile() = 0;
};

// The drag of a pane's selection, from its begin on a selected row to the
// release of the button, with the picture that follows the pointer.
class SelectionDrag {
public:
    SelectionDrag(CListCtrl* list, ListDragSource::Handler* handler)
        : m_list(list)
        , m_source(list, handler)
    {
    }

    // Begins when a row is selected and its picture can be made.
    void begin(bool anySelected, const QPoint& point);
    void move(const QPoint& point);
    // True when a drag ended here: its picture is gone and the mouse given back.
    bool end();
    bool isDragging() const { return m_state == Dragging; }

private:
    enum DragState : int { NotDragging = 0, Dragging = 1 };

    CListCtrl* m_list;
    ListDragSource m_source;
    DragState m_state = NotDragging;
};

} // namespace BrellfinLists

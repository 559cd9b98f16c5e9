#pragma once

// What the two file lists (the PC pane and the panel pane) do alike: text
// conversions, the report columns, the delete question, the in-place name
// editor, the queue records and jobs of a batch, the reports of the current
// batch and the drag of the selection.

#include "brellfin/lists/batchqueue.h"
#include "brellfin/lists/filenotifyposter.h"
#include "brellfin/lists/transferrows.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/listdrag.h"
#include "brellfin/service/ifilenotify.h"

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

// The in-place editor over geometry in the list's viewport, holding text,
// focused and all selected.
QLineEdit* openRenameEditor(CListCtrl& list, const QRect& geometry, const CString& text);
// Writes the editor's text into row (while the row stands), hides the
// editor and destroys it later: the key walk may still stand on it.
void closeRenameEditor(CListCtrl& list, QPointer<QLineEdit>& editor, int row);

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

    BatchQueue m_queue;
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

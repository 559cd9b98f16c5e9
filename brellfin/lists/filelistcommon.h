// What the two file lists (the PC pane and the panel pane) do alike: text
// conversions, the report columns, the delete question, the in-place name
// editor and the queue records and jobs of a batch.
#pragma once

#include "brellfin/lists/transferrows.h"
#include "brellfin/mfc/listctrl.h"

#include <QLineEdit>
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

} // namespace BrellfinLists

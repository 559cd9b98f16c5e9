#pragma once

// A list's batches as the queue tab shows them: the records, the batch
// numbers, and the queue cells that the transfer reports change. Both lists
// stand on it; their log texts and what they list again differ.

#include "brellfin/lists/transferbatches.h"
#include "brellfin/lists/transferrows.h"
#include "brellfin/ui/stringid.h"

#include <optional>
#include <vector>

class IDataSynchronisMgr;
class QWidget;

class BatchQueue {
public:
    BatchQueue(QObject* context, BatchNotifyTarget* target, IDataSynchronisMgr* owner);

    TransferRows& rows() { return m_rows; }
    const TransferRows& rows() const { return m_rows; }
    int currentBatch() const { return m_batches.current(); }

    // The poster of a new batch, to hand to the facade.
    IFileNotify* beginBatch() { return m_batches.begin(); }
    // Stops the batch for the queue's command of the moment (pause, delete
    // all), or for a delete.
    void cancel();
    void cancelForDelete();
    // The queue shows these records anew.
    void show();
    void log(const CString& text);
    void setCell(int row, int column, const CString& text);

    // The reports of batch; each false (or empty) when it is dropped or its
    // row is gone, and nothing is shown then.
    bool started(int batch, const std::string& localPath);
    bool progress(int batch, double fraction);
    std::optional<TransferRecord> fileDone(int batch);
    bool isCurrent(int batch) const { return m_batches.isCurrent(batch); }
    // The end of batch: true when it is the current one, whose queue
    // command (if any) then ends with it.
    bool allDone(int batch);
    // The queue command under which batch's failure is handled, kDroppedReport: dropped.
    // The batch ends here; the current one's queue command ends with it.
    int failureAction(int batch);
    // The current file was paused, or failed with word: its record.
    std::optional<TransferRecord> pause();
    std::optional<TransferRecord> fail(const CString& word);

    // Removes the records of rows after asking (text questionId, caption
    // "Sure to delete") for each ongoing or paused one; the batch is stopped. Empty when
    // an answer was not Yes (nothing changed); else the removed records.
    std::optional<std::vector<TransferRecord>> remove(const std::vector<int>& rows, BrellfinUi::StringId questionId,
                                                      QWidget* boxOwner);

private:
    // The queue command given to the batch that just ended ends too.
    void endCommand();

    IDataSynchronisMgr* m_owner;
    TransferRows m_rows;
    TransferBatches m_batches;
};

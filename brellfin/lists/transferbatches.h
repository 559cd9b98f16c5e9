#pragma once

// A list's batches: each gets a number and its own notification poster.
// Only the current batch's reports reach the list, except the failure that
// ends a batch the user stopped (pause, delete, delete all): it is read
// with the queue command that stopped that batch, even after a newer batch
// started. A command belongs to the batch it stopped and ends with it: the
// failure of any batch that no command stopped is a real failure.

#include "brellfin/lists/filenotifyposter.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

// failureAction of a report that belongs to an older batch: it is dropped.
constexpr int kDroppedReport = -1;

class TransferBatches {
public:
    TransferBatches(QObject* context, BatchNotifyTarget* target);
    ~TransferBatches();
    TransferBatches(const TransferBatches&) = delete;
    TransferBatches& operator=(const TransferBatches&) = delete;

    // A new current batch; its poster lives as long as this object, so a
    // transfer thread may hold it to the end of its batch.
    IFileNotify* begin();
    // 0 before the first batch.
    int current() const { return m_current; }
    bool isCurrent(int batch) const { return batch == m_current && batch != 0; }
    // The current batch is still running (begun, its end not yet reported).
    bool currentRunning() const { return m_running.count(m_current) != 0; }
    // The user stopped the current batch, while it runs, with this queue
    // command (pause, delete or delete all; any other value keeps nothing).
    void cancelCurrent(int pendingAction);
    // The end of batch was reported (all done, or failed and handled):
    // whatever was kept for it goes.
    void end(int batch);
    // The queue command under which a failure of batch is handled: the one
    // kept for it, else none for the current batch; kDroppedReport when the report
    // belongs to an older batch and is dropped. The batch ends.
    int failureAction(int batch);

private:
    QObject* m_context;
    BatchNotifyTarget* m_target;
    int m_current = 0;
    std::vector<std::unique_ptr<FileNotifyPoster>> m_posters;
    std::set<int> m_running;
    std::map<int, int> m_kept;
};

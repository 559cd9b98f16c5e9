#include "brellfin/lists/batchqueue.h"

#include "brellfin/mfc/messagebox.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/service/stringopt.h"
#include "brellfin/ui/idatasynchronismgr.h"
#include "brellfin/ui/iqueueview.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

using BrellfinUi::StringId;

namespace {

const CString& stateWord(TransferState state)
{
    return g_stateText[int(state)];
}

} // namespace

BatchQueue::BatchQueue(QObject* context, BatchNotifyTarget* target, IDataSynchronisMgr* owner)
    : m_owner(owner)
    , m_batches(context, target)
{
}

void BatchQueue::cancel()
{
    if (IQueueView* queue = m_owner->transInfoTab())
        m_batches.cancelCurrent(queue->pendingAction());
    if (FileServiceClient* fs = m_owner->fileService())
        fs->cancelTransfers();
}

void BatchQueue::cancelForDelete()
{
    m_batches.cancelCurrent(PendingDelete);
    if (FileServiceClient* fs = m_owner->fileService())
        fs->cancelTransfers();
}

void BatchQueue::show()
{
    if (IQueueView* queue = m_owner->transInfoTab()) {
        queue->clearQueue();
        queue->addRecords(m_rows.records());
    }
}

void BatchQueue::log(const CString& text)
{
    if (IQueueView* queue = m_owner->transInfoTab())
        queue->appendLog(text);
}

void BatchQueue::setCell(int row, int column, const CString& text)
{
    if (IQueueView* queue = m_owner->transInfoTab())
        queue->setCell(row, column, text);
}

bool BatchQueue::started(int batch, const std::string& localPath)
{
    if (!m_batches.isCurrent(batch))
        return false;
    const int row = m_rows.start(StringOpt::FromUtf8ToWide(localPath));
    if (row < 0)
        return false;
    setCell(row, 1, stateWord(TransferState::Ongoing));
    return true;
}

bool BatchQueue::progress(int batch, double fraction)
{
    if (!m_batches.isCurrent(batch))
        return false;
    const CString text = m_rows.progressText(fraction);
    if (text.isEmpty() || !m_rows.current())
        return false;
    setCell(m_rows.currentRow(), 2, text);
    return true;
}

std::optional<TransferRecord> BatchQueue::fileDone(int batch)
{
    if (!m_batches.isCurrent(batch))
        return std::nullopt;
    const TransferRecord* current = m_rows.current();
    const std::optional<TransferRecord> record = current ? std::optional<TransferRecord>(*current) : std::nullopt;
    const int row = m_rows.fileDone();
    if (row < 0)
        return std::nullopt;
    setCell(row, 1, stateWord(TransferState::Completed));
    setCell(row, 2, QStringLiteral("100%"));
    return record;
}

bool BatchQueue::allDone(int batch)
{
    const bool current = m_batches.isCurrent(batch);
    m_batches.end(batch);
    if (current)
        endCommand();
    return current;
}

int BatchQueue::failureAction(int batch)
{
    const bool current = m_batches.isCurrent(batch);
    const int action = m_batches.failureAction(batch);
    if (current)
        endCommand();
    return action;
}

void BatchQueue::endCommand()
{
    if (IQueueView* queue = m_owner->transInfoTab())
        queue->resetPendingAction();
}

std::optional<TransferRecord> BatchQueue::pause()
{
    const int row = m_rows.pause();
    if (row < 0)
        return std::nullopt;
    setCell(row, 1, stateWord(TransferState::Paused));
    return *m_rows.current();
}

std::optional<TransferRecord> BatchQueue::fail(const CString& word)
{
    const TransferRecord* record = m_rows.current();
    if (!record)
        return std::nullopt;
    setCell(m_rows.currentRow(), 1, word);
    return *record;
}

std::optional<std::vector<TransferRecord>> BatchQueue::remove(const std::vector<int>& rows, StringId questionId,
                                                              QWidget* boxOwner)
{
    const std::vector<TransferRecord>& records = m_rows.records();
    for (int row : rows) {
        if (row < 0 || row >= int(records.size()))
            continue;
        const TransferState state = records[row].state;
        if ((state == TransferState::Ongoing || state == TransferState::Paused)
            && MessageBox(boxOwner, loadLocalizedString(questionId), loadLocalizedString(StringId::SureToDelete),
                          MB_YESNO | MB_ICONQUESTION)
                   != IDYES)
            return std::nullopt;
    }
    std::vector<TransferRecord> removed = m_rows.remove(rows);
    cancelForDelete();
    return removed;
}

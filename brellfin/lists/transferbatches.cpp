#include "brellfin/lists/transferbatches.h"

#include "brellfin/ui/transferrecord.h"

TransferBatches::TransferBatches(QObject* context, BatchNotifyTarget* target)
    : m_context(context)
    , m_target(target)
{
}

TransferBatches::~TransferBatches() = default;

IFileNotify* TransferBatches::begin()
{
    ++m_current;
    m_running.insert(m_current);
    m_posters.push_back(std::make_unique<FileNotifyPoster>(m_context, m_target, m_current));
    return m_posters.back().get();
}

void TransferBatches::cancelCurrent(int pendingAction)
{
    // A batch that has ended already reports nothing more to read it with.
    if (!currentRunning())
        return;
    if (pendingAction == PendingPause || pendingAction == PendingDelete || pendingAction == PendingDeleteAll)
        m_kept[m_current] = pendingAction;
}

void TransferBatches::end(int batch)
{
    m_running.erase(batch);
    m_kept.erase(batch);
}

int TransferBatches::failureAction(int batch)
{
    int action = isCurrent(batch) ? int(PendingNone) : kDroppedReport;
    const auto kept = m_kept.find(batch);
    if (kept != m_kept.end())
        action = kept->second;
    end(batch);
    return action;
}

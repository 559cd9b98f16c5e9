#include "brellfin/ui/transferbatches.h"

#include "brellfin/ui/transferrecord.h"

TransferBatches::TransferBatches(QObject* context, BatchNotifyTarget* target) : m_context(context), m_target(target) {}

TransferBatches::~TransferBatches() = default;

IFileNotify* TransferBatches::begin()
{
    ++m_current;
    m_posters.push_back(std::make_unique<FileNotifyPoster>(m_context, m_target, m_current));
    return m_posters.back().get();
}

void TransferBatches::cancelCurrent(int pendingAction)
{
    if (m_current == 0)
        return;
    if (pendingAction == PendingPause || pendingAction == PendingDelete || pendingAction == PendingDeleteAll)
        m_kept[m_current] = pendingAction;
}

int TransferBatches::failureAction(int batch, int pendingNow)
{
    const auto kept = m_kept.find(batch);
    if (kept != m_kept.end()) {
        const int action = kept->second;
        m_kept.erase(kept);
        return action;
    }
    return isCurrent(batch) ? pendingNow : -1;
}

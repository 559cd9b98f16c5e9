#include "brellfin/lists/transferrows.h"

#include <algorithm>
#include <cmath>

TransferRecord* TransferRows::current()
{
    if (m_currentRow < 0 || m_currentRow >= int(m_records.size()))
        return nullptr;
    return &m_records[m_currentRow];
}

void TransferRows::clear()
{
    m_records.clear();
    m_currentRow = 0;
}

int TransferRows::start(const CString& localPath)
{
    const auto found = std::find_if(m_records.begin(), m_records.end(),
                                    [&](const TransferRecord& record) { return record.localPath == localPath; });
    if (found != m_records.end())
        m_currentRow = int(found - m_records.begin());
    TransferRecord* record = current();
    if (!record)
        return -1;
    record->state = TransferState::Ongoing;
    return m_currentRow;
}

CString TransferRows::progressText(double fraction)
{
    if (!m_progressTick)
        return CString();
    m_progressTick = false;
    if (!(fraction > 0))
        fraction = 0;
    const int percent = int(std::min(fraction, 1.0) * 100);
    return QString::number(percent) + '%';
}

int TransferRows::fileDone()
{
    TransferRecord* record = current();
    const int row = record ? m_currentRow : -1;
    if (record) {
        record->state = TransferState::Completed;
        record->progress = QStringLiteral("100%");
    }
    m_currentRow = 0;
    return row;
}

int TransferRows::pause()
{
    TransferRecord* record = current();
    if (!record)
        return -1;
    record->state = TransferState::Paused;
    return m_currentRow;
}

std::vector<TransferRecord> TransferRows::remove(const std::vector<int>& rows)
{
    std::vector<TransferRecord> kept;
    std::vector<TransferRecord> removed;
    for (int i = 0; i < int(m_records.size()); ++i) {
        if (std::find(rows.begin(), rows.end(), i) != rows.end())
            removed.push_back(m_records[i]);
        else
            kept.push_back(m_records[i]);
    }
    m_records = std::move(kept);
    m_currentRow = 0;
    return removed;
}

std::vector<TransferRecord> TransferRows::unfinished() const
{
    std::vector<TransferRecord> result;
    for (const TransferRecord& record : m_records)
        if (record.state != TransferState::Completed && record.state != TransferState::Unchecked)
            result.push_back(record);
    return result;
}

#pragma once

// The queue records of a list's batch and the record the transfer thread
// works on, as the list's notification handlers update them. Every index is
// checked: a report about a row that a delete removed changes nothing.

#include "brellfin/ui/transferrecord.h"

#include <vector>

class TransferRows {
public:
    std::vector<TransferRecord>& records() { return m_records; }
    const std::vector<TransferRecord>& records() const { return m_records; }
    int currentRow() const { return m_currentRow; }
    // The record of the current row, null when there is none.
    TransferRecord* current();

    void clear();
    void setProgressTick() { m_progressTick = true; }
    bool progressTick() const { return m_progressTick; }

    // A file begins: the first record with exactly this local path becomes
    // the current row (kept when none has it) and goes ongoing. The row, or
    // -1 when the current row holds no record.
    int start(const CString& localPath);
    // "42%" of the fraction (truncated, held to 0..100) when a tick is due,
    // which the call then takes; empty otherwise.
    CString progressText(double fraction);
    // The current file is done: state completed, "100%"; the current row
    // returns to 0. The row that was done, or -1.
    int fileDone();
    // The current file was stopped by a pause: state paused. Its row, or -1.
    int pause();
    // Keeps the records whose rows are not listed, in order; returns the
    // others. The current row returns to 0.
    std::vector<TransferRecord> remove(const std::vector<int>& rows);
    // The records still to be transferred (neither completed nor unchecked), in queue order.
    std::vector<TransferRecord> unfinished() const;

private:
    std::vector<TransferRecord> m_records;
    int m_currentRow = 0;
    bool m_progressTick = false;
};

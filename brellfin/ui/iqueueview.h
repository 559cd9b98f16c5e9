#pragma once

// The transfer queue and its log as the file lists fill them (the dialog's
// queue tab). The lists call setCell, appendLog and pendingAction also from
// their transfer reports; the rest on the UI thread.

#include "brellfin/ui/transferrecord.h"

#include <vector>

class IQueueView {
public:
    virtual ~IQueueView() = default;
    // A line of the log, after the time.
    virtual void appendLog(const CString& text) = 0;
    // One row per record after the rows already there, in the records' order.
    virtual void addRecords(const std::vector<TransferRecord>& records) = 0;
    virtual void setCell(int row, int column, const CString& text) = 0;
    virtual void clearQueue() = 0;
    // The queue command the user gave last (a PendingAction).
    virtual int pendingAction() const = 0;
    virtual void resetPendingAction() = 0;
};

#include "brellfin/service/transferthread.h"

#include "brellfin/service/ifilenotify.h"
#include "brellfin/service/serviceconstants.h"

TransferThread::TransferThread(IFileNotify* notify, FF::RPC::DispatchClient* client)
    : m_notify(notify)
    , m_client(client)
{
}

void TransferThread::startTransfer()
{
    if (!m_notify || !m_client)
        return;
    m_errorCode = NetworkError;
    m_cancel = false;
    start();
}

void TransferThread::cancel()
{
    m_errorCode = InterruptError;
    m_cancel = true;
}

void TransferThread::reportProgress(const std::string& localPath, std::uint64_t done, std::uint64_t size, bool first)
{
    const double fraction = double(done) / double(size);
    if (!first && m_delivered && m_delivered->fraction == fraction && m_delivered->localPath == localPath) {
        // Nothing new to tell.
        m_waiting.reset();
        return;
    }
    if (first || done == size || progressDue()) {
        m_waiting.reset();
        deliver(Report{localPath, fraction});
        return;
    }
    m_waiting = Report{localPath, fraction};
}

void TransferThread::deliver(const Report& report)
{
    m_sinceReport.start();
    m_delivered = report;
    m_notify->onTransferProgress(report.localPath, report.fraction);
}

bool TransferThread::progressDue() const
{
    return !m_sinceReport.isValid() || m_sinceReport.elapsed() >= BrellfinService::kProgressIntervalMs;
}

void TransferThread::flushProgress()
{
    if (!m_waiting)
        return;
    const Report report = *m_waiting;
    m_waiting.reset();
    deliver(report);
}

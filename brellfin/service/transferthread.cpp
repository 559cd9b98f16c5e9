#include "brellfin/service/transferthread.h"

#include "brellfin/ui/ifilenotify.h"

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

void TransferThread::reportProgress(const std::string& localPath, std::uint64_t done, std::uint64_t size)
{
    m_notify->onTransferProgress(localPath, double(done) / double(size));
}

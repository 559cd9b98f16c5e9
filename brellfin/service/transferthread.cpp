#include "brellfin/service/transferthread.h"

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

#include "brellfin/service/filesession.h"

#include "framework/rpc/dispatchclient.h"
#include "platform/exceptionlog/exceptionlog.h"

FileSession::FileSession(const FF::Net::Address& address, std::unique_ptr<FF::RPC::DispatchClient> client)
    : m_address(address)
    , m_client(std::move(client))
    , m_sendThread(BrellfinService::kThreadEndLimitMs, BrellfinService::kThreadCancelLimitMs, m_client)
    , m_fetchThread(BrellfinService::kThreadEndLimitMs, BrellfinService::kThreadCancelLimitMs, m_client)
{
}

FileSession::~FileSession()
{
    // Whatever the panel does, every call in flight ends now: the threads
    // stop before their next piece, and a call that waits for its answer
    // (and any call after it) fails at the connection's break instead of at
    // its time-out. What the files hold stays for a resume.
    if (m_sendThread)
        m_sendThread.get()->cancel();
    if (m_fetchThread)
        m_fetchThread.get()->cancel();
    breakConnection();
    const bool sendEnded = m_sendThread.reset();
    const bool fetchEnded = m_fetchThread.reset();
    if (!sendEnded || !fetchEnded) {
        // A thread left running still calls through the client: it has its
        // share, and the client goes when the last such thread has ended.
        qWarning("file session released with a transfer thread still running: its connection stays open until "
                 "the thread ends");
        return;
    }
    try {
        m_client->stop();
    } catch (...) {
        // The client is deleted below in any case.
        platform::reportEscapedException("~FileSession");
    }
    m_client.reset();
}

void FileSession::breakConnection()
{
    try {
        // The connection stops at once, as a break, whatever state the client
        // is in: it goes offline and tells every waiting call. stop() alone
        // would first wait for the panel's end of the connection, which a
        // frozen panel never sends.
        m_client->breakConnection();
    } catch (...) {
        platform::reportEscapedException("FileSession break");
    }
}

#include "brellfin/service/filesession.h"

#include "framework/rpc/dispatchclient.h"
#include "platform/exceptionlog/exceptionlog.h"

FileSession::FileSession(const FF::Net::Address& address, std::unique_ptr<FF::RPC::DispatchClient> client)
    : m_address(address)
    , m_client(std::move(client))
{
}

FileSession::~FileSession()
{
    const bool sendEnded = m_sendThread.reset();
    const bool fetchEnded = m_fetchThread.reset();
    if (!sendEnded || !fetchEnded) {
        // A thread left running still calls through the client: it stays.
        qWarning("file session released with a transfer thread still running: its connection stays open");
        static_cast<void>(m_client.release());
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

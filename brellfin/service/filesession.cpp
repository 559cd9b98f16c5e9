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
    m_sendThread.reset();
    m_fetchThread.reset();
    try {
        m_client->stop();
    } catch (...) {
        // The client is deleted below in any case.
        platform::reportEscapedException("~FileSession");
    }
    m_client.reset();
}

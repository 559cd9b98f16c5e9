#include "framework/net/tcpsession.h"

#include "framework/net/iconnectable.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpconnectionthread.h"
#include "platform/exceptionlog/exceptionlog.h"

namespace FF {
namespace Net {

TCPSession::TCPSession(NetBuffer&& message, TCPConnection* connection)
    : m_message(std::move(message))
    , m_connection(connection)
{
    ++m_connection->impl()->m_sessions;
}

TCPSession::~TCPSession()
{
    if (m_counted)
        --m_connection->impl()->m_sessions;
}

bool TCPSession::send(NetBuffer& buffer)
{
    return m_connection->impl()->send(buffer, kNoDeadline) == SendResult::Sent;
}

void TCPSession::closeNow()
{
    m_connection->closeNow();
}

void TCPSession::close()
{
    m_connection->close();
}

Address TCPSession::peerAddress()
{
    return m_connection->peerAddress();
}

int TCPSession::dispatch()
{
    __TCPConnection* impl = m_connection->impl();
    if (IConnectable* handler = impl->handler()) {
        try {
            handler->onReceived(this);
        } catch (...) {
            // The handler answers for the call a message belongs to; here the
            // message ends and the connection serves the next one.
            platform::reportEscapedException("TCPSession reply handler");
        }
    }
    if (!m_counted)
        return impl->m_sessions;
    m_counted = false;
    return --impl->m_sessions;
}

} // namespace Net
} // namespace FF

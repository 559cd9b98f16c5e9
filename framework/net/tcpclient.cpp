#include "framework/net/tcpclient.h"

#include "framework/net/exception.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpconnectionthread.h"
#include "framework/net/tcpsocket.h"
#include "platform/clock/monotonicclock.h"
#include "platform/fd/uniquefd.h"

namespace FF {
namespace Net {

namespace {

class __DefaultFactory : public IClientFactory {
public:
    IClient* create(const Address& address) override { return new TCPClient(address); }
};

} // namespace

TCPClient::TCPClient(const Address& address)
{
    platform::UniqueFd socket(TCPSocket::Instance().createClient(address, address.port(), kClientRecvTimeoutMs));
    m_connection.reset(new TCPConnection(socket.get(), address));
    socket.release(); // the connection's now
}

TCPClient::~TCPClient()
{
    if (m_connection->impl()->m_running || m_connection->impl()->isRunning())
        close();
}

IClientFactory* TCPClient::NewFactory()
{
    return new __DefaultFactory;
}

bool TCPClient::CheckConnection(const Address& address, unsigned int windowMs)
{
    return TCPSocket::Instance().checkConnection(address, address.port(), windowMs);
}

void TCPClient::connect()
{
    __TCPConnection* impl = m_connection->impl();
    if (!impl->m_handler.load())
        throw Exception("TCPConnection.connect", "host not setted");
    if (impl->isRunning() || impl->isFinished())
        return;
    impl->m_running = true;
    impl->start(QThread::InheritPriority);
}

void TCPClient::close()
{
    __TCPConnection* impl = m_connection->impl();
    impl->close();
    // The receive thread ends when the peer closes too, or on its own after
    // kCloseIdleLimitMs of silence. A peer that keeps talking (a trickle,
    // pings) never lets the silence come: the wait has an end of its own.
    if (!impl->wait(static_cast<unsigned long>(kCloseWaitLimitMs))) {
        impl->m_running = false;
        impl->wake();
    }
    impl->wait();
    impl->waitForCallers();
    while (impl->m_sessions != 0)
        platform::yieldThread();
}

void TCPClient::setHandler(IConnectable* handler)
{
    m_connection->impl()->m_handler = handler;
}

void TCPClient::setTickInterval(std::uint64_t ms)
{
    m_connection->impl()->m_tickInterval = ms;
}

void TCPClient::setUserValue(std::uint32_t value)
{
    m_connection->impl()->m_userValue = value;
}

bool TCPClient::send(NetBuffer& buffer)
{
    return m_connection->impl()->send(buffer, kNoDeadline) == SendResult::Sent;
}

SendResult TCPClient::sendBefore(NetBuffer& buffer, std::uint64_t deadlineMs)
{
    return m_connection->impl()->send(buffer, deadlineMs);
}

bool TCPClient::isRunning()
{
    return m_connection->impl()->m_running;
}

Address TCPClient::peerAddress()
{
    return m_connection->impl()->m_peer;
}

Address TCPClient::localAddress()
{
    return m_connection->impl()->m_local;
}

AsideRead TCPClient::readAside(std::uint32_t waitMs, const std::function<bool()>& waiting)
{
    return m_connection->impl()->readAside(waitMs, waiting);
}

bool TCPClient::awaitReader()
{
    return m_connection->impl()->awaitReader();
}

void TCPClient::endAwait()
{
    m_connection->impl()->endAwait();
}

} // namespace Net
} // namespace FF

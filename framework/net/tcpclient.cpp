#include "framework/net/tcpclient.h"

#include "framework/net/exception.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpconnectionthread.h"
#include "framework/net/tcpsocket.h"
#include "framework/utils/leftrunning.h"
#include "platform/fd/uniquefd.h"

#include <QDeadlineTimer>
#include <QtGlobal>

#include <chrono>
#include <string>

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
    __TCPConnection* impl = m_connection->impl();
    if (!m_closed && (impl->m_running || impl->isRunning()))
        close();
    if (!impl->quiet()) {
        // A receive thread that close() left running still uses the
        // connection (and deleting a running thread ends the program): the
        // connection stays until the thread has ended.
        const auto ended = [impl] { return impl->quiet(); };
        FF::utils::LeftRunning::keep(std::shared_ptr<TCPConnection>(std::move(m_connection)), ended,
                                     "a TCP connection");
    }
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
    impl->markStarted();
    impl->start(QThread::InheritPriority);
}

void TCPClient::close()
{
    m_closed = true;
    __TCPConnection* impl = m_connection->impl();
    const bool wasRunning = impl->m_running;
    impl->close();
    // The receive thread ends when the peer closes too, or on its own after
    // kCloseIdleLimitMs of silence. A peer that keeps talking (a trickle,
    // pings) never lets the silence come: the wait has an end of its own.
    if (wasRunning)
        impl->wait(static_cast<unsigned long>(kCloseWaitLimitMs));
    impl->stopReceiving();
    // Told to stop, the receive loop ends within a step, and a caller
    // reading aside leaves within one. What keeps either longer is a handler
    // that does not return: that is left running (see the destructor), not
    // waited for without end.
    // Whatever is left running then is cut off from the handler before the
    // return: its owner may delete the handler from here on. A thread still
    // in a callback returns from that one alone.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseEndLimitMs);
    const __TCPConnection::Ended ended = impl->cutOffBy(end);
    const std::string peer = impl->m_peer.toString();
    const auto limit = static_cast<unsigned long long>(kCloseEndLimitMs);
    if (!ended.thread)
        qWarning("TCPClient close: the receive thread of %s still runs %llu ms after it was told to stop (its "
                 "handler has not returned): left running",
                 peer.c_str(), limit);
    else
        impl->wait(QDeadlineTimer(static_cast<qint64>(kCloseEndLimitMs))); // past its last callback: ends at once
    if (!ended.callers)
        qWarning("TCPClient close: a caller still reads %s aside %llu ms after the connection stopped (its handler "
                 "has not returned): left reading",
                 peer.c_str(), limit);
}

void TCPClient::closeNow()
{
    m_connection->closeNow();
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

bool TCPClient::isQuiet()
{
    return m_connection->impl()->quiet();
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

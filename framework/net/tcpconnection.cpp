#include "framework/net/tcpconnection.h"

#include "framework/net/tcpconnectionthread.h"

#include <QDebug>

namespace FF {
namespace Net {

TCPConnection::TCPConnection(platform::SocketHandle socket, const Address& peer)
    : m_impl(new __TCPConnection(this, socket, peer))
{
    qDebug("connection [%s] connect", peer.toString().c_str());
}

TCPConnection::~TCPConnection() = default;

void TCPConnection::closeNow()
{
    m_impl->closeNow();
}

void TCPConnection::close()
{
    m_impl->close();
}

bool TCPConnection::isBroken()
{
    return m_impl->m_state == __TCPConnection::Broken;
}

std::uint64_t TCPConnection::idleTime()
{
    return m_impl->m_idle;
}

Address TCPConnection::peerAddress()
{
    return m_impl->m_peer;
}

} // namespace Net
} // namespace FF

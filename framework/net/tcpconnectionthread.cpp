#include "framework/net/tcpconnectionthread.h"

#include "framework/net/iconnectable.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpsession.h"
#include "framework/net/tcpsocket.h"
#include "platform/clock/monotonicclock.h"

#include <QDebug>

namespace FF {
namespace Net {

__TCPConnection::__TCPConnection(TCPConnection* owner, platform::SocketHandle socket, const Address& peer)
    : m_tickInterval(kDefaultTickIntervalMs)
    , m_lastTick(platform::monotonicMs())
    , m_peer(peer)
    , m_local(TCPSocket::Instance().localAddress(socket))
    , m_socket(socket)
    , m_owner(owner)
{
}

__TCPConnection::~__TCPConnection()
{
    m_running = false;
    wait();
    TCPSocket::Instance().closeSocket(m_socket);
    qDebug("connection [%s] disconnected", m_peer.toString().c_str());
}

bool __TCPConnection::send(NetBuffer& buffer)
{
    std::lock_guard<std::mutex> guard(m_sendLock);
    return TCPSocket::Instance().sendMessage(m_socket, buffer);
}

void __TCPConnection::markStopped()
{
    m_running = false;
    int open = Open;
    m_state.compare_exchange_strong(open, Broken);
}

void __TCPConnection::closeNow()
{
    if (!m_running)
        return;
    // A graceful close in progress keeps its state but stops receiving too,
    // so a peer that never closes cannot keep the loop alive.
    markStopped();
    TCPSocket::Instance().shutdownSend(m_socket);
}

void __TCPConnection::close()
{
    if (!m_running)
        return;
    int open = Open;
    m_state.compare_exchange_strong(open, Closing);
    TCPSocket::Instance().shutdownSend(m_socket);
}

bool __TCPConnection::afterReceive(std::size_t bytes)
{
    if (!m_running)
        return false;
    if (bytes == 0)
        m_idle += kIdleStepMs;
    else
        m_idle = 0;
    const std::uint64_t now = platform::monotonicMs();
    if (now > m_lastTick + m_tickInterval) {
        if (IConnectable* handler = m_handler.load()) {
            try {
                handler->onTick(m_owner);
            } catch (...) {
            }
        }
        m_lastTick = platform::monotonicMs();
    }
    return true;
}

void __TCPConnection::run()
{
    try {
        while (m_running) {
            NetBuffer message;
            if (!TCPSocket::Instance().receiveMessage(m_socket, message, *this))
                continue;
            m_idle = 0;
            TCPSession session(std::move(message), m_owner);
            session.dispatch();
        }
    } catch (...) {
        // An illegal header or a failed allocation ends the connection.
        markStopped();
    }
    if (IConnectable* handler = m_handler.load()) {
        try {
            handler->onDisconnected(m_owner);
        } catch (...) {
        }
    }
}

} // namespace Net
} // namespace FF

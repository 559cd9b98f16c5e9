#include "framework/net/tcpconnectionthread.h"

#include "framework/net/iconnectable.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpsession.h"
#include "framework/net/tcpsocket.h"
#include "platform/clock/monotonicclock.h"

#include <QDebug>

#include <chrono>

namespace FF {
namespace Net {

namespace {

// True on the receive thread of any connection, where a send must not wait.
thread_local bool t_receiveThread = false;

} // namespace

__TCPConnection::__TCPConnection(TCPConnection* owner, platform::SocketHandle socket, const Address& peer)
    : m_tickInterval(kDefaultTickIntervalMs)
    , m_lastTick(platform::monotonicMs())
    , m_peer(peer)
    , m_local(TCPSocket::Instance().localAddress(socket))
    , m_owner(owner)
{
    // Last, when nothing can throw any more.
    m_socket.reset(socket);
}

__TCPConnection::~__TCPConnection()
{
    m_running = false;
    wait();
    m_socket.reset();
    qDebug("connection [%s] disconnected", m_peer.toString().c_str());
}

SendResult __TCPConnection::send(NetBuffer& buffer, std::uint64_t deadlineMs)
{
    std::unique_lock<std::timed_mutex> lock(m_sendLock, std::defer_lock);
    std::uint64_t startBy = deadlineMs;
    std::uint64_t finishBy = deadlineMs;
    if (t_receiveThread) {
        if (!lock.try_lock())
            return SendResult::TimedOut;
        startBy = platform::monotonicMs();
        finishBy = startBy + kReceiveThreadSendMs;
    } else if (deadlineMs == kNoDeadline) {
        lock.lock();
    } else {
        const std::uint64_t now = platform::monotonicMs();
        const bool locked = now >= deadlineMs ? lock.try_lock()
                                              : lock.try_lock_for(std::chrono::milliseconds(deadlineMs - now));
        if (!locked)
            return SendResult::TimedOut;
    }
    switch (TCPSocket::Instance().sendFrame(m_socket.get(), buffer, startBy, finishBy, &m_sendsEnd, &m_idle)) {
    case TCPSocket::FrameSent::Whole: return SendResult::Sent;
    case TCPSocket::FrameSent::NotStarted: return SendResult::TimedOut;
    case TCPSocket::FrameSent::Cut:
        lock.unlock();
        // The peer holds part of a frame: nothing sent after it could be
        // read as a frame, so the connection ends here as a break.
        m_sendsEnd = true;
        closeNow();
        return SendResult::TimedOut;
    case TCPSocket::FrameSent::Failed: break;
    }
    return SendResult::Failed;
}

void __TCPConnection::markStopped()
{
    m_sendsEnd = true;
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
    TCPSocket::Instance().shutdownSend(m_socket.get());
}

void __TCPConnection::close()
{
    if (!m_running)
        return;
    int open = Open;
    m_state.compare_exchange_strong(open, Closing);
    TCPSocket::Instance().shutdownSend(m_socket.get());
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
    t_receiveThread = true;
    // One message block goes round: into the session, back for the next frame.
    NetBuffer message;
    try {
        while (m_running) {
            if (!m_reader.receiveMessage(m_socket.get(), message, *this))
                continue;
            m_idle = 0;
            TCPSession session(std::move(message), m_owner);
            session.dispatch();
            message = session.takeMessage();
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

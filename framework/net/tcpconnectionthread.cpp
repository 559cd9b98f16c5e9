#include "framework/net/tcpconnectionthread.h"

#include "framework/net/iconnectable.h"
#include "framework/net/netconstants.h"
#include "framework/net/tcpconnection.h"
#include "framework/net/tcpsession.h"
#include "framework/net/tcpsocket.h"
#include "platform/clock/monotonicclock.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QDebug>

#include <algorithm>
#include <chrono>

namespace FF {
namespace Net {

namespace {

// True on the receive thread of any connection, where a send must not wait.
thread_local bool t_receiveThread = false;

bool ended(const platform::ReceiveResult& result)
{
    return result.status == platform::ReceiveStatus::Closed || result.status == platform::ReceiveStatus::Failed;
}

// Marks the read side as the receive thread's for as long as it lives.
class TurnMark {
public:
    explicit TurnMark(std::atomic<bool>& mark)
        : m_mark(mark)
    {
        m_mark = true;
    }
    ~TurnMark() { m_mark = false; }
    TurnMark(const TurnMark&) = delete;
    TurnMark& operator=(const TurnMark&) = delete;

private:
    std::atomic<bool>& m_mark;
};

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
    m_wake.signal();
    wait();
    m_socket.reset();
    qDebug("connection [%s] disconnected", m_peer.toString().c_str());
}

SendResult __TCPConnection::send(NetBuffer& buffer, std::uint64_t deadlineMs)
{
    std::unique_lock<SendGate> lock(m_sendLock, std::defer_lock);
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
    // The break first: the receive thread reports the end as soon as it sees
    // the loop stopped, and its handler asks then how the connection ended.
    // Marked the other way round, a break that a caller reading aside found
    // could be reported as a close of this side's own.
    int open = Open;
    m_state.compare_exchange_strong(open, Broken);
    m_running = false;
    if (m_afterStopForTesting)
        m_afterStopForTesting();
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
    // From now on the receive thread waits on the socket for the peer's end.
    m_wake.signal();
}

void __TCPConnection::stopReceiving()
{
    m_sendsEnd = true;
    m_running = false;
    m_wake.signal();
}

void __TCPConnection::markStarted()
{
    std::lock_guard<std::mutex> guard(m_endLock);
    m_threadPending = true;
}

IConnectable* __TCPConnection::handler() const
{
    std::lock_guard<std::mutex> guard(m_endLock);
    return m_cutOff ? nullptr : m_handler.load();
}

__TCPConnection::Ended __TCPConnection::cutOffBy(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_endLock);
    m_endChanged.wait_until(lock, deadline, [this] { return !m_threadPending && m_asideReaders == 0; });
    // Still under the lock the wait ended in: a thread that leaves its
    // callback now and looks for its next one (the end's report) finds the
    // cut, however close to the deadline it comes.
    m_cutOff = true;
    return {!m_threadPending, m_asideReaders == 0};
}

bool __TCPConnection::quiet()
{
    // A join that does not wait, rather than isRunning(): whoever deletes
    // the connection next must see all that the thread did before its end
    // (a join is what the ThreadSanitizer tree is told orders that).
    // Asked on the receive thread itself, the answer is no, without a join
    // of itself.
    if (QThread::currentThread() == this)
        return false;
    return wait(0) && m_asideReaders == 0 && m_sessions == 0;
}

bool __TCPConnection::afterReceive(std::size_t bytes)
{
    if (!m_running)
        return false;
    stepActivity(bytes != 0);
    return true;
}

void __TCPConnection::stepActivity(bool bytesCame)
{
    const std::uint64_t now = platform::monotonicMs();
    // At most one step's worth per step, as one empty receive counted: a
    // receive thread that gets no processor for a while does not count the
    // silence it did not see.
    if (bytesCame)
        m_idle = 0;
    else
        m_idle += std::min<std::uint64_t>(now - m_lastStep, kIdleStepMs);
    m_lastStep = now;
    if (now > m_lastTick + m_tickInterval) {
        if (IConnectable* handler = this->handler()) {
            try {
                handler->onTick(m_owner);
            } catch (...) {
                platform::reportEscapedException("TCPConnection tick handler");
            }
        }
        m_lastTick = platform::monotonicMs();
    }
    // A close waits for the peer's end this long at most when it is silent.
    if (m_state == Closing && m_idle > kCloseIdleLimitMs)
        m_running = false;
}

bool __TCPConnection::callersRead() const
{
    // The socket is the reading caller's meanwhile: waiting on it, this
    // thread would find it readable again and again (a closing peer's end
    // too) and could not read it.
    if (m_asideReaders > 0)
        return true;
    // A connection closing waits on the socket for the peer's end.
    if (m_state != Open)
        return false;
    if (m_asideWaiters > 0)
        return false;
    return platform::monotonicMs() - m_lastAside < kAsideQuietMs;
}

void __TCPConnection::waitForTurn()
{
    const platform::SocketHandle socket = callersRead() ? platform::kInvalidSocket : m_socket.get();
    const unsigned ready = platform::waitForInput(socket, m_wake.fd(), static_cast<std::uint32_t>(kIdleStepMs));
    if (ready & platform::kWakeReady)
        m_wake.clear();
}

bool __TCPConnection::receiveTurn()
{
    bool bytesCame = false;
    for (int receives = 0;; ++receives) {
        while (m_running && m_reader.takeFrame(m_message, *this)) {
            TCPSession session(std::move(m_message), m_owner);
            session.dispatch();
            m_message = session.takeMessage();
        }
        if (!m_running || receives == kReceivesPerTurn)
            break;
        const platform::ReceiveResult result = m_reader.receiveOnce(m_socket.get(), false);
        if (result.status == platform::ReceiveStatus::Data) {
            // Before the frames they complete are dispatched.
            m_idle = 0;
            bytesCame = true;
            continue;
        }
        if (ended(result))
            markStopped();
        break;
    }
    return bytesCame;
}

void __TCPConnection::dispatchHandedOver()
{
    for (;;) {
        NetBuffer message;
        {
            std::lock_guard<std::mutex> guard(m_handOverLock);
            if (m_handedOver.empty())
                return;
            message = std::move(m_handedOver.front());
            m_handedOver.pop_front();
        }
        if (!m_running)
            continue; // it ends with the connection
        TCPSession session(std::move(message), m_owner);
        session.dispatch();
    }
}

void __TCPConnection::run()
{
    t_receiveThread = true;
    m_lastStep = platform::monotonicMs();
    try {
        while (m_running) {
            waitForTurn();
            dispatchHandedOver();
            bool bytesCame = m_asideBytes.exchange(false);
            {
                // A caller holding the read side reads for everyone meanwhile.
                std::unique_lock<std::mutex> lock(m_readLock, std::try_to_lock);
                if (lock.owns_lock() && m_running) {
                    const TurnMark turn(m_receiveTurn);
                    if (receiveTurn())
                        bytesCame = true;
                }
            }
            if (!m_running)
                break;
            stepActivity(bytesCame);
        }
    } catch (...) {
        // An illegal header or a failed allocation ends the connection.
        platform::reportEscapedException("TCPConnection receive thread");
        markStopped();
    }
    {
        std::lock_guard<std::mutex> guard(m_handOverLock);
        m_handedOver.clear();
    }
    if (IConnectable* handler = this->handler()) {
        try {
            handler->onDisconnected(m_owner);
        } catch (...) {
            platform::reportEscapedException("TCPConnection disconnect handler");
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_endLock);
        m_threadPending = false;
    }
    m_endChanged.notify_all();
}

void __TCPConnection::passWholeFrames()
{
    while (m_running && m_reader.takeFrame(m_message, *this)) {
        bool taken = false;
        {
            TCPSession session(std::move(m_message), m_owner);
            if (IConnectable* handler = this->handler()) {
                try {
                    taken = handler->onReceivedAside(&session);
                } catch (...) {
                    platform::reportEscapedException("TCPConnection reply handler, read aside");
                    taken = true; // as the receive thread's dispatch, the exception ends the message
                }
            }
            m_message = session.takeMessage();
        }
        if (taken)
            continue;
        m_message.setReadPos(0);
        {
            std::lock_guard<std::mutex> guard(m_handOverLock);
            m_handedOver.push_back(std::move(m_message));
        }
        m_message = NetBuffer();
        m_wake.signal();
    }
}

AsideRead __TCPConnection::readAside(std::uint32_t waitMs, const std::function<bool()>& waiting)
{
    if (!m_running)
        return AsideRead::Stopped;
    ++m_asideReaders;
    m_lastAside = platform::monotonicMs();
    AsideRead result = AsideRead::Busy;
    {
        std::unique_lock<std::mutex> lock(m_readLock, std::try_to_lock);
        if (lock.owns_lock()) {
            try {
                passWholeFrames();
                // Whatever ended the caller's wait before it got here was
                // passed on under this lock, so it shows now.
                if (waitMs > 0 && waiting && !waiting())
                    waitMs = 0;
                platform::ReceiveResult received;
                received.status = platform::ReceiveStatus::NoData;
                if (m_running && (waitMs == 0 || waitReadable(waitMs)))
                    received = m_reader.receiveOnce(m_socket.get(), false);
                if (received.status == platform::ReceiveStatus::Data) {
                    m_idle = 0;
                    m_asideBytes = true;
                    passWholeFrames();
                    result = AsideRead::Read;
                } else {
                    if (ended(received))
                        markStopped();
                    result = m_running ? AsideRead::Nothing : AsideRead::Stopped;
                }
            } catch (...) {
                // An illegal header (marked already) or a failed allocation.
                platform::reportEscapedException("TCPConnection read aside");
                markStopped();
                result = AsideRead::Stopped;
            }
            // The end this caller saw is the receive thread's to report, at
            // once: it may be waiting away from the socket.
            if (result == AsideRead::Stopped)
                m_wake.signal();
        }
    }
    // The last caller to leave wakes the receive thread for those that count
    // on a reader to pass their replies on, a closing receive thread for the
    // peer's end, and a close waiting for callers.
    if (--m_asideReaders == 0) {
        if (m_asideWaiters > 0 || m_state != Open)
            m_wake.signal();
        if (!m_running) {
            std::lock_guard<std::mutex> guard(m_endLock);
            m_endChanged.notify_all();
        }
    }
    return result;
}

bool __TCPConnection::waitReadable(std::uint32_t waitMs)
{
    const std::uint64_t until = platform::monotonicMs() + waitMs;
    for (;;) {
        const std::uint64_t now = platform::monotonicMs();
        if (!m_running || now >= until)
            return false;
        const auto step = static_cast<std::uint32_t>(std::min<std::uint64_t>(until - now, kIdleStepMs));
        if (platform::waitForInput(m_socket.get(), -1, step) & platform::kSocketReady)
            return true;
    }
}

bool __TCPConnection::awaitReader()
{
    // Counted first, against readAside's leaving: either that caller sees
    // this one waiting or this one sees no caller left.
    ++m_asideWaiters;
    if (m_running && m_asideReaders > 0)
        return true;
    // The receive thread in its turn: this caller sleeps instead of looking
    // again and again while a frame is dispatched (perhaps by a handler that
    // does not return). Counted before the turn ended, it is seen once the
    // turn is over: the receive thread then waits on the socket for as long
    // as anyone waits, and passes each reply on as it comes.
    if (m_running && m_receiveTurn)
        return true;
    // Nobody holds the read side any more: the caller looks again itself.
    --m_asideWaiters;
    return false;
}

void __TCPConnection::endAwait()
{
    --m_asideWaiters;
}

} // namespace Net
} // namespace FF

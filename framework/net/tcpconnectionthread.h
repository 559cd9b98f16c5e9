#pragma once

// The receive side of a TCP connection: owns the socket and runs the receive
// loop on its own thread; the connection, client and session objects reach
// the socket only through it.
//
// The socket's receive side (the frame reader and the message block) is
// held by one thread at a time: the receive thread, or a caller that reads
// its own reply (readAside), so that a reply needs no second thread woken.
// Whoever holds it cuts the frames and, for replies, passes them on while
// still holding it; a caller that holds it and finds its call still waiting
// therefore knows that no reply of its own is on its way elsewhere.

#include "framework/net/address.h"
#include "framework/net/asideread.h"
#include "framework/net/framereader.h"
#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
#include "framework/net/sendgate.h"
#include "framework/net/sendresult.h"
#include "platform/fd/uniquefd.h"
#include "platform/socket/posixsocket.h"
#include "platform/socket/wakeevent.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace FF {
namespace Net {

class IConnectable;
class TCPConnection;

class __TCPConnection : public QThread, public IReceiveControl {
public:
    enum State { Open = 0, Broken = 1, Closing = 2 };

    // Takes the socket over once constructed; a constructor that throws
    // leaves it with the caller.
    __TCPConnection(TCPConnection* owner, platform::SocketHandle socket, const Address& peer);
    // Waits for the thread, closes the socket and prints the disconnect.
    ~__TCPConnection() override;

    // One frame out, its last byte by deadlineMs (monotonic; kNoDeadline for
    // none). One send lock per connection keeps frames whole when callers
    // and the receive thread send at the same time. A frame that cannot
    // start by the deadline is not sent; one cut short closes the connection
    // at once (broken), since the stream is no longer framed. On any
    // connection's receive thread a send never waits: not for the lock, not
    // for room (the frame is skipped), and it gives a started frame only a
    // short while to finish; that thread must go on reading.
    SendResult send(NetBuffer& buffer, std::uint64_t deadlineMs);
    void closeNow();
    void close();

    // A caller's own look at the socket (IClient::readAside): frames it
    // makes whole go to the handler's onReceivedAside, those it declines to
    // the receive thread. A break seen here stops the connection and leaves
    // its end to the receive thread.
    AsideRead readAside(std::uint32_t waitMs, const std::function<bool()>& waiting);
    bool awaitReader();
    void endAwait();
    // Tells the receive loop to stop, whatever the peer does, and lets it
    // out of its wait at once.
    void stopReceiving();
    // What had ended when the connection was cut off from its handler.
    struct Ended {
        bool thread;  // the receive thread, past its last callback
        bool callers; // every caller reading aside (one that comes later
                      // finds the connection stopped and calls nothing)
    };
    // Once the connection stopped: waits until both have ended or the
    // deadline passed, then cuts the connection off from its handler, in
    // one step under the lock in which every callback starts (handler()):
    // a thread either started its callback before the cut, and is inside
    // it still, or starts none. From then on no callback starts, on any
    // thread; one that a thread is inside is the only one left, and it is
    // that thread's own.
    Ended cutOffBy(std::chrono::steady_clock::time_point deadline);
    // The receive thread is about to start: one more last callback to come.
    void markStarted();
    // True once nothing runs in the connection: its receive thread has ended
    // (or never started) and no caller reads it or dispatches from it.
    bool quiet();
    // The handler for the callback about to start, or null once the
    // connection was cut off from it. Taken right before each call, never
    // kept across one.
    IConnectable* handler() const;

    void markStopped() override;
    // For tests: runs on whichever thread marks the connection stopped, right
    // after it told the receive loop to stop. Set before connect().
    void setAfterStopForTesting(std::function<void()> hook) { m_afterStopForTesting = std::move(hook); }
    bool afterReceive(std::size_t bytes) override;
    Address peerAddress() const override { return m_peer; }

    std::atomic<bool> m_running{false};
    std::atomic<int> m_sessions{0};
    std::atomic<int> m_state{Open};
    std::atomic<std::uint64_t> m_tickInterval;
    std::uint64_t m_lastTick; // receive thread only
    std::atomic<std::uint64_t> m_idle{0};
    const Address m_peer;
    Address m_local;
    platform::UniqueFd m_socket; // taken over by the constructor's body
    std::atomic<std::uint32_t> m_userValue{0};
    std::atomic<IConnectable*> m_handler{nullptr};
    TCPConnection* const m_owner;

protected:
    void run() override;

private:
    // The receive thread's wait for its next turn: on the socket, or (while
    // callers read it) only on its wake-up; at most one step.
    void waitForTurn();
    bool callersRead() const;
    // One turn on the socket, with the read side held: receive what has
    // arrived and dispatch every whole frame. True when bytes came.
    bool receiveTurn();
    // Frames a caller read and declined.
    void dispatchHandedOver();
    // A caller's wait for bytes, at most waitMs: it ends within a step of
    // the connection's stop too. True when bytes are there.
    bool waitReadable(std::uint32_t waitMs);
    // Idle count and tick after a turn.
    void stepActivity(bool bytesCame);
    // Read side held by a caller: frames already whole go to onReceivedAside.
    void passWholeFrames();

    SendGate m_sendLock;
    // Set once the connection stopped: a send waiting for room gives up.
    std::atomic<bool> m_sendsEnd{false};

    // The receive side; see the comment at the top.
    std::mutex m_readLock;
    FrameReader m_reader; // under m_readLock
    NetBuffer m_message;  // under m_readLock: the block frames are cut into
    // Callers inside readAside, and callers waiting for their replies to be
    // passed on (by one of them, or by the receive thread).
    std::atomic<int> m_asideReaders{0};
    std::atomic<int> m_asideWaiters{0};
    // Set while the receive thread holds the read side for its turn.
    std::atomic<bool> m_receiveTurn{false};
    // The start of every callback and the cut-off; told when the receive
    // thread is past its last callback and when the last caller leaves a
    // stopped connection.
    mutable std::mutex m_endLock;
    std::condition_variable m_endChanged;
    bool m_cutOff = false;                     // under m_endLock
    bool m_threadPending = false;              // under m_endLock: started, its last callback to come
    std::atomic<std::uint64_t> m_lastAside{0}; // when a caller last looked (ms)
    std::atomic<bool> m_asideBytes{false};     // bytes callers received since the last step
    std::mutex m_handOverLock;
    std::deque<NetBuffer> m_handedOver; // under m_handOverLock
    platform::WakeEvent m_wake;
    std::uint64_t m_lastStep = 0; // receive thread only
    std::function<void()> m_afterStopForTesting;
};

} // namespace Net
} // namespace FF

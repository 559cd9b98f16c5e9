#pragma once

// The receive side of a TCP connection: owns the socket and runs the receive
// loop on its own thread; the connection, client and session objects reach
// the socket only through it.

#include "framework/net/address.h"
#include "framework/net/framereader.h"
#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
#include "framework/net/sendresult.h"
#include "platform/fd/uniquefd.h"
#include "platform/socket/posixsocket.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <mutex>

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

    void markStopped() override;
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
    std::timed_mutex m_sendLock;
    // Set once the connection stopped: a send waiting for room gives up.
    std::atomic<bool> m_sendsEnd{false};
    FrameReader m_reader; // receive thread only
};

} // namespace Net
} // namespace FF

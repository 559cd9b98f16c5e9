// The receive side of a TCP connection: owns the socket and runs the receive
// loop on its own thread; the connection, client and session objects reach
// the socket only through it.
#pragma once

#include "framework/net/address.h"
#include "framework/net/ireceivecontrol.h"
#include "framework/net/netbuffer.h"
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

    __TCPConnection(TCPConnection* owner, platform::SocketHandle socket, const Address& peer);
    // Waits for the thread, closes the socket and prints the disconnect.
    ~__TCPConnection() override;

    // One frame out; one send lock per connection keeps frames whole when
    // callers and the receive thread send at the same time.
    bool send(NetBuffer& buffer);
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
    const platform::SocketHandle m_socket;
    std::atomic<std::uint32_t> m_userValue{0};
    std::atomic<IConnectable*> m_handler{nullptr};
    TCPConnection* const m_owner;

protected:
    void run() override;

private:
    std::mutex m_sendLock;
};

} // namespace Net
} // namespace FF

#pragma once

// One TCP connection with its receive thread, as the handler sees it.

#include "framework/net/iconnection.h"
#include "platform/socket/posixsocket.h"

#include <memory>

namespace FF {
namespace Net {

class __TCPConnection;
class NetBuffer;

class TCPConnection : public IConnection {
public:
    // Takes over the connected socket once constructed (a constructor that
    // throws leaves it with the caller); prints "connection [peer] connect".
    TCPConnection(platform::SocketHandle socket, const Address& peer);
    ~TCPConnection() override;

    void closeNow() override;
    void close() override;
    bool isReliable() override { return true; }
    bool isBroken() override;
    std::uint64_t idleTime() override;
    Address peerAddress() override;

    __TCPConnection* impl() { return m_impl.get(); }

private:
    std::unique_ptr<__TCPConnection> m_impl;
};

} // namespace Net
} // namespace FF

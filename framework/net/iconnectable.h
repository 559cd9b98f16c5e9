#pragma once

// The user of a client: receives messages, ticks and the disconnect, all on
// the connection's own receive thread.

namespace FF {
namespace Net {

class ISession;
class IConnection;

class IConnectable {
public:
    virtual ~IConnectable() = default;
    virtual void onReceived(ISession* session) = 0;
    virtual void onTick(IConnection* connection) = 0;
    virtual void onDisconnected(IConnection* connection) = 0;
};

} // namespace Net
} // namespace FF

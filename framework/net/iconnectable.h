#pragma once

// The user of a client: receives messages, ticks and the disconnect, all on
// the connection's own receive thread; and, when it lets its callers read
// the connection themselves (IClient::readAside), the messages they read.

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
    // A message that a caller's thread read while it waited for a reply of
    // its own, with the connection's read side held. True when it was
    // handled here; false (the default) hands it, read position 0, to the
    // receive thread's onReceived.
    virtual bool onReceivedAside(ISession*) { return false; }
};

} // namespace Net
} // namespace FF

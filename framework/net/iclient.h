#pragma once

// A client connection to one service address.

#include "framework/net/address.h"
#include "framework/net/asideread.h"
#include "framework/net/sendresult.h"

#include <cstdint>
#include <functional>

namespace FF {
namespace Net {

class IConnectable;
class NetBuffer;

class IClient {
public:
    virtual ~IClient() = default;
    // Starts the receive thread; needs a handler.
    virtual void connect() = 0;
    // Closes gracefully and waits, within limits, for the receive thread.
    // Once it has returned, the handler is called no more, from any thread.
    virtual void close() = 0;
    virtual void setHandler(IConnectable* handler) = 0;
    virtual void setTickInterval(std::uint64_t ms) = 0;
    virtual void setUserValue(std::uint32_t value) = 0;
    // Sends one frame; callable from any thread.
    virtual bool send(NetBuffer& buffer) = 0;
    // Sends one frame whose last byte must leave by deadlineMs (monotonic).
    virtual SendResult sendBefore(NetBuffer& buffer, std::uint64_t deadlineMs) = 0;
    virtual bool isReliable() = 0;
    virtual bool isRunning() = 0;
    virtual Address peerAddress() = 0;
    virtual Address localAddress() = 0;
    // True once nothing runs in the client any more: its receive thread has
    // ended (or never started) and no caller reads it aside.
    virtual bool isQuiet() = 0;
    // Stops the connection at once, as a break (IConnection::closeNow);
    // never waits. The receive thread reports the end as for any break.
    virtual void closeNow() = 0;

    // For a caller that waits for a reply of its own: one look at the
    // connection on the caller's thread, with no hand-over through the
    // receive thread. Receives once what has arrived and passes every frame
    // made whole to the handler's onReceivedAside; the receive thread keeps
    // everything else. Waits at most waitMs (0: not at all) for bytes, but
    // only while waiting() holds (asked with the connection's read side
    // held, so that a reply another thread passed on just before is seen).
    // Busy when another thread reads the connection at the moment.
    virtual AsideRead readAside(std::uint32_t /*waitMs*/, const std::function<bool()>& /*waiting*/ = {})
    {
        return AsideRead::Unavailable;
    }
    // A caller whose look found the connection Busy counts on whoever reads
    // it to pass its reply on: another caller, or the receive thread in its
    // turn, which then waits on the socket for as long as any caller waits.
    // True when one is bound to (the caller then waits for its own wake-up
    // and calls endAwait), false when the caller should look again itself
    // (nobody reads any more, or the connection stopped).
    virtual bool awaitReader() { return false; }
    virtual void endAwait() {}
};

} // namespace Net
} // namespace FF

#pragma once

// A client connection to one service address.

#include "framework/net/address.h"
#include "framework/net/sendresult.h"

#include <cstdint>

namespace FF {
namespace Net {

class IConnectable;
class NetBuffer;

class IClient {
public:
    virtual ~IClient() = default;
    // Starts the receive thread; needs a handler.
    virtual void connect() = 0;
    // Closes gracefully and waits for the receive thread.
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
};

} // namespace Net
} // namespace FF

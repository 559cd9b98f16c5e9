#pragma once

// One framed connection as its user sees it in callbacks.

#include "framework/net/address.h"

#include <cstdint>

namespace FF {
namespace Net {

class IConnection {
public:
    virtual ~IConnection() = default;
    // Stops the connection at once (a break).
    virtual void closeNow() = 0;
    // Closes gracefully: sends no more and receives until the peer closes.
    virtual void close() = 0;
    virtual bool isReliable() = 0;
    // True when the connection ended by a break rather than a local close.
    virtual bool isBroken() = 0;
    // About the milliseconds without a received byte.
    virtual std::uint64_t idleTime() = 0;
    virtual Address peerAddress() = 0;
};

} // namespace Net
} // namespace FF
